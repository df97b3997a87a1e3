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
    return g_forceModelKernel || k.axes != d.axes || k.anisoSteps != d.anisoSteps || k.lodBits != d.lodBits ||
           k.log2 != d.log2 || k.blendWidth != d.blendWidth || k.blendBits != d.blendBits ||
           k.subtexelBits != d.subtexelBits;
}

}  // namespace

SamplerSetup MakeModelSamplerSetup(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states,
                                   const SampledTexture& texture, const ModelKnobs& knobs, std::uint32_t stage) {
    std::array<DWORD, D3D_SAMPLER_STATE_COUNT> changed = states;
    if (knobs.stageReduce && stage != 0) {
        if (states[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC) changed[D3DSAMP_MINFILTER] = D3DTEXF_LINEAR;
        if (states[D3DSAMP_MIPFILTER] == D3DTEXF_LINEAR || states[D3DSAMP_MIPFILTER] == D3DTEXF_ANISOTROPIC)
            changed[D3DSAMP_MIPFILTER] = D3DTEXF_POINT;
    }
    DWORD& maxAnisotropy = changed[D3DSAMP_MAXANISOTROPY];
    if (knobs.anisoIgnoresMax && changed[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC)
        maxAnisotropy = CoreCaps().MaxAnisotropy;
    maxAnisotropy = std::min<DWORD>(std::max<DWORD>(maxAnisotropy, 1), knobs.anisoCap);
    SamplerSetup s = MakeSamplerSetup(changed, texture);
    s.lodBias = s.lodBias + knobs.lodOffset;
    if (NeedsModelKernel(knobs)) s.model = &knobs;  // the draw's key picks the model kernel
    return s;
}

void ForceModelKernel(bool force) { g_forceModelKernel = force; }

}  // namespace quillmark::software
