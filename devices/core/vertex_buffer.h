// A vertex buffer of the reference device: plain bytes, lockable in every
// pool (as vertex buffers are on a real device).
#pragma once

#include <cstdint>
#include <vector>

#include "devices/core/device_object.h"

namespace quillmark::core {

class VertexBuffer final : public IDirect3DVertexBuffer9, public DeviceObject {
public:
    VertexBuffer(Device* device, const D3DVERTEXBUFFER_DESC& desc);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return AddPublicReference(); }
    ULONG Release() override { return ReleasePublicReference(); }
    HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceReference(device); }
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    bool IsLocked() const { return locks_ > 0; }

private:
    D3DVERTEXBUFFER_DESC desc_;
    std::vector<std::uint8_t> bytes_;
    unsigned locks_ = 0;
};

}  // namespace quillmark::core
