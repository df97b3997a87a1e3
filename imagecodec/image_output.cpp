#include "imagecodec/image_output.h"

#include "imagecodec/memory_buffer.h"

#include <cstdlib>
#include <cstring>

namespace quillmark {
namespace {

constexpr DWORD kInitialMemorySize = 1024;
constexpr std::uint64_t kMaxMemoryBytes = 0xFFFFFFFFu;

}  // namespace

ImageOutput::~ImageOutput() { Close(); }

HRESULT ImageOutput::Open(const void* destination, OutputKind kind) {
    Close();
    if (kind == OutputKind::Memory) {
        const HRESULT result = MemoryBuffer::Create(kInitialMemorySize, &buffer_);
        if (FAILED(result)) return result;
        mode_ = Mode::Memory;
        return S_OK;
    }
    if (kind != OutputKind::AnsiPath && kind != OutputKind::WidePath) return E_FAIL;
    staging_ = static_cast<BYTE*>(std::malloc(kStagingSize));
    if (staging_ == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = file_.Create(destination, kind == OutputKind::WidePath);
    if (FAILED(result)) {
        Close();
        return result;
    }
    mode_ = Mode::File;
    return S_OK;
}

HRESULT ImageOutput::Write(const void* data, DWORD length, DWORD* bytesWritten) {
    HRESULT result = S_OK;
    const auto* bytes = static_cast<const BYTE*>(data);
    if (mode_ == Mode::File) result = WriteToFile(bytes, length);
    else if (mode_ == Mode::Memory) result = WriteToMemory(bytes, length);
    if (bytesWritten != nullptr) *bytesWritten = length;
    return result;
}

HRESULT ImageOutput::SendToFile(const BYTE* data, DWORD length) {
    const HRESULT written = file_.Write(data, length);
    if (FAILED(written)) {
        if (SUCCEEDED(failure_)) failure_ = written;
        return written;
    }
    totalBytes_ += length;
    return S_OK;
}

HRESULT ImageOutput::WriteToFile(const BYTE* data, DWORD length) {
    if (std::uint64_t{stagingFill_} + length <= kStagingSize) {
        std::memcpy(staging_ + stagingFill_, data, length);
        stagingFill_ += length;
        return S_OK;
    }
    DWORD consumed = 0;
    if (stagingFill_ != 0) {
        consumed = kStagingSize - stagingFill_;
        std::memcpy(staging_ + stagingFill_, data, consumed);
        stagingFill_ = 0;
        if (FAILED(SendToFile(staging_, kStagingSize))) return failure_;
    }
    const DWORD direct = (length - consumed) / kStagingSize * kStagingSize;
    if (direct > 0 && FAILED(SendToFile(data + consumed, direct))) return failure_;
    consumed += direct;
    stagingFill_ = length - consumed;
    std::memcpy(staging_, data + consumed, stagingFill_);
    return S_OK;
}

HRESULT ImageOutput::WriteToMemory(const BYTE* data, DWORD length) {
    const std::uint64_t needed = totalBytes_ + length;
    if (needed > kMaxMemoryBytes) return E_OUTOFMEMORY;
    const DWORD size = buffer_->GetBufferSize();
    if (size < needed) {
        const std::uint64_t doubled = std::uint64_t{size} * 2;
        const std::uint64_t grown = doubled >= needed && doubled <= kMaxMemoryBytes ? doubled : needed;
        const HRESULT result = buffer_->Grow(static_cast<DWORD>(grown));
        if (FAILED(result)) return result;
    }
    if (length > 0) std::memcpy(static_cast<BYTE*>(buffer_->GetBufferPointer()) + totalBytes_, data, length);
    totalBytes_ = needed;
    return S_OK;
}

HRESULT ImageOutput::Flush() {
    if (mode_ != Mode::File || stagingFill_ == 0) return S_OK;
    const DWORD waiting = stagingFill_;
    stagingFill_ = 0;
    return SendToFile(staging_, waiting);
}

HRESULT ImageOutput::Finish() {
    const HRESULT flushed = Flush();
    if (FAILED(flushed)) return flushed;
    if (FAILED(failure_)) return failure_;
    return mode_ == Mode::File ? file_.Commit() : S_OK;
}

const BYTE* ImageOutput::MemoryBytes() const {
    return buffer_ != nullptr ? static_cast<const BYTE*>(buffer_->GetBufferPointer()) : nullptr;
}

MemoryBuffer* ImageOutput::TakeBuffer() {
    if (mode_ != Mode::Memory || buffer_ == nullptr) return nullptr;
    MemoryBuffer* taken = buffer_;
    taken->Trim(static_cast<DWORD>(totalBytes_));
    buffer_ = nullptr;
    mode_ = Mode::Closed;
    return taken;
}

void ImageOutput::Close() {
    if (buffer_ != nullptr) buffer_->Release();
    std::free(staging_);
    file_.Close();  // deletes a file that Finish did not put in place
    buffer_ = nullptr;
    staging_ = nullptr;
    stagingFill_ = 0;
    totalBytes_ = 0;
    failure_ = S_OK;
    mode_ = Mode::Closed;
}

}  // namespace quillmark
