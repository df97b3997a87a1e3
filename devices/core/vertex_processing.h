// Vertex processing of the fixed-function pipeline: fetch D3DFVF_XYZ |
// D3DFVF_TEXn vertices, transform positions by world, view and projection
// (row vectors), transform texture coordinates per stage, and clip
// triangles against the near and far planes and a guard band.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "devices/core/device_state.h"

namespace quillmark::core {

// Three interpolated values (s, t, q) per sampling stage.
inline constexpr std::uint32_t kMaxAttributes = 3 * kStageCount;
// Clip-space x and y stay within this many times w: about eight viewports.
inline constexpr float kGuardBand = 8.0f;

struct ClipVertex {
    float x, y, z, w;
    std::array<float, kMaxAttributes> attributes;
};

// How one sampling stage gets its coordinates.
struct CoordinateSource {
    std::uint32_t offset = 0;           // byte offset of its coordinate set in a vertex
    DWORD transformFlags = D3DTTFF_DISABLE;
    D3DMATRIX matrix{};
};

// The vertex size of an FVF this device draws, or 0 when it cannot (only a
// position, an optional normal and up to eight 2-D coordinate sets).
std::uint32_t VertexSizeOf(DWORD fvf, std::uint32_t* textureSets);

// True when the flags are ones this device implements (DISABLE, COUNT1 to
// COUNT4, each optionally PROJECTED).
bool IsSupportedTransform(DWORD flags);

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b);

// Transforms `count` vertices starting at `data`; `sources[k]` gives
// attributes 3k .. 3k+2.
void TransformVertices(const std::uint8_t* data, std::uint32_t count, std::uint32_t stride,
                       const D3DMATRIX& worldViewProjection, const std::vector<CoordinateSource>& sources,
                       std::vector<ClipVertex>& out);

inline constexpr std::uint32_t kMaxClippedVertices = 12;

// Clips the triangle; returns the vertex count of the convex polygon left
// (0 when nothing is), written to `out`.
std::uint32_t ClipTriangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c,
                           std::uint32_t attributeCount, ClipVertex* out);

}  // namespace quillmark::core
