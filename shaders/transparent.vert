#version 400 core
// Transparent and unculled geometry, lit forward: position, normal, colour with alpha.
layout(location = 0) in vec3 vertexPosition;
layout(location = 1) in vec3 vertexNormal;
layout(location = 2) in vec4 vertexColor;
uniform mat4 view;
uniform mat4 projection;
uniform mat4 transform;
out vec3 worldPosition;
out vec3 worldNormal;
out vec4 tint;
void main() {
  vec4 world = transform * vec4(vertexPosition, 1.0);
  worldPosition = world.xyz;
  worldNormal = mat3(transform) * vertexNormal;
  tint = vertexColor;
  gl_Position = projection * view * world;
}
