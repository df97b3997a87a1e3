#version 450
// The Vulkan baseline's tunnel: positions through one matrix, y turned over
// (Vulkan's y points down the screen), the texture coordinates as they are.
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 coordinates;
layout(push_constant) uniform Transform { mat4 worldViewProjection; } transform;
layout(location = 0) out vec2 uv;

void main() {
    const vec4 clip = transform.worldViewProjection * vec4(position, 1.0);
    gl_Position = vec4(clip.x, -clip.y, clip.z, clip.w);
    uv = coordinates;
}
