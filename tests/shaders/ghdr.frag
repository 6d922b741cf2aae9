#version 400 core
// Test scene, first post pass: leaves the scene alone except indicators 3 (cameraPosition) and 4
// (cameraVector), placed as in gbuff.frag.
in vec2 uv;
out vec4 color;
uniform vec2 viewportSize;
uniform vec3 cameraPosition, cameraVector;
bool indicator(int k) {
  vec2 p = vec2(gl_FragCoord.x - 20.0 - 50.0 * float(k), viewportSize.y - gl_FragCoord.y - 250.0);
  return all(greaterThanEqual(p, vec2(0.0))) && all(lessThan(p, vec2(30.0)));
}
void main() {
  if (indicator(3)) color = vec4(cameraPosition, 1.0);
  else if (indicator(4)) color = vec4(cameraVector, 1.0);
  else discard;
}
