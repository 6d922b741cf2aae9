#version 400 core
// Outlined glyphs: the glyph in white inside a ring of the text colour about two pixels wide. The
// ring is the largest coverage found on a circle of that radius (in atlas texels) around the pixel.
in vec2 texel;
in vec4 tint;
out vec4 color;
uniform sampler2DRect glyphs;
void main() {
  vec2 footprint = abs(dFdx(texel)) + abs(dFdy(texel));
  float radius = 2.0 * max(footprint.x, footprint.y);
  float body = texture(glyphs, texel).r;
  float ring = body;
  for (int i = 0; i < 12; ++i) {
    float a = 6.2831853 * float(i) / 12.0;
    ring = max(ring, texture(glyphs, texel + radius * vec2(cos(a), sin(a))).r);
    ring = max(ring, texture(glyphs, texel + 0.5 * radius * vec2(cos(a), sin(a))).r);
  }
  color = vec4(mix(tint.rgb, vec3(1.0), body), tint.a * ring);
}
