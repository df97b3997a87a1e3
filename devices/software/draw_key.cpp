#include "devices/software/draw_key.h"

#include "platform/processor/processor_features.h"

namespace quillmark::software {

LaneWidth AllowedLaneWidth() {
#if defined(QUILLMARK_X86_KERNELS)
    if (processor::Allows(processor::kSse2 | processor::kAvx2)) return LaneWidth::Lanes256;
    if (processor::Allows(processor::kSse2)) return LaneWidth::Lanes128;
#endif
    return LaneWidth::Scalar;
}

TexelFetch AllowedTexelFetch() {
    return processor::Allows(processor::kAvx2 | processor::kGather) ? TexelFetch::Gather : TexelFetch::Load;
}

SamplerKey SamplerKeyOf(const SamplerSetup& s) {
    SamplerKey key;
    key.magnify = s.magnify;
    key.minify = s.minify;
    key.mip = s.mip;
    key.probes = s.anisotropic && s.maxAnisotropy > 1;
    key.inPlace = SamplesInPlace(s);
    key.opaque = key.inPlace && s.texture->opaque;
    key.source = s.texture->native ? TexelSource::Native : TexelSource::Decoded;
    key.addressU = s.addressU;
    key.addressV = s.addressV;
    key.model = s.model != nullptr;
    return key;
}

DrawKey MakeDrawKey(const DrawContext& context) {
    DrawKey key;
    key.lanes = AllowedLaneWidth();
    key.fetch = AllowedTexelFetch();
    key.depthFunc = context.depth.test ? context.depth.func : D3DCMP_ALWAYS;
    key.directStage = context.directStage;
    for (std::uint32_t s = 0; s < context.program.count; ++s) {
        if (context.attributeBase[s] < 0) continue;
        key.sampledStages |= 1u << s;
        key.samplers[s] = SamplerKeyOf(context.samplers[s]);
    }
    return key;
}

void UseKernels(const DrawKey& key, const DrawKernels& kernels, DrawContext& context) {
    for (std::uint32_t s = 0; s < kStageCount; ++s) {
        if (key.sampledStages & (1u << s)) context.samplers[s].kernel = kernels.samplers[s].quad;
    }
    if (key.directStage >= 0) {
        const SamplerKernels& direct = kernels.samplers[std::size_t(key.directStage)];
        context.directKernel = direct.inPlace;
        context.directChunkKernel = direct.chunk;
    }
}

SamplerKernels AllowedSamplerKernels(const SamplerSetup& setup) {
    return PickSamplerKernels(SamplerKeyOf(setup), AllowedLaneWidth(), AllowedTexelFetch());
}

}  // namespace quillmark::software
