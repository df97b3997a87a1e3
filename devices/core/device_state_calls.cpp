// State setters and getters of the reference device. Values are stored as
// given; what the rasteriser does with unusual values is decided at draw time.
#include "devices/core/device.h"
#include "devices/core/texture_resources.h"
#include "devices/core/vertex_buffer.h"

namespace quillmark::core {

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE type, const D3DMATRIX* matrix) {
    D3DMATRIX* slot = TransformSlot(state_, type);
    if (!slot || !matrix) return D3DERR_INVALIDCALL;
    *slot = *matrix;
    return S_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE type, D3DMATRIX* matrix) {
    D3DMATRIX* slot = TransformSlot(state_, type);
    if (!slot || !matrix) return D3DERR_INVALIDCALL;
    *matrix = *slot;
    return S_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
    if (!viewport || viewport->Width == 0 || viewport->Height == 0) return D3DERR_INVALIDCALL;
    const std::uint64_t right = std::uint64_t{viewport->X} + viewport->Width;
    const std::uint64_t bottom = std::uint64_t{viewport->Y} + viewport->Height;
    if (right > presentation_.BackBufferWidth || bottom > presentation_.BackBufferHeight) return D3DERR_INVALIDCALL;
    if (!(viewport->MinZ >= 0.0f && viewport->MaxZ <= 1.0f && viewport->MinZ <= viewport->MaxZ))
        return D3DERR_INVALIDCALL;
    state_.viewport = *viewport;
    return S_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = state_.viewport;
    return S_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
    if (!material) return D3DERR_INVALIDCALL;
    state_.material = *material;
    return S_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* material) {
    if (!material) return D3DERR_INVALIDCALL;
    *material = state_.material;
    return S_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE type, DWORD value) {
    if (type >= D3D_RENDER_STATE_COUNT) return D3DERR_INVALIDCALL;
    state_.renderStates[type] = value;
    return S_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE type, DWORD* value) {
    if (type >= D3D_RENDER_STATE_COUNT || !value) return D3DERR_INVALIDCALL;
    *value = state_.renderStates[type];
    return S_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (sampler >= kStageCount || type == 0 || type >= D3D_SAMPLER_STATE_COUNT) return D3DERR_INVALIDCALL;
    state_.samplerStates[sampler][type] = value;
    return S_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    if (sampler >= kStageCount || type == 0 || type >= D3D_SAMPLER_STATE_COUNT || !value)
        return D3DERR_INVALIDCALL;
    *value = state_.samplerStates[sampler][type];
    return S_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= kStageCount || type == 0 || type >= D3D_TEXTURE_STAGE_STATE_COUNT) return D3DERR_INVALIDCALL;
    state_.stageStates[stage][type] = value;
    return S_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (stage >= kStageCount || type == 0 || type >= D3D_TEXTURE_STAGE_STATE_COUNT || !value)
        return D3DERR_INVALIDCALL;
    *value = state_.stageStates[stage][type];
    return S_OK;
}

// Only textures this device created, in a pool the device can read from.
HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    if (stage >= kStageCount) return D3DERR_INVALIDCALL;
    TextureInternals* internals = InternalsOf(texture);
    if (texture) {
        if (!internals || internals->Lifetime().OwningDevice() != this) return D3DERR_INVALIDCALL;
        const D3DPOOL pool = internals->Traits().pool;
        if (pool == D3DPOOL_SYSTEMMEM || pool == D3DPOOL_SCRATCH) return D3DERR_INVALIDCALL;
        internals->Lifetime().BindToDevice();
    }
    if (textures_[stage]) InternalsOf(textures_[stage])->Lifetime().UnbindFromDevice();
    textures_[stage] = texture;
    return S_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) {
    if (stage >= kStageCount || !texture) return D3DERR_INVALIDCALL;
    if (textures_[stage]) textures_[stage]->AddRef();
    *texture = textures_[stage];
    return S_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
    state_.fvf = fvf;
    return S_OK;
}

HRESULT Device::GetFVF(DWORD* fvf) {
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = state_.fvf;
    return S_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
    if (stream != 0) return D3DERR_INVALIDCALL;
    auto* own = buffer ? dynamic_cast<VertexBuffer*>(buffer) : nullptr;
    if (buffer && (!own || own->OwningDevice() != this)) return D3DERR_INVALIDCALL;
    if (own) own->BindToDevice();
    if (streamBuffer_) streamBuffer_->UnbindFromDevice();
    streamBuffer_ = own;
    state_.stream = {offset, stride};
    return S_OK;
}

HRESULT Device::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset,
                                         UINT* stride) {
    if (stream != 0 || !buffer || !offset || !stride) return D3DERR_INVALIDCALL;
    if (streamBuffer_) streamBuffer_->AddRef();
    *buffer = streamBuffer_;
    *offset = state_.stream.offset;
    *stride = state_.stream.stride;
    return S_OK;
}

}  // namespace quillmark::core
