#version 400 core
// Test scene, transparency and unculled passes: positions through projection and transform, the
// vertex colour with its alpha.
layout(location = 0) in vec3 vertexPosition;
layout(location = 1) in vec3 vertexNormal;
layout(location = 2) in vec4 vertexColor;
uniform mat4 projection, transform;
out vec4 tint;
void main() { tint = vertexColor + vec4(vertexNormal * 0.0, 0.0); gl_Position = projection * transform * vec4(vertexPosition, 1.0); }
