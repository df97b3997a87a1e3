// Rasterisation of set-up triangles into one tile of the render target, in
// 2 x 2 pixel quads: coverage, depth test, texture sampling with the quad's
// derivatives, the texture stages, and the colour and depth writes.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sampler.h"
#include "stage_program.h"
#include "triangle_setup.h"

namespace quillmark::reference {

struct DrawTarget {
    std::uint32_t* color = nullptr;
    std::size_t colorPitch = 0;  // texels between rows
    bool keepAlpha = false;      // A8R8G8B8; X8R8G8B8 gets 0xFF in its unused byte
    std::uint16_t* depth = nullptr;
    std::size_t depthPitch = 0;
};

struct DepthMode {
    bool test = false;
    bool write = false;
    DWORD func = D3DCMP_LESSEQUAL;
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
    const std::vector<TriangleSetup>* triangles = nullptr;
};

// Draws every triangle, in order, into the pixels of [left, right) x [top, bottom).
void RasterizeTile(const DrawContext& context, int left, int top, int right, int bottom);

}  // namespace quillmark::reference
