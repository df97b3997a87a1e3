// One level of a volume texture; it shares the texture's reference count.
#pragma once

#include <cstdint>

#include "devices/core/device_object.h"
#include "devices/core/pixel_store.h"

namespace quillmark::core {

struct VolumeTraits {
    D3DFORMAT format;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t depth;
    DWORD usage;
    D3DPOOL pool;
    bool lockable;
};

class Volume final : public IDirect3DVolume9 {
public:
    Volume(Device* device, const VolumeTraits& traits, IUnknown* owner, std::uint64_t* contentVersion);
    ~Volume() = default;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override { return owner_->AddRef(); }
    ULONG Release() override { return owner_->Release(); }
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    HRESULT GetContainer(REFIID riid, void** container) override;
    HRESULT GetDesc(D3DVOLUME_DESC* desc) override;
    HRESULT LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
    HRESULT UnlockBox() override;

    const VolumeTraits& Traits() const { return traits_; }
    PixelStore& Pixels() { return pixels_; }
    const PixelStore& Pixels() const { return pixels_; }
    bool IsLocked() const { return locked_; }
    void MarkChanged() { ++*contentVersion_; }

private:
    Device* device_;
    VolumeTraits traits_;
    PixelStore pixels_;
    IUnknown* owner_;
    std::uint64_t* contentVersion_;
    bool locked_ = false;
    bool lockedReadOnly_ = false;
};

}  // namespace quillmark::core
