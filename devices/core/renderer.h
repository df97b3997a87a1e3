// Where a device draws. The software renderer (devices/software) draws
// into the memory of the device's back buffer and depth buffer. Another
// renderer (devices/gl, devices/vulkan) draws somewhere else, over the
// same resources: it reads textures and vertices from their memory when they
// changed, holds the render targets' pixels on its side, and brings them
// into memory whenever something is about to read or write that memory.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "devices/core/device_state.h"
#include "devices/core/draw_plan.h"

namespace quillmark::core {

class Surface;

// One DrawPrimitive: the state the device draws with and the plan it made of it.
struct DrawCall {
    const DeviceState& state;
    const DrawPlan& plan;
};

struct ClipVertex;

// The plan's vertices transformed by world, view and projection into
// `out`, one per vertex the primitives read, with the coordinates of the
// plan's sources.
void TransformDrawVertices(const DrawCall& call, std::vector<ClipVertex>& out);

class Renderer {
public:
    virtual ~Renderer() = default;
    // Clears one rectangle, already limited to the viewport.
    virtual void Clear(const D3DRECT& rect, DWORD flags, D3DCOLOR color, float z) = 0;
    virtual HRESULT Draw(const DrawCall& call) = 0;
    // Makes the memory of the back buffer or depth buffer current; any other
    // surface is left alone. Whatever is written into that memory afterwards
    // (and marked as changed) is taken up again before the next drawing.
    virtual void BringToMemory(Surface& surface) = 0;
};

// What a Direct3D object needs to give its devices a renderer.
class RendererSource {
public:
    virtual ~RendererSource() = default;
    virtual D3DCAPS9 Caps() const = 0;
    // A renderer for a device with these targets; null (and the reason in
    // *error) when none can be made.
    virtual std::unique_ptr<Renderer> CreateRenderer(Surface& backBuffer, Surface* depthBuffer,
                                                     std::string* error) = 0;
};

}  // namespace quillmark::core
