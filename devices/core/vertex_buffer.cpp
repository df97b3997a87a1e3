#include "devices/core/vertex_buffer.h"

namespace quillmark::core {

VertexBuffer::VertexBuffer(Device* device, const D3DVERTEXBUFFER_DESC& desc)
    : DeviceObject(device), desc_(desc), bytes_(desc.Size, 0) {}

HRESULT VertexBuffer::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_INVALIDARG;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DVertexBuffer9) {
        AddRef();
        *object = static_cast<IDirect3DVertexBuffer9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// Vertex buffers may be locked several times over (as on a real device);
// each Lock needs its Unlock. Size 0 means "to the end".
HRESULT VertexBuffer::Lock(UINT offset, UINT size, void** data, DWORD) {
    if (!data || offset > bytes_.size()) return D3DERR_INVALIDCALL;
    if (size != 0 && size > bytes_.size() - offset) return D3DERR_INVALIDCALL;
    *data = bytes_.data() + offset;
    ++locks_;
    return S_OK;
}

HRESULT VertexBuffer::Unlock() {
    if (locks_ == 0) return D3DERR_INVALIDCALL;
    --locks_;
    return S_OK;
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = desc_;
    return S_OK;
}

}  // namespace quillmark::core
