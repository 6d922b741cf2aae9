#version 400 core
// Geometry pass: world position, albedo and normal per pixel. The position's alpha marks geometry
// (the pass clears it to 1.0) and carries the material: 2 + 2 * round(emission * 100) + specular,
// with specular below 1, which the lighting passes unpack. A textured vertex (extra's third value 1)
// multiplies its colour by the sprite atlas; texels less than half opaque are cut out.
in vec3 worldPosition;
in vec3 worldNormal;
in vec3 albedoColor;
in vec3 material;
in vec3 spriteTexel;
uniform sampler2DRect sprites;
layout(location = 0) out vec4 outPosition;
layout(location = 1) out vec3 outAlbedo;
layout(location = 2) out vec3 outNormal;
void main() {
  float specular = clamp(material.x, 0.0, 0.99);
  float emission = round(clamp(material.z, 0.0, 10.0) * 100.0);
  outPosition = vec4(worldPosition, 2.0 + 2.0 * emission + specular);
  vec3 base = albedoColor;
  if (spriteTexel.z > 0.5) {
    vec4 texel = texture(sprites, spriteTexel.xy);
    if (texel.a < 0.5) discard;
    base *= texel.rgb;
  }
  outAlbedo = clamp(base, 0.0, 1.0);
  vec3 n = normalize(gl_FrontFacing ? worldNormal : -worldNormal);
  outNormal = n * 0.5 + 0.5;
}
