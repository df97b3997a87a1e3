#version 450
// Positions arrive in clip space, transformed by the device; each texture
// coordinate set (s, t, q) goes to the stages as it is.
layout(location = 0) in vec4 position;
layout(location = 1) in vec3 vertexCoordinates[8];
layout(location = 0) out vec3 coordinates[8];

void main() {
    gl_Position = position;
    coordinates = vertexCoordinates;
}
