#version 400 core
// Transparent and unculled geometry: the directional light with one shadow-map tap, ambient and a
// highlight, at the lighting pass's half scale; faces seen from behind are lit from their back.
// Glancing angles are more opaque, as glass is. A colour whose red is -1 or less is textured: it
// reads (-1 - s, t, brightness, alpha) and takes its colour and opacity from the sprite atlas at
// texel (s, t), times the brightness and the alpha.
in vec3 worldPosition;
in vec3 worldNormal;
in vec4 tint;
out vec4 color;
uniform sampler2D shadowMap;
uniform mat4 lightTransform;
uniform vec3 cameraPosition;
uniform sampler2DRect sprites;

const float HDR_SCALE = 0.5;
const vec3 SUN = vec3(1.0, 0.93, 0.82) * 1.1;
const vec3 AMBIENT = vec3(0.2, 0.23, 0.3);

void main() {
  vec4 surface = tint;
  if (tint.r <= -1.0) {
    vec4 texel = texture(sprites, vec2(-1.0 - tint.r, tint.g));
    surface = vec4(texel.rgb * tint.b, texel.a * tint.a);
  }
  vec3 n = normalize(gl_FrontFacing ? worldNormal : -worldNormal);
  vec3 toLight = -normalize(vec3(lightTransform[0][2], lightTransform[1][2], lightTransform[2][2]));
  vec3 toEye = normalize(cameraPosition - worldPosition);
  vec4 lp = lightTransform * vec4(worldPosition, 1.0);
  vec3 c = lp.xyz / lp.w * 0.5 + 0.5;
  float shadow = 1.0;
  if (all(greaterThan(c, vec3(0.0))) && all(lessThan(c, vec3(1.0)))) shadow = c.z - 0.002 <= texture(shadowMap, c.xy).r ? 1.0 : 0.0;
  float diffuse = max(dot(n, toLight), 0.0) * shadow;
  float highlight = pow(max(dot(n, normalize(toLight + toEye)), 0.0), 64.0) * shadow;
  float fresnel = pow(1.0 - max(dot(n, toEye), 0.0), 3.0);
  vec3 lit = surface.rgb * (AMBIENT + SUN * diffuse) + SUN * highlight;
  color = vec4(lit * HDR_SCALE, clamp(surface.a + fresnel * (1.0 - surface.a) * 0.6, 0.0, 1.0));
}
