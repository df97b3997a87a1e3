// Reference counting shared by every object a reference device creates.
//
// An object has a public COM count and a count of the device's own bindings
// (a texture set on a stage, a buffer set as a stream source). While the
// public count is above zero the object holds a reference to its device, so
// a device lives as long as anything the application holds from it; a bound
// object the application has released lives on, without holding the device,
// until the device lets it go.
#pragma once

#include "platform/d3d9/d3d9.h"

namespace quillmark::core {

class Device;

class DeviceObject {
public:
    DeviceObject(const DeviceObject&) = delete;
    DeviceObject& operator=(const DeviceObject&) = delete;

    void BindToDevice() { ++bindings_; }
    void UnbindFromDevice();
    Device* OwningDevice() const { return device_; }

protected:
    // Starts with one public reference, which holds a device reference.
    explicit DeviceObject(Device* device);
    // A part of another object (a texture level, the back buffer): its
    // references are its owner's, so it counts nothing itself.
    struct PartOfOwner {};
    DeviceObject(Device* device, PartOfOwner) : device_(device), references_(0) {}
    virtual ~DeviceObject();

    ULONG AddPublicReference();
    ULONG ReleasePublicReference();
    HRESULT GetDeviceReference(IDirect3DDevice9** device);

private:
    Device* device_;
    ULONG references_ = 1;
    ULONG bindings_ = 0;
};

}  // namespace quillmark::core
