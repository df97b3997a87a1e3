#include "devices/software/sampler.h"

#include <algorithm>
#include <cmath>

#include "devices/software/sampler_scalar.h"

namespace quillmark::software {
namespace {

// The reference device's caps list no other address modes, so the plan
// gives it no others.
AddressMode AddressFrom(TextureAddress address) {
    if (address == TextureAddress::Mirror) return AddressMode::Mirror;
    if (address == TextureAddress::Clamp) return AddressMode::Clamp;
    return AddressMode::Wrap;
}

}  // namespace

SamplerSetup MakeSamplerSetup(const SamplerDescription& sampler, const SampledTexture& texture) {
    SamplerSetup s;
    s.texture = &texture;
    s.magnify = sampler.magnify == core::TexelFilter::Linear ? TexelFilter::Linear : TexelFilter::Point;
    s.minify = sampler.minify == core::TexelFilter::Linear ? TexelFilter::Linear : TexelFilter::Point;
    s.anisotropic = sampler.anisotropic;
    s.mip = sampler.mip == MipFilter::Point ? MipMode::Point
            : sampler.mip == MipFilter::Linear ? MipMode::Linear
                                               : MipMode::None;
    s.lodBias = sampler.lodBias;
    s.maxAnisotropy = sampler.maxAnisotropy;
    s.baseLevel = sampler.firstLevel;
    s.addressU = AddressFrom(sampler.addressU);
    s.addressV = AddressFrom(sampler.addressV);
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
