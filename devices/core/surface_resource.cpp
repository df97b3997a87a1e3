#include "devices/core/surface_resource.h"

#include "devices/core/device.h"

namespace quillmark::core {

Surface::Surface(Device* device, const SurfaceTraits& traits)
    : DeviceObject(device), traits_(traits), pixels_(traits.format, traits.width, traits.height, 1) {}

Surface::Surface(Device* device, const SurfaceTraits& traits, IUnknown* owner,
                 std::uint64_t* contentVersion)
    : DeviceObject(device, PartOfOwner{}),
      traits_(traits),
      pixels_(traits.format, traits.width, traits.height, 1),
      owner_(owner),
      contentVersion_(contentVersion ? contentVersion : &ownVersion_) {}

HRESULT Surface::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_INVALIDARG;
    if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DSurface9) {
        AddRef();
        *object = static_cast<IDirect3DSurface9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG Surface::AddRef() { return owner_ ? owner_->AddRef() : AddPublicReference(); }

ULONG Surface::Release() { return owner_ ? owner_->Release() : ReleasePublicReference(); }

HRESULT Surface::GetContainer(REFIID riid, void** container) {
    if (!container) return D3DERR_INVALIDCALL;
    IUnknown* holder = owner_ ? owner_ : static_cast<IDirect3DDevice9*>(OwningDevice());
    return holder->QueryInterface(riid, container);
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = {traits_.format, D3DRTYPE_SURFACE, traits_.usage, traits_.pool, D3DMULTISAMPLE_NONE, 0,
             traits_.width, traits_.height};
    return S_OK;
}

bool BoxFromRect(const PixelStore& store, const RECT* rect, PixelBox* box) {
    if (!rect) {
        *box = WholeBox(store);
        return true;
    }
    if (rect->left < 0 || rect->top < 0 || rect->right < 0 || rect->bottom < 0) return false;
    *box = {static_cast<std::uint32_t>(rect->left), static_cast<std::uint32_t>(rect->top),
            static_cast<std::uint32_t>(rect->right), static_cast<std::uint32_t>(rect->bottom)};
    return IsValidBox(store, *box);
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    PixelBox box{};
    if (!locked || !traits_.lockable || locked_ || !BoxFromRect(pixels_, rect, &box)) return D3DERR_INVALIDCALL;
    OwningDevice()->BringToMemory(*this);
    locked->Pitch = static_cast<INT>(pixels_.rowPitch);
    locked->pBits = pixels_.BlockAt(box.left, box.top);
    locked_ = true;
    lockedReadOnly_ = (flags & D3DLOCK_READONLY) != 0;
    return S_OK;
}

HRESULT Surface::UnlockRect() {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if (!lockedReadOnly_) MarkChanged();
    return S_OK;
}

}  // namespace quillmark::core
