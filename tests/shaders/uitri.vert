#version 400 core
// Test scene, interface triangles: pixel positions through uiTransform, a colour per vertex.
layout(location = 0) in vec3 vertexPosition;
layout(location = 1) in vec4 vertexColor;
uniform mat4 uiTransform;
out vec4 tint;
void main() { tint = vertexColor; gl_Position = uiTransform * vec4(vertexPosition, 1.0); }
