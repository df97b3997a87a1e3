#include "imagecodec/memory_buffer.h"

#include "platform/d3d9/d3d9.h"

#include <cstdlib>
#include <new>

namespace quillmark {

HRESULT MemoryBuffer::Create(DWORD size, MemoryBuffer** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    auto* buffer = new (std::nothrow) MemoryBuffer();
    if (buffer == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = buffer->Init(size);
    if (FAILED(result)) {
        delete buffer;
        return result;
    }
    *out = buffer;
    return S_OK;
}

MemoryBuffer::~MemoryBuffer() { std::free(bytes_); }

HRESULT MemoryBuffer::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return D3DERR_INVALIDCALL;
    if (iid == IID_IUnknown || iid == IID_MemoryBuffer) {
        AddRef();
        *object = this;
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG MemoryBuffer::AddRef() { return ++references_; }

ULONG MemoryBuffer::Release() {
    const ULONG remaining = --references_;
    if (remaining == 0) delete this;
    return remaining;
}

void* MemoryBuffer::GetBufferPointer() { return bytes_; }

DWORD MemoryBuffer::GetBufferSize() { return size_; }

HRESULT MemoryBuffer::Init(DWORD size) {
    // One byte at least, so that an empty buffer still has an address.
    bytes_ = static_cast<BYTE*>(std::malloc(size > 0 ? size : 1));
    if (bytes_ == nullptr) return E_OUTOFMEMORY;
    size_ = size;
    return S_OK;
}

HRESULT MemoryBuffer::Grow(DWORD newSize) {
    if (newSize <= size_) return S_OK;
    // realloc keeps the contents, and moves large blocks without copying.
    auto* grown = static_cast<BYTE*>(std::realloc(bytes_, newSize));
    if (grown == nullptr) return E_OUTOFMEMORY;
    bytes_ = grown;
    size_ = newSize;
    return S_OK;
}

void MemoryBuffer::Trim(DWORD newSize) {
    if (newSize >= size_) return;
    // Shrinking in place cannot fail for want of memory; keep the old block if it does.
    if (auto* trimmed = static_cast<BYTE*>(std::realloc(bytes_, newSize > 0 ? newSize : 1))) bytes_ = trimmed;
    size_ = newSize;
}

}  // namespace quillmark
