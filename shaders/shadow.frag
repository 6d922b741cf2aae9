#version 400 core
// Shadow pass: depth only.
void main() {}
