// MemoryBuffer: a reference-counted block of bytes, the in-memory destination
// of the image writers. The caller of Create owns one reference.
#pragma once

#include "platform/win32/wintypes.h"

namespace quillmark {

// {5B0E2F4C-8D1A-4C77-9E3B-2A6F1C9D4E80}
inline constexpr IID IID_MemoryBuffer = {0x5B0E2F4C, 0x8D1A, 0x4C77,
                                         {0x9E, 0x3B, 0x2A, 0x6F, 0x1C, 0x9D, 0x4E, 0x80}};

class MemoryBuffer : public IUnknown {
public:
    // A buffer of `size` bytes. D3DERR_INVALIDCALL for a null out,
    // E_OUTOFMEMORY when the bytes cannot be allocated.
    static HRESULT Create(DWORD size, MemoryBuffer** out);

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    virtual void* GetBufferPointer();
    virtual DWORD GetBufferSize();

    // Enlarges the buffer to newSize bytes keeping its contents; a smaller or
    // equal size does nothing. E_OUTOFMEMORY leaves the buffer unchanged.
    HRESULT Grow(DWORD newSize);
    // Shortens the buffer to newSize bytes keeping the first newSize; a larger
    // or equal size does nothing.
    void Trim(DWORD newSize);

protected:
    MemoryBuffer() = default;
    virtual ~MemoryBuffer();

private:
    HRESULT Init(DWORD size);

    ULONG references_ = 1;
    DWORD size_ = 0;
    BYTE* bytes_ = nullptr;
};

}  // namespace quillmark
