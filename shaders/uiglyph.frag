#version 400 core
// Glyphs: the atlas coverage as the text colour's alpha. Glyphs are rasterised large and drawn
// smaller, so the coverage is averaged over the pixel's footprint in the atlas (four taps on a
// rotated grid) instead of read at one texel, which would drop thin strokes.
in vec2 texel;
in vec4 tint;
out vec4 color;
uniform sampler2DRect glyphs;
void main() {
  vec2 dx = dFdx(texel);
  vec2 dy = dFdy(texel);
  float c = texture(glyphs, texel + 0.375 * dx + 0.125 * dy).r
          + texture(glyphs, texel - 0.375 * dx - 0.125 * dy).r
          + texture(glyphs, texel + 0.125 * dx - 0.375 * dy).r
          + texture(glyphs, texel - 0.125 * dx + 0.375 * dy).r;
  color = vec4(tint.rgb, tint.a * clamp(c * 0.25, 0.0, 1.0));
}
