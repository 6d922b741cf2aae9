#version 400 core
// Outlined glyphs: the glyph in white inside a ring of the text colour about two pixels wide. The
// ring is the largest coverage found on a circle of that radius (in atlas texels) around the pixel.
// Only the glyph's own texels count: its rectangle in the atlas follows from how the texel and the
// quad corner change across the screen, and taps outside it read nothing, so neighbouring glyphs
// in the atlas never show through as stray outline.
in vec2 texel;
in vec4 tint;
in vec2 corner;
out vec4 color;
uniform sampler2DRect glyphs;
vec2 low;
vec2 high;
float coverage(vec2 p) {
  if (any(lessThan(p, low - 0.5)) || any(greaterThan(p, high + 0.5))) return 0.0;
  return texture(glyphs, clamp(p, low, high)).r;
}
void main() {
  vec2 footprint = abs(dFdx(texel)) + abs(dFdy(texel));
  vec2 cornerStep = abs(dFdx(corner)) + abs(dFdy(corner));
  vec2 size = footprint / max(cornerStep, vec2(1e-6));
  low = texel - corner * size;
  high = low + size;
  float radius = 2.0 * max(footprint.x, footprint.y);
  float body = coverage(texel);
  float ring = body;
  for (int i = 0; i < 12; ++i) {
    vec2 d = vec2(cos(6.2831853 * float(i) / 12.0), sin(6.2831853 * float(i) / 12.0));
    ring = max(ring, coverage(texel + radius * d));
    ring = max(ring, coverage(texel + 0.5 * radius * d));
  }
  color = vec4(mix(tint.rgb, vec3(1.0), body), tint.a * ring);
}
