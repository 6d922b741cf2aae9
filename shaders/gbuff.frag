#version 400 core
// Lighting pass: resolves the G-buffer into the scene. A directional light from lightTransform
// (the light travels along its view's -z), its shadow map filtered over poissonDisk, screen-space
// ambient occlusion from ssaoKernel rotated per pixel by noiseTile, a sky-and-ground ambient, a
// Blinn-Phong highlight and emission. Pixels without geometry get the sky.
//
// The scene texture holds 10 bits per channel, so light is stored at half its value (up to 2.0)
// and the ghdr pass scales it back before tone mapping; the forward passes do the same.
//
// Quality levels: shadowQuality 0 one tap, 1 four, 2 eight, 3 and up sixteen taps rotated per
// pixel; ssaoQuality 0 off, 1 8 samples, 2 16, 3 32, 4 and up 64; antialias 0 off, 1 and up
// smooths silhouettes and albedo edges from the G-buffer's neighbouring texels (this pass reads the
// G-buffer, never the texture it draws into).
in vec2 uv;
out vec4 color;
uniform sampler2D position;
uniform sampler2D albedo;
uniform sampler2D normals;
uniform sampler2D shadowMap;
uniform mat4 view;
uniform mat4 projection;
uniform mat4 lightTransform;
uniform vec3 cameraPosition;
uniform vec3 cameraVector;
uniform vec2 poissonDisk[16];
uniform vec3 ssaoKernel[64];
uniform float noiseTile[16];
uniform int shadowQuality;
uniform int ssaoQuality;
uniform int antialias;

const float HDR_SCALE = 0.5;
const vec3 SUN = vec3(1.0, 0.93, 0.82) * 1.1;
const vec3 SKY_AMBIENT = vec3(0.16, 0.19, 0.26);
const vec3 GROUND_AMBIENT = vec3(0.08, 0.07, 0.06);
const float SSAO_RADIUS = 0.6;
const float SHADOW_MAP_SIZE = 4096.0;

vec3 sky(vec2 at) {
  float up = clamp(at.y * 1.1 + cameraVector.y * 0.8 - 0.2, 0.0, 1.0);
  return mix(vec3(0.62, 0.66, 0.72), vec3(0.20, 0.36, 0.66), up);
}

float rotationAngle(ivec2 pix) { return noiseTile[(pix.x & 3) + 4 * (pix.y & 3)] * 6.2831853; }

float shadowFactor(vec3 worldPos, vec3 n, vec3 toLight, ivec2 pix) {
  vec4 lp = lightTransform * vec4(worldPos, 1.0);
  vec3 c = lp.xyz / lp.w * 0.5 + 0.5;
  if (c.x <= 0.0 || c.x >= 1.0 || c.y <= 0.0 || c.y >= 1.0 || c.z >= 1.0) return 1.0;
  float slope = 1.0 - clamp(dot(n, toLight), 0.0, 1.0);
  float bias = 0.0008 + 0.0025 * slope;
  int taps = shadowQuality <= 0 ? 1 : shadowQuality == 1 ? 4 : shadowQuality == 2 ? 8 : 16;
  if (taps == 1) return c.z - bias <= texture(shadowMap, c.xy).r ? 1.0 : 0.0;
  float spread = (shadowQuality >= 3 ? 2.5 : 1.8) / SHADOW_MAP_SIZE;
  float a = shadowQuality >= 3 ? rotationAngle(pix) : 0.0;
  mat2 rot = mat2(cos(a), sin(a), -sin(a), cos(a));
  int stride = 16 / taps;
  float lit = 0.0;
  for (int i = 0; i < 16; i += stride) {
    lit += c.z - bias <= texture(shadowMap, c.xy + rot * poissonDisk[i] * spread).r ? 1.0 : 0.0;
  }
  return lit / float(taps);
}

