#version 400 core
// Test scene, glyphs: the atlas coverage as the colour's alpha.
in vec2 texel;
in vec4 tint;
out vec4 color;
uniform sampler2DRect glyphs;
void main() { color = vec4(tint.rgb, tint.a * texture(glyphs, texel).r); }
