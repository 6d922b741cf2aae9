#version 400 core
// Glyph quads: pixel positions through uiTransform, texel coordinates in the glyph atlas, the text
// colour.
layout(location = 0) in vec3 vertexPosition;
layout(location = 1) in vec2 vertexTexcoord;
layout(location = 2) in vec4 vertexColor;
uniform mat4 uiTransform;
out vec2 texel;
out vec4 tint;
void main() {
  texel = vertexTexcoord;
  tint = vertexColor;
  gl_Position = uiTransform * vec4(vertexPosition, 1.0);
}