float ambientOcclusion(vec3 worldPos, vec3 worldNormal, ivec2 pix) {
  int samples = ssaoQuality <= 0 ? 0 : ssaoQuality == 1 ? 8 : ssaoQuality == 2 ? 16 : ssaoQuality == 3 ? 32 : 64;
  if (samples == 0) return 1.0;
  vec3 p = (view * vec4(worldPos, 1.0)).xyz;
  vec3 n = normalize(mat3(view) * worldNormal);
  float a = rotationAngle(pix);
  vec3 r = vec3(cos(a), sin(a), 0.0);
  vec3 t = r - n * dot(r, n);
  t = dot(t, t) < 1e-4 ? normalize(cross(n, vec3(0.0, 0.0, 1.0)) + vec3(1e-3, 0.0, 0.0)) : normalize(t);
  mat3 tbn = mat3(t, cross(n, t), n);
  int stride = 64 / samples;
  float occlusion = 0.0;
  for (int i = 0; i < 64; i += stride) {
    vec3 s = p + tbn * ssaoKernel[i] * SSAO_RADIUS;
    vec4 clip = projection * vec4(s, 1.0);
    vec2 at = clip.xy / clip.w * 0.5 + 0.5;
    if (clip.w <= 0.0 || any(lessThan(at, vec2(0.0))) || any(greaterThan(at, vec2(1.0)))) continue;
    vec4 g = texture(position, at);
    if (g.a < 1.5) continue;
    float sceneZ = (view * vec4(g.xyz, 1.0)).z;
    float range = smoothstep(0.0, 1.0, SSAO_RADIUS / max(abs(p.z - sceneZ), 1e-4));
    occlusion += (sceneZ >= s.z + 0.02 + 0.004 * -p.z ? 1.0 : 0.0) * range;
  }
  return 1.0 - occlusion / float(samples);
}

float luma(vec3 c) { return dot(c, vec3(0.299, 0.587, 0.114)); }

void main() {
  ivec2 pix = ivec2(gl_FragCoord.xy);
  vec4 g = texelFetch(position, pix, 0);
  vec3 background = sky(uv);
  if (g.a < 1.5) {
    color = vec4(background * HDR_SCALE, 1.0);
    return;
  }
  float materialWord = g.a - 2.0;
  float emissionStep = floor(materialWord * 0.5);
  float specular = materialWord - 2.0 * emissionStep;
  float emission = emissionStep / 100.0;

  vec3 base = texelFetch(albedo, pix, 0).rgb;
  float skyNeighbours = 0.0;
  if (antialias >= 1) {
    // The G-buffer's own size: below a render scale of 1 it is smaller than the window.
    ivec2 size = textureSize(position, 0) - 1;
    ivec2 o[4] = ivec2[4](ivec2(1, 0), ivec2(-1, 0), ivec2(0, 1), ivec2(0, -1));
    vec3 sum = vec3(0.0);
    float lo = luma(base), hi = lo;
    float geometry = 0.0;
    for (int i = 0; i < 4; ++i) {
      ivec2 q = clamp(pix + o[i], ivec2(0), size);
      bool here = texelFetch(position, q, 0).a >= 1.5;
      skyNeighbours += here ? 0.0 : 1.0;
      if (!here) continue;
      vec3 c = texelFetch(albedo, q, 0).rgb;
      sum += c;
      geometry += 1.0;
      lo = min(lo, luma(c));
      hi = max(hi, luma(c));
    }
    if (geometry > 0.0) base = mix(base, sum / geometry, 0.5 * smoothstep(0.08, 0.3, hi - lo));
  }

  vec3 n = normalize(texelFetch(normals, pix, 0).rgb * 2.0 - 1.0);
  vec3 toLight = -normalize(vec3(lightTransform[0][2], lightTransform[1][2], lightTransform[2][2]));
  vec3 toEye = normalize(cameraPosition - g.xyz);
  float diffuse = max(dot(n, toLight), 0.0);
  float shadow = diffuse > 0.0 ? shadowFactor(g.xyz, n, toLight, pix) : 0.0;
  float ao = ambientOcclusion(g.xyz, n, pix);
  vec3 h = normalize(toLight + toEye);
  float highlight = specular * pow(max(dot(n, h), 0.0), 48.0) * shadow;
  vec3 ambient = mix(GROUND_AMBIENT, SKY_AMBIENT, n.y * 0.5 + 0.5) * ao;
  vec3 lit = base * (ambient + SUN * diffuse * shadow) + SUN * highlight + base * emission;
  if (skyNeighbours > 0.0) lit = mix(lit, background, skyNeighbours / 8.0);
  color = vec4(lit * HDR_SCALE, 1.0);
}
