#version 400 core
// Test scene, second post pass: leaves the scene alone except indicators 0 (the three quality
// levels / 10), 1 (lightTransform's translation) and 2 (viewportSize / 2000), placed as in gbuff.frag.
in vec2 uv;
out vec4 color;
uniform vec2 viewportSize;
uniform mat4 lightTransform;
uniform int ssaoQuality, shadowQuality, antialias;
bool indicator(int k) {
  vec2 p = vec2(gl_FragCoord.x - 20.0 - 50.0 * float(k), viewportSize.y - gl_FragCoord.y - 250.0);
  return all(greaterThanEqual(p, vec2(0.0))) && all(lessThan(p, vec2(30.0)));
}
void main() {
  if (indicator(0)) color = vec4(float(ssaoQuality) / 10.0, float(shadowQuality) / 10.0, float(antialias) / 10.0, 1.0);
  else if (indicator(1)) color = vec4(lightTransform[3].xyz, 1.0);
  else if (indicator(2)) color = vec4(viewportSize / 2000.0, 0.0, 1.0);
  else discard;
}
