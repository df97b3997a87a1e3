// The texture sampler: level of detail from the pixel quad's derivatives,
// point / linear / anisotropic filtering within and between mip levels, and
// wrap, mirror and clamp addressing. docs/reference-device.md states every
// rule; the functions here are those rules.
#pragma once

#include <array>
#include <cstdint>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "platform/d3d9/d3d9types.h"
#include "devices/core/color.h"
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
    // anisotropy and (for in-place textures) vector width, picked by
    // MakeSamplerSetup once per draw: it branches on none of them.
    QuadKernel kernel = nullptr;
    // The model device's knobs where its kernel draws (model_sampler.h); null otherwise.
    const ModelKnobs* model = nullptr;
};

// Reads the sampler states of one stage (filter values the device does not
// implement fall back as the documentation says) and picks the quad kernel.
SamplerSetup MakeSamplerSetup(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states,
                              const SampledTexture& texture);

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

// The quad kernels take 256-bit AVX2 steps, 128-bit SSE2 steps or scalar
// ones, the widest that processor::Allows (processor_features.h) when the
// kernel is picked; all give the same bits. Tests and benchmarks switch
// AVX2 on and off here (never while a draw runs): false when `wide` asks for
// AVX2 that the processor or QUILLMARK_CPU does not allow.
bool UseWideVectors(bool wide);

// The 256-bit kernels fetch texels with AVX2 gathers where
// processor::Allows(kGather) (at start-up, where the processor's gathers
// are fast), else with ordinary loads; both read the same texels. Tests and
// benchmarks switch here (never while a draw runs): false when `gathers`
// asks for gathers that the processor or QUILLMARK_CPU does not allow.
bool UseTexelGathers(bool gathers);

// True when the texture is read in place (X8R8G8B8 or A8R8G8B8) with sides
// that are powers of two, wrapped on both axes: the case of the in-place
// quad kernels.
bool SamplesInPlace(const SamplerSetup& setup);

// Four float channels of one pixel.
#if defined(__SSE__)
using TexelLanes = __m128;
#else
using TexelLanes = float __attribute__((vector_size(16)));
#endif

// SampleQuad for a setup that SamplesInPlace, before the scaling to [0, 1]:
// each pixel's channels in memory order (B, G, R, A) and byte units, to be
// multiplied by kByteScale. Pixels outside `mask` are left as they were
// or, by the 256-bit kernels, sampled at their own coordinates like the
// rest: callers read only the pixels of `mask`.
using InPlaceQuadKernel = void (*)(const SamplerSetup& setup, const float* u, const float* v, float dudx, float dvdx,
                                   float dudy, float dvdy, unsigned mask, TexelLanes* out);

// The in-place kernel for the setup's filters, mip mode and anisotropy and
// the vector width allowed now, chosen once per draw: the kernel branches on
// none of them.
InPlaceQuadKernel PickInPlaceKernel(const SamplerSetup& setup);

// The texels of a chunk of two quads side by side, pixel i of quad q
// being pixel 4q + i, in InPlaceQuadKernel's units: one array per channel
// (B, G, R, A), lane 4q + i.
struct ChunkTexels {
    static constexpr int kPixels = 8;
    alignas(32) float channels[4][kPixels];
};

// Samples both quads of a chunk, every pixel at its own coordinates
// u[0 .. 7], v[0 .. 7]; each quad has its own derivatives and so its own
// level-of-detail choice, as InPlaceQuadKernel would make it.
using InPlaceChunkKernel = void (*)(const SamplerSetup& setup, const float* u, const float* v, ChunkTexels* out);

// The chunk kernel for the setup, chosen once per draw like
// PickInPlaceKernel's (texels fetched the same way): for linear
// magnification and minification with AVX2; null otherwise (the quad
// kernel then serves every quad).
InPlaceChunkKernel PickInPlaceChunkKernel(const SamplerSetup& setup);

// The float nearest 1/255: native channels are byte values times this.
inline constexpr float kByteScale = 1.0f / 255.0f;

}  // namespace quillmark::software
