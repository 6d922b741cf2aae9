#version 400 core
// Test scene, shadow pass (the fragment stage writes depth only): the solid geometry seen through lightTransform.
layout(location = 0) in vec3 vertexPosition;
layout(location = 1) in vec3 vertexNormal;
uniform mat4 lightTransform;
void main() { gl_Position = lightTransform * vec4(vertexPosition + vertexNormal * 0.0, 1.0); }
