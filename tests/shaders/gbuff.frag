#version 400 core
// Test scene, lighting pass: background blue where the G-buffer holds no geometry, else albedo lit
// by the packed normal against a light along +z. Indicator 5 shows two shadow-map samples.
in vec2 uv;
out vec4 color;
uniform sampler2D position, albedo, normals, shadowMap;
uniform vec2 viewportSize;
// Indicator k: a 30 x 30 square in the row 250..280 pixels below the top edge, at x = 20 + 50k.
bool indicator(int k) {
  vec2 p = vec2(gl_FragCoord.x - 20.0 - 50.0 * float(k), viewportSize.y - gl_FragCoord.y - 250.0);
  return all(greaterThanEqual(p, vec2(0.0))) && all(lessThan(p, vec2(30.0)));
}
void main() {
  vec3 n = normalize(texture(normals, uv).rgb * 2.0 - 1.0);
  if (indicator(5)) color = vec4(texture(shadowMap, vec2(0.75, 0.25)).r, texture(shadowMap, vec2(0.25, 0.75)).r, 0.0, 1.0);
  else if (texture(position, uv).a < 1.5) color = vec4(0.0, 0.0, 0.4, 1.0);
  else color = vec4(texture(albedo, uv).rgb * max(dot(n, vec3(0.0, 0.0, 1.0)), 0.0), 1.0);
}
