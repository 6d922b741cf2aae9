#version 400 core
// Point lights, added onto the scene: each pixel reads the G-buffer at its own place and gets the
// light's diffuse and highlight with a smooth falloff that reaches 0 at the radius.
flat in vec4 lightPlace;
flat in vec4 lightTint;
out vec4 color;
uniform sampler2D position;
uniform sampler2D albedo;
uniform sampler2D normals;
uniform vec3 cameraPosition;

const float HDR_SCALE = 0.5;

void main() {
  ivec2 pix = ivec2(gl_FragCoord.xy);
  vec4 g = texelFetch(position, pix, 0);
  if (g.a < 1.5) discard;
  vec3 toLight = lightPlace.xyz - g.xyz;
  float d = length(toLight);
  if (d >= lightPlace.w) discard;
  toLight /= max(d, 1e-4);
  vec3 n = normalize(texelFetch(normals, pix, 0).rgb * 2.0 - 1.0);
  float materialWord = g.a - 2.0;
  float specular = materialWord - 2.0 * floor(materialWord * 0.5);
  float x = d / lightPlace.w;
  float falloff = (1.0 - x * x) * (1.0 - x * x) / (1.0 + 4.0 * x * x);
  float diffuse = max(dot(n, toLight), 0.0);
  vec3 toEye = normalize(cameraPosition - g.xyz);
  float highlight = specular * pow(max(dot(n, normalize(toLight + toEye)), 0.0), 48.0);
  vec3 light = lightTint.rgb * lightTint.a * falloff;
  vec3 base = texelFetch(albedo, pix, 0).rgb;
  color = vec4((base * diffuse + highlight) * light * HDR_SCALE, 1.0);
}
