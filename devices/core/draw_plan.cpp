#include "devices/core/draw_plan.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "devices/core/texture_resources.h"
#include "devices/core/vertex_buffer.h"

namespace quillmark::core {

TexelFilter TexelFilterOf(DWORD filter) {
    return filter == D3DTEXF_LINEAR || filter == D3DTEXF_ANISOTROPIC ? TexelFilter::Linear : TexelFilter::Point;
}

namespace {

MipFilter MipFilterOf(DWORD filter) {
    if (filter == D3DTEXF_POINT) return MipFilter::Point;
    return filter == D3DTEXF_LINEAR || filter == D3DTEXF_ANISOTROPIC ? MipFilter::Linear : MipFilter::None;
}

TextureAddress AddressOf(DWORD mode, DWORD addressCaps) {
    switch (mode) {
        case D3DTADDRESS_MIRROR: return TextureAddress::Mirror;
        case D3DTADDRESS_CLAMP: return TextureAddress::Clamp;
        case D3DTADDRESS_BORDER:
            return addressCaps & D3DPTADDRESSCAPS_BORDER ? TextureAddress::Border : TextureAddress::Wrap;
        case D3DTADDRESS_MIRRORONCE:
            return addressCaps & D3DPTADDRESSCAPS_MIRRORONCE ? TextureAddress::MirrorOnce : TextureAddress::Wrap;
        default: return TextureAddress::Wrap;
    }
}

float LodBiasOf(DWORD bits) {
    const float bias = std::bit_cast<float>(bits);
    return std::isnan(bias) ? 0.0f : std::clamp(bias, -kMaxLodBias, kMaxLodBias);
}

// The vertices `primitives` primitives of `type` read; false for a type no
// renderer draws.
bool VertexCountOf(D3DPRIMITIVETYPE type, UINT primitives, std::uint64_t* count) {
    switch (type) {
        case D3DPT_TRIANGLELIST: *count = std::uint64_t{primitives} * 3; return true;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: *count = std::uint64_t{primitives} + 2; return true;
        default: return false;
    }
}

}  // namespace

SamplerDescription DescribeSampler(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states, std::uint32_t levels,
                                   const D3DCAPS9& caps) {
    SamplerDescription d;
    d.magnify = TexelFilterOf(states[D3DSAMP_MAGFILTER]);
    d.minify = TexelFilterOf(states[D3DSAMP_MINFILTER]);
    d.anisotropic = states[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC;
    d.mip = MipFilterOf(states[D3DSAMP_MIPFILTER]);
    d.addressU = AddressOf(states[D3DSAMP_ADDRESSU], caps.TextureAddressCaps);
    d.addressV = AddressOf(states[D3DSAMP_ADDRESSV], caps.TextureAddressCaps);
    d.borderColor = states[D3DSAMP_BORDERCOLOR];
    d.maxAnisotropy = std::clamp<DWORD>(states[D3DSAMP_MAXANISOTROPY], 1, std::max<DWORD>(1, caps.MaxAnisotropy));
    d.lodBias = LodBiasOf(states[D3DSAMP_MIPMAPLODBIAS]);
    d.firstLevel = std::min<DWORD>(states[D3DSAMP_MAXMIPLEVEL], levels - 1);
    return d;
}

HRESULT BuildDrawPlan(const DeviceState& state, const std::array<IDirect3DBaseTexture9*, kStageCount>& textures,
                      const VertexBuffer& stream, D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount,
                      const D3DCAPS9& caps, DrawPlan* plan) {
    std::array<bool, kStageCount> bound{};
    for (std::uint32_t s = 0; s < kStageCount; ++s) bound[s] = textures[s] != nullptr;
    if (!BuildStageProgram(state, bound, &plan->program)) return D3DERR_INVALIDCALL;

    std::uint32_t textureSets = 0;
    const std::uint32_t vertexSize = VertexSizeOf(state.fvf, &textureSets);
    const std::uint32_t coordinatesStart = vertexSize - 8 * textureSets;
    plan->stages = {};
    plan->sources.clear();
    // The stages before the program's start read no texture.
    for (std::uint32_t s = plan->program.start; s < plan->program.count; ++s) {
        const StageStep& step = plan->program.steps[s];
        if (!step.readsTexture || !step.hasTexture) continue;
        TextureInternals* texture = InternalsOf(textures[s]);
        if (!texture || texture->Kind() != D3DRTYPE_TEXTURE || texture->AnyLevelLocked()) return D3DERR_INVALIDCALL;
        const DWORD index = state.stageStates[s][D3DTSS_TEXCOORDINDEX];
        const DWORD flags = state.stageStates[s][D3DTSS_TEXTURETRANSFORMFLAGS];
        if (index >= textureSets || !IsSupportedTransform(flags)) return D3DERR_INVALIDCALL;
        PlannedStage& stage = plan->stages[s];
        stage.texture = texture;
        stage.sampler = DescribeSampler(state.samplerStates[s], texture->Traits().levels, caps);
        stage.coordinateSet = std::uint32_t(plan->sources.size());
        stage.projected = (flags & D3DTTFF_PROJECTED) != 0 && (flags & ~DWORD{D3DTTFF_PROJECTED}) >= D3DTTFF_COUNT2;
        plan->sources.push_back({coordinatesStart + 8 * index, flags, state.texture[s]});
    }

    const std::uint32_t stride = state.stream.stride;
    std::uint64_t count = 0;
    if (!VertexCountOf(type, primitiveCount, &count)) return D3DERR_INVALIDCALL;
    const std::vector<std::uint8_t>& bytes = stream.Bytes();
    const std::uint64_t end = std::uint64_t{state.stream.offset} + (startVertex + count - 1) * stride + vertexSize;
    if (vertexSize == 0 || stride < vertexSize || end > bytes.size()) return D3DERR_INVALIDCALL;
    plan->type = type;
    plan->primitiveCount = primitiveCount;
    plan->firstVertex = bytes.data() + state.stream.offset + std::size_t{startVertex} * stride;
    plan->vertexCount = std::uint32_t(count);
    plan->stride = stride;
    return S_OK;
}

}  // namespace quillmark::core
