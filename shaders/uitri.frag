#version 400 core
// Interface triangles: the vertex colour, blended over the frame by its alpha.
in vec4 tint;
out vec4 color;
void main() { color = tint; }
