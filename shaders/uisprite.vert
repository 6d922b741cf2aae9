#version 400 core
// Glyph quads: pixel positions through uiTransform, texel coordinates in the glyph atlas, the text
// colour, and where the vertex sits on its quad (0 or 1 each way). Text writes six vertices per
// quad in a fixed corner order from the batch's start, so the corner follows from the vertex index.
layout(location = 0) in vec3 vertexPosition;
layout(location = 1) in vec2 vertexTexcoord;
layout(location = 2) in vec4 vertexColor;
uniform mat4 uiTransform;
out vec2 texel;
out vec4 tint;
out vec2 corner;
const vec2 CORNERS[6] = vec2[6](vec2(0, 0), vec2(0, 1), vec2(1, 0), vec2(0, 1), vec2(1, 0), vec2(1, 1));
void main() {
  texel = vertexTexcoord;
  tint = vertexColor;
  corner = CORNERS[gl_VertexID % 6];
  gl_Position = uiTransform * vec4(vertexPosition, 1.0);
}
