#version 400 core
// Interface triangles: pixel positions (origin top left, y down) through uiTransform, a colour each.
layout(location = 0) in vec3 vertexPosition;
layout(location = 1) in vec4 vertexColor;
uniform mat4 uiTransform;
out vec4 tint;
void main() {
  tint = vertexColor;
  gl_Position = uiTransform * vec4(vertexPosition, 1.0);
}
