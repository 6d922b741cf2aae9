#version 400 core
// Test scene, geometry pass: the position attachment carries a marker (green, alpha 2 meaning
// "geometry here"), albedo the vertex colour, normals packed into 0..1.
in vec3 normal, albedoColor;
layout(location = 0) out vec4 outPosition;
layout(location = 1) out vec3 outAlbedo;
layout(location = 2) out vec3 outNormal;
void main() { outPosition = vec4(0.0, 1.0, 0.0, 2.0); outAlbedo = albedoColor; outNormal = normalize(normal) * 0.5 + 0.5; }
