#version 400 core
// Test scene, glyphs: pixel positions through uiTransform, atlas texel coordinates, a colour.
layout(location = 0) in vec3 vertexPosition;
layout(location = 1) in vec2 vertexTexcoord;
layout(location = 2) in vec4 vertexColor;
uniform mat4 uiTransform;
out vec2 texel;
out vec4 tint;
void main() { texel = vertexTexcoord; tint = vertexColor; gl_Position = uiTransform * vec4(vertexPosition, 1.0); }
