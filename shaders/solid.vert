#version 400 core
// Geometry pass: opaque geometry into the G-buffer. Attributes are the solid batch's five: position,
// normal, colour, material (specular strength, shininess / 128, emission) and extra: (s, t, 1) takes
// the albedo's colour from the sprite atlas at texel (s, t), times the vertex colour; (0, 0, 0) and
// anything with a third value below 0.5 leaves the vertex colour alone.
layout(location = 0) in vec3 vertexPosition;
layout(location = 1) in vec3 vertexNormal;
layout(location = 2) in vec3 vertexColor;
layout(location = 3) in vec3 vertexMaterial;
layout(location = 4) in vec3 vertexExtra;
uniform mat4 view;
uniform mat4 projection;
uniform mat4 transform;
out vec3 worldPosition;
out vec3 worldNormal;
out vec3 albedoColor;
out vec3 material;
out vec3 spriteTexel;
void main() {
  vec4 world = transform * vec4(vertexPosition, 1.0);
  worldPosition = world.xyz;
  // The model transform is a rotation, translation and uniform scale: its upper 3x3 carries normals.
  worldNormal = mat3(transform) * vertexNormal;
  albedoColor = vertexColor;
  material = vertexMaterial;
  spriteTexel = vertexExtra;
  gl_Position = projection * view * world;
}
