#include "devices/core/volume_resource.h"

#include "devices/core/device.h"

namespace quillmark::core {

Volume::Volume(Device* device, const VolumeTraits& traits, IUnknown* owner, std::uint64_t* contentVersion)
    : device_(device),
      traits_(traits),
      pixels_(traits.format, traits.width, traits.height, traits.depth),
      owner_(owner),
      contentVersion_(contentVersion) {}

HRESULT Volume::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_INVALIDARG;
    if (riid == IID_IUnknown || riid == IID_IDirect3DVolume9) {
        AddRef();
        *object = static_cast<IDirect3DVolume9*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT Volume::GetDevice(IDirect3DDevice9** device) {
    if (!device) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return S_OK;
}

HRESULT Volume::GetContainer(REFIID riid, void** container) {
    if (!container) return D3DERR_INVALIDCALL;
    return owner_->QueryInterface(riid, container);
}

HRESULT Volume::GetDesc(D3DVOLUME_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = {traits_.format, D3DRTYPE_VOLUME, traits_.usage, traits_.pool, traits_.width, traits_.height,
             traits_.depth};
    return S_OK;
}

HRESULT Volume::LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
    if (!locked || !traits_.lockable || locked_) return D3DERR_INVALIDCALL;
    PixelBox region = WholeBox(pixels_);
    if (box) region = {box->Left, box->Top, box->Right, box->Bottom, box->Front, box->Back};
    if (!IsValidBox(pixels_, region)) return D3DERR_INVALIDCALL;
    locked->RowPitch = static_cast<INT>(pixels_.rowPitch);
    locked->SlicePitch = static_cast<INT>(pixels_.slicePitch);
    locked->pBits = pixels_.BlockAt(region.left, region.top, region.front);
    locked_ = true;
    lockedReadOnly_ = (flags & D3DLOCK_READONLY) != 0;
    return S_OK;
}

HRESULT Volume::UnlockBox() {
    if (!locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if (!lockedReadOnly_) MarkChanged();
    return S_OK;
}

}  // namespace quillmark::core
