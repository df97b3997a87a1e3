// Kernel handles of this layer: every HANDLE given out points at a
// KernelObject registered in a table, so a stale or foreign handle is
// recognised (ERROR_INVALID_HANDLE) instead of being dereferenced.
#pragma once

#include "platform/win32/winbase.h"

#include <memory>

namespace quillmark::win32 {

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// Registers the object and returns its handle.
HANDLE RegisterHandle(std::unique_ptr<KernelObject> object);

// The live object of that type behind the handle, or null.
template <typename T>
T* LookupHandle(HANDLE handle);

// Removes the handle; false when it is not live.
bool ReleaseHandle(HANDLE handle);

KernelObject* LookupKernelObject(HANDLE handle);

template <typename T>
T* LookupHandle(HANDLE handle) {
    return dynamic_cast<T*>(LookupKernelObject(handle));
}

}  // namespace quillmark::win32
