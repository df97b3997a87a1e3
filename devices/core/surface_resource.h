// A surface of the reference device: a texture level or cube face, an
// offscreen plain surface, a render target, the back buffer or a depth
// buffer. A surface that is part of something else (a texture, or the device
// itself for the back buffer and the automatic depth buffer) shares its
// owner's reference count.
#pragma once

#include <cstdint>

#include "devices/core/device_object.h"
#include "devices/core/pixel_store.h"

namespace quillmark::core {

struct SurfaceTraits {
    D3DFORMAT format;
    std::uint32_t width;
    std::uint32_t height;
    DWORD usage;
    D3DPOOL pool;
    bool lockable;
};

class Surface final : public IDirect3DSurface9, public DeviceObject {
public:
    // A surface of its own, holding one public reference.
    Surface(Device* device, const SurfaceTraits& traits);
    // A part of `owner`; `contentVersion` is the owner's change counter, or
    // null when the surface counts its own changes.
    Surface(Device* device, const SurfaceTraits& traits, IUnknown* owner,
            std::uint64_t* contentVersion);
    ~Surface() override = default;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceReference(device); }
    DWORD SetPriority(DWORD) override { return 0; }
    DWORD GetPriority() override { return 0; }
    void PreLoad() override {}
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetContainer(REFIID riid, void** container) override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    const SurfaceTraits& Traits() const { return traits_; }
    PixelStore& Pixels() { return pixels_; }
    const PixelStore& Pixels() const { return pixels_; }
    bool IsLocked() const { return locked_; }
    bool IsStandalone() const { return owner_ == nullptr; }
    // To be called after the device wrote into the pixels.
    void MarkChanged() { ++*contentVersion_; }
    std::uint64_t ContentVersion() const { return *contentVersion_; }

private:
    SurfaceTraits traits_;
    PixelStore pixels_;
    IUnknown* owner_ = nullptr;
    std::uint64_t ownVersion_ = 0;
    std::uint64_t* contentVersion_ = &ownVersion_;
    bool locked_ = false;
    bool lockedReadOnly_ = false;
};

// Converts a lock rectangle (null: all) to a box; false when it is invalid.
bool BoxFromRect(const PixelStore& store, const RECT* rect, PixelBox* box);

}  // namespace quillmark::core
