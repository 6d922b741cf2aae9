#version 400 core
// Shadow pass: the opaque geometry's depth as the light sees it. lightTransform is the light's
// view and orthographic projection together.
layout(location = 0) in vec3 vertexPosition;
uniform mat4 lightTransform;
uniform mat4 transform;
void main() {
  gl_Position = lightTransform * transform * vec4(vertexPosition, 1.0);
}
