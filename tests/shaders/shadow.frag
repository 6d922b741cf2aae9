#version 400 core
// Test scene, shadow pass: depth only.
void main() {}
