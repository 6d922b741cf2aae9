#version 400 core
// Test scene, first post pass: leaves the scene alone except indicators 3 (cameraPosition) and 4
// (cameraVector).
in vec2 uv;
out vec4 color;
uniform vec2 viewportSize;
uniform vec3 cameraPosition;
uniform vec3 cameraVector;
bool indicator(int k) {
  float top = viewportSize.y - gl_FragCoord.y;
  float x = gl_FragCoord.x - 20.0 - 50.0 * float(k);
  return top >= 250.0 && top < 280.0 && x >= 0.0 && x < 30.0;
}
void main() {
  if (indicator(3)) color = vec4(cameraPosition, 1.0);
  else if (indicator(4)) color = vec4(cameraVector, 1.0);
  else discard;
}
