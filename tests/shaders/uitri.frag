#version 400 core
in vec4 tint;
out vec4 color;
void main() { color = tint; }
