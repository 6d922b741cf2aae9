#version 400 core
// Test scene, geometry pass: positions through projection, view and transform; normal and albedo
// passed on for the G-buffer.
layout(location = 0) in vec3 vertexPosition;
layout(location = 1) in vec3 vertexNormal;
layout(location = 2) in vec3 vertexColor;
uniform mat4 view, projection, transform;
out vec3 normal, albedoColor;
void main() {
  normal = vertexNormal;
  albedoColor = vertexColor;
  gl_Position = projection * view * transform * vec4(vertexPosition, 1.0);
}
