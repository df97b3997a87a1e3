// The texture sampler: level of detail from the pixel quad's derivatives,
// point / linear / anisotropic filtering within and between mip levels, and
// wrap, mirror and clamp addressing. docs/reference-device.md states every
// rule; the functions here are those rules.
#pragma once

#include <array>
#include <cstdint>

#include "platform/d3d9/d3d9types.h"
#include "devices/core/color.h"
#include "devices/core/draw_plan.h"
#include "devices/core/sampled_texture.h"

namespace quillmark::software {

using namespace core;

enum class TexelFilter { Point, Linear };
enum class MipMode { None, Point, Linear };
enum class AddressMode { Wrap, Mirror, Clamp };

struct SamplerSetup;
struct ModelKnobs;

// Samples the pixels of a quad selected by `mask` (bit i: u[i], v[i]); all
// share the quad's derivatives and so one level-of-detail choice. Channels
// are in [0, 1] for unsigned formats (the format's own range otherwise).
// Pixels outside `mask` are left as they were.
using QuadKernel = void (*)(const SamplerSetup& setup, const float* u, const float* v, float dudx, float dvdx,
                            float dudy, float dvdy, unsigned mask, Color4* out);

struct SamplerSetup {
    const SampledTexture* texture = nullptr;
    TexelFilter magnify = TexelFilter::Point;
    TexelFilter minify = TexelFilter::Point;
    bool anisotropic = false;  // minification only
    MipMode mip = MipMode::None;
    float lodBias = 0.0f;
    std::uint32_t maxAnisotropy = 1;
    std::uint32_t baseLevel = 0;  // D3DSAMP_MAXMIPLEVEL, clamped to the chain
    AddressMode addressU = AddressMode::Wrap;
    AddressMode addressV = AddressMode::Wrap;
    // Settled from the texture and the states once per draw for the kernels.
    const SampledLevel* levels = nullptr;  // texture->levels.data()
    std::uint32_t lastLevel = 0;           // the chain's last level
    float lowestLambda = 0.0f;             // float(baseLevel): lambda is clamped to [lowest, highest]
    float highestLambda = 0.0f;            // float(lastLevel)
    // The quad kernel of the texel source, addressing, filters, mip mode,
    // anisotropy and (for in-place textures) lane width, picked once per
    // draw from the draw's key (draw_key.h): it branches on none of them.
    QuadKernel kernel = nullptr;
    // The model device's knobs where its kernel draws (model_sampler.h); null otherwise.
    const ModelKnobs* model = nullptr;
};

// Takes one stage's sampler description from the draw plan; the kernel is
// left to the draw's key.
SamplerSetup MakeSamplerSetup(const SamplerDescription& sampler, const SampledTexture& texture);

// A pixel's texture coordinates and their screen-space derivatives.
struct Footprint {
    float u, v;
    float dudx, dvdx, dudy, dvdy;
};

// What the footprint asks of the texture: magnification, or minification at
// level of detail `lambda` with `probes` probes spread along (du, dv).
struct LodChoice {
    bool magnify = true;
    float lambda = 0.0f;
    std::uint32_t probes = 1;
    float du = 0.0f, dv = 0.0f;
};

LodChoice ChooseLod(const SamplerSetup& setup, const Footprint& footprint);

// The setup's quad kernel (QuadKernel's contract).
void SampleQuad(const SamplerSetup& setup, const float* u, const float* v, float dudx, float dvdx, float dudy,
                float dvdy, unsigned mask, Color4* out);

// True when the texture is read in place (X8R8G8B8 or A8R8G8B8) with sides
// that are powers of two, wrapped on both axes: the case of the in-place
// quad kernels.
bool SamplesInPlace(const SamplerSetup& setup);

// Four float channels of one pixel.
using TexelLanes = float __attribute__((vector_size(16)));

// SampleQuad for a setup that SamplesInPlace, before the scaling to [0, 1]:
// each pixel's channels in memory order (B, G, R, A) and byte units, to be
// multiplied by kByteScale. Pixels outside `mask` are left as they were
// or, by the 256-bit kernels, sampled at their own coordinates like the
// rest: callers read only the pixels of `mask`.
using InPlaceQuadKernel = void (*)(const SamplerSetup& setup, const float* u, const float* v, float dudx, float dvdx,
                                   float dudy, float dvdy, unsigned mask, TexelLanes* out);

// The texels of a chunk of two quads side by side, pixel i of quad q
// being pixel 4q + i, in InPlaceQuadKernel's units: one array per channel
// (B, G, R, A), lane 4q + i.
struct ChunkTexels {
    static constexpr int kPixels = 8;
    alignas(32) float channels[4][kPixels];
};

// Samples both quads of a chunk, every pixel at its own coordinates
// u[0 .. 7], v[0 .. 7]; each quad has its own derivatives and so its own
// level-of-detail choice, as InPlaceQuadKernel would make it. The 256-bit
// kernels have one for linear magnification and minification; elsewhere the
// quad kernel serves every quad.
using InPlaceChunkKernel = void (*)(const SamplerSetup& setup, const float* u, const float* v, ChunkTexels* out);

// The float nearest 1/255: native channels are byte values times this.
inline constexpr float kByteScale = 1.0f / 255.0f;

}  // namespace quillmark::software
