// Rasterisation of set-up triangles into one tile of the render target, a
// quad row (two pixel rows) at a time, each row's 2 x 2 quads in chunks of
// one or two: coverage, depth test, texture sampling with each quad's
// derivatives, the texture stages, and the colour and depth writes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "devices/software/sampler.h"
#include "devices/core/stage_program.h"
#include "devices/software/triangle_setup.h"

namespace quillmark::software {

using namespace core;

struct DrawTarget {
    std::uint32_t* color = nullptr;
    std::size_t colorPitch = 0;  // texels between rows
    bool keepAlpha = false;      // A8R8G8B8; X8R8G8B8 gets 0xFF in its unused byte
    std::uint16_t* depth = nullptr;
    std::size_t depthPitch = 0;
    int width = 0, height = 0;  // pixels that lie in the colour buffer (and in the depth buffer when there is one)
};

struct DepthMode {
    bool test = false;
    bool write = false;
    DWORD func = D3DCMP_LESSEQUAL;
};

// The pixels [first, last] of one row of a triangle; first > last when the
// row has none.
struct RowSpan {
    int first, last;
    bool Empty() const { return first > last; }
};

struct DrawContext {
    DrawTarget target;
    DepthMode depth;
    int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;  // the viewport; right and bottom exclusive
    StageProgram program;
    std::array<SamplerSetup, kStageCount> samplers{};
    std::array<int, kStageCount> attributeBase{};  // first of (s, t, q), or -1 when the stage samples nothing
    // The stage of a program that only modulates an in-place texture with
    // white (StageProgram::textureTimesWhite and SamplesInPlace), shaded
    // straight from the texel bytes; -1 otherwise.
    int directStage = -1;
    InPlaceQuadKernel directKernel = nullptr;  // the direct stage's sampler kernel
    InPlaceChunkKernel directChunkKernel = nullptr;  // its kernel of two quads, where it has one
    const std::vector<TriangleSetup>* triangles = nullptr;
    // The row spans of the triangles being drawn: triangle i's row
    // max(minY, clipTop) is spans[firstSpan[i]], the rows below it follow.
    const RowSpan* spans = nullptr;
    const std::uint32_t* firstSpan = nullptr;
};

// The triangle's spans of the rows [top, bottom) within the columns
// [left, right), exactly by the fill rule, into out[0 .. bottom - top).
void TriangleSpans(const TriangleSetup& t, int left, int top, int right, int bottom, RowSpan* out);

// The pixels of one tile and the triangles that may touch it, by index
// into DrawContext::triangles, in drawing order.
struct TileWork {
    int left, top, right, bottom;  // right and bottom exclusive; left and top even
    const std::uint32_t* triangles;
    std::uint32_t triangleCount;
};

// Draws the tile's triangles in order into its pixels (within the viewport).
// A draw's tile function is picked once from its key (draw_key.h), for its
// depth comparison and lane width: a chunk's coverage, attributes and depths
// are worked out 8 lanes (two quads) at a time in 256-bit steps, 4 (one
// quad) in 128-bit steps, one at a time on the scalar path, every width
// giving the same bits.
using TileRasterizer = void (*)(const DrawContext& context, const TileWork& tile);

}  // namespace quillmark::software
