#version 400 core
// Test scene, glyph outlines: the largest coverage around the texel, in the vertex colour.
in vec2 texel;
in vec4 tint;
out vec4 color;
uniform sampler2DRect glyphs;
void main() {
  float c = 0.0;
  for (int d = 0; d < 9; ++d) c = max(c, texture(glyphs, texel + vec2(d % 3 - 1, d / 3 - 1)).r);
  color = vec4(tint.rgb, tint.a * c);
}
