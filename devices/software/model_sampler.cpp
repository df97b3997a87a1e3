#include "devices/software/model_sampler.h"

#include <algorithm>
#include <atomic>

#include "devices/core/device.h"

namespace quillmark::software {
namespace {

std::atomic<bool> g_forceModelKernel{false};

// Whether the knobs change anything that the sampler states cannot express.
bool NeedsModelKernel(const ModelKnobs& k) {
    const ModelKnobs d;
    return g_forceModelKernel || k.axes != d.axes || k.anisoSteps != d.anisoSteps || k.anisoLod != d.anisoLod || k.lodBits != d.lodBits ||
           k.log2 != d.log2 || k.blendWidth != d.blendWidth || k.blendBits != d.blendBits ||
           k.subtexelBits != d.subtexelBits;
}

}  // namespace

SamplerSetup MakeModelSamplerSetup(SamplerDescription sampler, const SampledTexture& texture, const ModelKnobs& knobs,
                                   std::uint32_t stage) {
    if (knobs.stageReduce && stage != 0) {
        sampler.anisotropic = false;  // an anisotropic minification is linear
        if (sampler.mip == MipFilter::Linear) sampler.mip = MipFilter::Point;
    }
    if (knobs.anisoIgnoresMax && sampler.anisotropic) sampler.maxAnisotropy = CoreCaps().MaxAnisotropy;
    sampler.maxAnisotropy = std::min<std::uint32_t>(std::max<std::uint32_t>(sampler.maxAnisotropy, 1), knobs.anisoCap);
    SamplerSetup s = MakeSamplerSetup(sampler, texture);
    s.lodBias = s.lodBias + knobs.lodOffset;
    if (NeedsModelKernel(knobs)) s.model = &knobs;  // the draw's key picks the model kernel
    return s;
}

void ForceModelKernel(bool force) { g_forceModelKernel = force; }

}  // namespace quillmark::software
