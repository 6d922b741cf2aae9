#version 400 core
// Interface triangles: the vertex colour, blended over the frame by its alpha. A colour whose red is
// -1 or less is a sprite: it reads (-1 - s, t, brightness, alpha) and draws the sprite atlas's texel
// (s, t), times the brightness and the alpha.
in vec4 tint;
out vec4 color;
uniform sampler2DRect sprites;
void main() {
  if (tint.r <= -1.0) {
    vec4 texel = texture(sprites, vec2(-1.0 - tint.r, tint.g));
    color = vec4(texel.rgb * tint.b, texel.a * tint.a);
  } else {
    color = tint;
  }
}
