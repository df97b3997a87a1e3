#include "devices/software/sampler.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "devices/software/sampler_scalar.h"

namespace quillmark::software {
namespace {

AddressMode AddressFrom(DWORD value) {
    if (value == D3DTADDRESS_MIRROR) return AddressMode::Mirror;
    if (value == D3DTADDRESS_CLAMP) return AddressMode::Clamp;
    return AddressMode::Wrap;
}

}  // namespace

SamplerSetup MakeSamplerSetup(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states,
                              const SampledTexture& texture) {
    SamplerSetup s;
    s.texture = &texture;
    const DWORD mag = states[D3DSAMP_MAGFILTER];
    const DWORD min = states[D3DSAMP_MINFILTER];
    const DWORD mip = states[D3DSAMP_MIPFILTER];
    // Anisotropic magnification is linear: a magnified footprint is smaller than a texel.
    s.magnify = (mag == D3DTEXF_LINEAR || mag == D3DTEXF_ANISOTROPIC) ? TexelFilter::Linear : TexelFilter::Point;
    s.minify = (min == D3DTEXF_LINEAR || min == D3DTEXF_ANISOTROPIC) ? TexelFilter::Linear : TexelFilter::Point;
    s.anisotropic = min == D3DTEXF_ANISOTROPIC;
    s.mip = mip == D3DTEXF_POINT ? MipMode::Point
            : (mip == D3DTEXF_LINEAR || mip == D3DTEXF_ANISOTROPIC) ? MipMode::Linear
                                                                     : MipMode::None;
    s.lodBias = std::bit_cast<float>(states[D3DSAMP_MIPMAPLODBIAS]);
    if (!std::isfinite(s.lodBias)) s.lodBias = 0.0f;
    s.maxAnisotropy = std::clamp<DWORD>(states[D3DSAMP_MAXANISOTROPY], 1, 16);
    s.baseLevel = std::min<DWORD>(states[D3DSAMP_MAXMIPLEVEL], DWORD(texture.levels.size()) - 1);
    s.addressU = AddressFrom(states[D3DSAMP_ADDRESSU]);
    s.addressV = AddressFrom(states[D3DSAMP_ADDRESSV]);
    s.levels = texture.levels.data();
    s.lastLevel = std::uint32_t(texture.levels.size()) - 1;
    s.lowestLambda = float(s.baseLevel);
    s.highestLambda = float(s.lastLevel);
    return s;
}

LodChoice ChooseLod(const SamplerSetup& s, const Footprint& f) {
    return s.anisotropic ? ChooseLodFor<true>(s, f) : ChooseLodFor<false>(s, f);
}

bool SamplesInPlace(const SamplerSetup& s) {
    return s.texture->native && s.texture->powerOfTwo && s.addressU == AddressMode::Wrap &&
           s.addressV == AddressMode::Wrap;
}

void SampleQuad(const SamplerSetup& s, const float* u, const float* v, float dudx, float dvdx, float dudy,
                float dvdy, unsigned mask, Color4* out) {
    s.kernel(s, u, v, dudx, dvdx, dudy, dvdy, mask, out);
}

}  // namespace quillmark::software
