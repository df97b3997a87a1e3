// Every choice a draw fixes for the software renderer's kernels, made once
// per draw into a DrawKey, and the kernels the key stands for. The key is
// read from the draw's context (its samplers, depth state and direct stage)
// and from processor::Allows (the lane width and the texel fetch);
// draw_kernels.cpp, the one place kernels are chosen, turns it into kernel
// pointers. A new kernel dimension is a member here and a resolution there.
#pragma once

#include <array>
#include <cstdint>

#include "devices/software/kernel_arch.h"
#include "devices/software/rasterizer.h"
#include "devices/software/sampler.h"

namespace quillmark::software {

// How many pixels a kernel's arithmetic handles in one step: one (scalar),
// four in 128-bit steps (SSE2), eight in 256-bit steps (AVX2). The sampler
// takes the width for its quad kernels, the rasteriser for its chunks of
// one quad (scalar, 128-bit) or two (256-bit). Every width gives the same bits.
enum class LaneWidth { Scalar, Lanes128, Lanes256 };

// How the 256-bit kernels fetch a level's texels: with AVX2 gathers, or,
// where gathers are slow (processor::kGather not allowed), with ordinary
// loads, one 64-bit load per pixel and row for a bilinear filter's two
// neighbouring texels. Both read the same texels.
enum class TexelFetch { Gather, Load };

// Where a general kernel reads texels: the texture's own bytes (X8R8G8B8,
// A8R8G8B8) or its decoded floats.
enum class TexelSource { Native, Decoded };

// What a stage's sampler fixes for its kernels.
struct SamplerKey {
    TexelFilter magnify = TexelFilter::Point;
    TexelFilter minify = TexelFilter::Point;
    MipMode mip = MipMode::None;
    // Minification may take more than one probe: anisotropic filtering with
    // MAXANISOTROPY above 1 (at 1 the anisotropic filter is the linear one).
    bool probes = false;
    // The texture is read in place (SamplesInPlace): the in-place kernels,
    // which know whether its alpha reads as opaque (X8R8G8B8).
    bool inPlace = false;
    bool opaque = false;
    // The general kernels' texel source and addressing (not in place).
    TexelSource source = TexelSource::Decoded;
    AddressMode addressU = AddressMode::Wrap;
    AddressMode addressV = AddressMode::Wrap;
    // The model device's kernel draws (SamplerSetup::model set): the knobs
    // the sampler states cannot express. It reads any texture through the
    // general kernels' texel source and addressing.
    bool model = false;
};

SamplerKey SamplerKeyOf(const SamplerSetup& setup);

struct DrawKey {
    LaneWidth lanes = LaneWidth::Scalar;
    TexelFetch fetch = TexelFetch::Load;  // of the 256-bit kernels
    DWORD depthFunc = D3DCMP_ALWAYS;      // ALWAYS too when the draw has no depth test
    int directStage = -1;                 // DrawContext::directStage
    std::uint32_t sampledStages = 0;      // bit s: stage s samples its texture
    std::array<SamplerKey, kStageCount> samplers{};
};

// The widest lanes and the fetch that this build and processor::Allows give now.
LaneWidth AllowedLaneWidth();
TexelFetch AllowedTexelFetch();

// The key of a draw whose context has its samplers, depth state and direct
// stage set, with the lanes and fetch allowed now.
DrawKey MakeDrawKey(const DrawContext& context);

// The kernels of one sampler: its quad kernel and, read in place, the
// in-place quad kernel and the chunk kernel (null where there is none).
struct SamplerKernels {
    QuadKernel quad = nullptr;
    InPlaceQuadKernel inPlace = nullptr;
    InPlaceChunkKernel chunk = nullptr;
};

struct DrawKernels {
    std::array<SamplerKernels, kStageCount> samplers{};  // of the sampled stages
    TileRasterizer tile = nullptr;
};

// draw_kernels.cpp: the kernels of a key; the kernels branch on none of
// its choices.
SamplerKernels PickSamplerKernels(const SamplerKey& key, LaneWidth lanes, TexelFetch fetch);
DrawKernels PickDrawKernels(const DrawKey& key);

// Hands the kernels to the context: each sampled stage's quad kernel, the
// direct stage's in-place and chunk kernels.
void UseKernels(const DrawKey& key, const DrawKernels& kernels, DrawContext& context);

// A sampler used outside a draw (tests) with the kernels of its key at the
// lanes and fetch allowed now.
SamplerKernels AllowedSamplerKernels(const SamplerSetup& setup);

}  // namespace quillmark::software
