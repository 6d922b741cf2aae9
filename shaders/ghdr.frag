#version 400 core
// First post pass: exposure and tone mapping. It draws into the texture it reads, so each pixel
// reads only its own texel. Light comes in at half scale (see the lighting pass); it leaves tone
// mapped (a filmic curve) and gamma encoded, ready for grading.
out vec4 color;
uniform sampler2D screen;

const float HDR_SCALE = 0.5;
const float EXPOSURE = 0.9;

vec3 filmic(vec3 x) {
  return clamp((x * (2.51 * x + 0.03)) / (x * (2.43 * x + 0.59) + 0.14), 0.0, 1.0);
}

void main() {
  vec3 hdr = texelFetch(screen, ivec2(gl_FragCoord.xy), 0).rgb / HDR_SCALE * EXPOSURE;
  color = vec4(pow(filmic(hdr), vec3(1.0 / 2.2)), 1.0);
}
