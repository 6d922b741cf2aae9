#version 400 core
// Test scene, point lights: the mesh (in -1..1) scaled by instance attribute 2's z and moved to its
// x, y; instance attribute 3 is the light's colour, 4 is unused.
layout(location = 0) in vec3 meshPosition;
layout(location = 2) in vec4 lightPlace;
layout(location = 3) in vec4 lightColor;
layout(location = 4) in vec4 lightExtra;
out vec4 tint;
void main() { tint = lightColor + lightExtra * 0.0; gl_Position = vec4(lightPlace.xy + meshPosition.xy * lightPlace.z, 0.0, 1.0); }
