#include "devices/core/device_object.h"

#include "devices/core/device.h"

namespace quillmark::core {

DeviceObject::DeviceObject(Device* device) : device_(device) { device_->AddRef(); }

// Objects are deleted once their public count is zero; only a constructor
// that threw (out of memory) leaves its first reference, and so the device
// reference it holds, behind.
DeviceObject::~DeviceObject() {
    if (references_ > 0) device_->Release();
}

ULONG DeviceObject::AddPublicReference() {
    if (references_++ == 0) device_->AddRef();
    return references_;
}

ULONG DeviceObject::ReleasePublicReference() {
    if (references_ == 0) return 0;
    const ULONG left = --references_;
    if (left > 0) return left;
    Device* device = device_;
    if (bindings_ == 0) delete this;
    // May destroy the device, which unbinds (and so deletes) this object.
    device->Release();
    return 0;
}

void DeviceObject::UnbindFromDevice() {
    if (bindings_ > 0 && --bindings_ == 0 && references_ == 0) delete this;
}

HRESULT DeviceObject::GetDeviceReference(IDirect3DDevice9** device) {
    if (!device) return D3DERR_INVALIDCALL;
    device_->AddRef();
    *device = device_;
    return S_OK;
}

}  // namespace quillmark::core
