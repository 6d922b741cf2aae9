#version 400 core
// Full-screen quad: positions in clip space, texture coordinates 0..1.
layout(location = 0) in vec2 quadPosition;
layout(location = 1) in vec2 quadTexcoord;
out vec2 uv;
void main() { uv = quadTexcoord; gl_Position = vec4(quadPosition, 0.0, 1.0); }
