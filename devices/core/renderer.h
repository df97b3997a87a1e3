// Where a device draws. The software renderer (software_renderer.h) draws
// into the memory of the device's back buffer and depth buffer. Another
// renderer (the OpenGL one in platform/gl) draws somewhere else, over the
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

namespace quillmark::core {

class Surface;
class VertexBuffer;

// One DrawPrimitive whose state the device has checked.
struct DrawCall {
    const DeviceState& state;
    const std::array<IDirect3DBaseTexture9*, kStageCount>& textures;
    const VertexBuffer& stream;
    D3DPRIMITIVETYPE type;
    UINT startVertex;
    UINT primitiveCount;
};

struct ClipVertex;
struct CoordinateSource;

// Fetches the call's vertices from its stream and transforms them by world,
// view and projection into `out`, one per vertex the primitives read.
// D3DERR_INVALIDCALL, `out` untouched, for a primitive type no renderer
// draws (points, lines), a vertex format without a size, a stride shorter
// than a vertex or vertices past the stream's end.
HRESULT TransformDrawVertices(const DrawCall& call, const std::vector<CoordinateSource>& sources,
                              std::vector<ClipVertex>& out);

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
