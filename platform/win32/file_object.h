// The kernel object behind a file handle: an open POSIX descriptor and the
// access the handle was opened with.
#pragma once

#include "platform/win32/kernel_object.h"

namespace quillmark::win32 {

class FileObject : public KernelObject {
public:
    FileObject(int descriptor, DWORD access) : descriptor_(descriptor), access_(access) {}
    ~FileObject() override;
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;

    int Descriptor() const { return descriptor_; }
    bool CanRead() const { return (access_ & GENERIC_READ) != 0; }
    bool CanWrite() const { return (access_ & GENERIC_WRITE) != 0; }

private:
    int descriptor_;
    DWORD access_;
};

}  // namespace quillmark::win32
