#version 400 core
// Second post pass: the final grade. It draws into the texture it reads, so each pixel reads only
// its own texel: a little contrast and saturation, a soft vignette, and a dither from noiseTile
// against banding in the 10-bit target. Anti-aliasing needs neighbours, so it is done in the
// lighting pass, which reads the G-buffer instead.
in vec2 uv;
out vec4 color;
uniform sampler2D screen;
uniform float noiseTile[16];

void main() {
  ivec2 pix = ivec2(gl_FragCoord.xy);
  vec3 c = texelFetch(screen, pix, 0).rgb;
  float grey = dot(c, vec3(0.299, 0.587, 0.114));
  c = mix(vec3(grey), c, 1.08);
  c = (c - 0.5) * 1.05 + 0.5;
  vec2 d = uv - 0.5;
  c *= 1.0 - 0.35 * dot(d, d);
  c += (noiseTile[(pix.x & 3) + 4 * (pix.y & 3)] - 0.5) / 512.0;
  color = vec4(clamp(c, 0.0, 1.0), 1.0);
}
