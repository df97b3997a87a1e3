// A draw as every renderer reads it: the device turns the current state
// into one DrawPlan per DrawPrimitive, checking it on the way, and the
// renderers only map the plan to their API. Each sampler state is settled
// here once, odd values included, so that every device draws the same
// state the same way:
// - MINFILTER, MAGFILTER: POINT and LINEAR as they are; ANISOTROPIC is
//   LINEAR (and, for MINFILTER, anisotropic minification); NONE and unknown
//   values are POINT.
// - MIPFILTER: POINT and LINEAR as they are, ANISOTROPIC is LINEAR; unknown
//   values are NONE.
// - MAXANISOTROPY: clamped to 1 .. the device's MaxAnisotropy (0 is 1).
// - MIPMAPLODBIAS: the float's bits; NaN counts as 0, anything else is
//   clamped to -16 .. 16 (the infinities to their end of that range).
// - MAXMIPLEVEL: clamped to the texture's last level.
// - ADDRESSU, ADDRESSV: WRAP, MIRROR, CLAMP, and BORDER and MIRRORONCE where
//   the device's TextureAddressCaps list them; an address mode the caps do
//   not list, and any unknown value, is WRAP.
// - BORDERCOLOR: as it is.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "devices/core/device_state.h"
#include "devices/core/stage_program.h"
#include "devices/core/vertex_processing.h"

namespace quillmark::core {

class TextureInternals;
class VertexBuffer;

enum class TexelFilter : std::uint8_t { Point, Linear };
enum class MipFilter : std::uint8_t { None, Point, Linear };
enum class TextureAddress : std::uint8_t { Wrap, Mirror, Clamp, Border, MirrorOnce };

// The texel filter a MINFILTER or MAGFILTER value draws with (the rules above).
TexelFilter TexelFilterOf(DWORD filter);

// The largest LOD bias, either way, that a draw uses.
inline constexpr float kMaxLodBias = 16.0f;

// One stage's sampler states as settled for a draw (the rules above).
struct SamplerDescription {
    TexelFilter magnify = TexelFilter::Point;
    TexelFilter minify = TexelFilter::Point;
    bool anisotropic = false;  // anisotropic minification
    MipFilter mip = MipFilter::None;
    TextureAddress addressU = TextureAddress::Wrap;
    TextureAddress addressV = TextureAddress::Wrap;
    D3DCOLOR borderColor = 0;
    std::uint32_t maxAnisotropy = 1;
    float lodBias = 0.0f;
    std::uint32_t firstLevel = 0;  // MAXMIPLEVEL: the most detailed level sampled
};

// The sampler states of one stage, for a texture of `levels` levels on a
// device with these caps.
SamplerDescription DescribeSampler(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states, std::uint32_t levels,
                                   const D3DCAPS9& caps);

// A stage that samples its texture.
struct PlannedStage {
    TextureInternals* texture = nullptr;  // a 2-D texture, no level locked
    SamplerDescription sampler;
    std::uint32_t coordinateSet = 0;  // its coordinates: DrawPlan::sources[coordinateSet]
    bool projected = false;           // divided by their last component
};

struct DrawPlan {
    StageProgram program;
    // stages[s] for each stage s of the program that samples its texture;
    // the others' texture is null.
    std::array<PlannedStage, kStageCount> stages{};
    // The sampling stages' coordinate sources, in stage order.
    std::vector<CoordinateSource> sources;
    // The vertices the primitives read.
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT primitiveCount = 0;
    const std::uint8_t* firstVertex = nullptr;
    std::uint32_t vertexCount = 0;
    std::uint32_t stride = 0;
};

// Fills *plan from the state the device draws with; D3DERR_INVALIDCALL for
// what no renderer draws: a stage operation or argument not implemented, a
// sampling stage whose texture is not a 2-D texture or has a level locked,
// a coordinate set the vertices lack or a texture transform not
// implemented, a primitive type other than triangles, a vertex format
// without a size, a stride shorter than a vertex or vertices past the
// stream's end.
HRESULT BuildDrawPlan(const DeviceState& state, const std::array<IDirect3DBaseTexture9*, kStageCount>& textures,
                      const VertexBuffer& stream, D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount,
                      const D3DCAPS9& caps, DrawPlan* plan);

}  // namespace quillmark::core
