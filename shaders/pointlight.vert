#version 400 core
// Point lights, one instance each: place = (x, y, z, radius) in world space, lightColor = (r, g, b,
// intensity). The mesh is a square over -1..1; each corner is moved to the matching corner of the
// screen rectangle that holds the light's sphere (for a symmetric perspective projection), at the
// near depth, so that every pixel the light can reach is drawn once whatever the scene depth. A
// sphere that reaches the camera covers the whole screen; one wholly behind it draws nothing.
layout(location = 0) in vec3 meshPosition;
layout(location = 2) in vec4 place;
layout(location = 3) in vec4 lightColor;
uniform mat4 view;
uniform mat4 projection;
flat out vec4 lightPlace;
flat out vec4 lightTint;
void main() {
  lightPlace = place;
  lightTint = lightColor;
  vec3 c = (view * vec4(place.xyz, 1.0)).xyz;
  float r = place.w;
  float nearDepth = -c.z - r;
  float farDepth = -c.z + r;
  vec2 corner = meshPosition.xy;
  if (farDepth <= 0.0) {
    // Wholly behind the camera: a degenerate square outside the clip volume draws nothing.
    gl_Position = vec4(2.0, 2.0, 2.0, 1.0);
    return;
  }
  if (nearDepth < 0.05) {
    gl_Position = vec4(corner, -1.0, 1.0);
    return;
  }
  // Edge of the sphere's bounding box on this side, projected at both of its depths: the wider wins.
  vec2 edge = c.xy + sign(corner) * r;
  vec2 a = edge / nearDepth;
  vec2 b = edge / farDepth;
  vec2 screen = mix(min(a, b), max(a, b), step(0.0, corner));
  gl_Position = vec4(screen * vec2(projection[0][0], projection[1][1]), -1.0, 1.0);
}
