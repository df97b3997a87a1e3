// ImageOutput: the byte sink every image writer writes through. A file is
// written through a 64 KiB staging block (small writes are gathered, large
// ones pass straight through in whole multiples of 64 KiB); a memory
// destination is a MemoryBuffer that at least doubles when it grows.
#pragma once

#include "imagecodec/image_types.h"
#include "imagecodec/mapped_file.h"

namespace quillmark {

class MemoryBuffer;

class ImageOutput {
public:
    static constexpr DWORD kStagingSize = 65536;

    ImageOutput() = default;
    ~ImageOutput();
    ImageOutput(const ImageOutput&) = delete;
    ImageOutput& operator=(const ImageOutput&) = delete;

    // For AnsiPath and WidePath `destination` is the path; for Memory it is
    // ignored here (the finished buffer is taken with TakeBytes).
    HRESULT Open(const void* destination, OutputKind kind);
    HRESULT Write(const void* data, DWORD length, DWORD* bytesWritten);
    HRESULT Flush();
    // Flushes and puts a written file in place; fails when any byte of the
    // file could not be written.
    HRESULT Finish();
    void Close();

    // Why the file could not be written (the first failure), or S_OK.
    HRESULT Failure() const { return failure_; }
    DWORD TotalBytes() const { return static_cast<DWORD>(totalBytes_); }
    DWORD StagingFill() const { return stagingFill_; }
    // Memory mode: the bytes held so far (TotalBytes() of them).
    const BYTE* MemoryBytes() const;
    // Memory mode: the buffer of exactly the bytes written, handed to the
    // caller with one reference; the output no longer holds it.
    MemoryBuffer* TakeBuffer();

private:
    enum class Mode { Closed, File, Memory };

    HRESULT WriteToFile(const BYTE* data, DWORD length);
    HRESULT WriteToMemory(const BYTE* data, DWORD length);
    HRESULT SendToFile(const BYTE* data, DWORD length);

    MappedFile file_;
    Mode mode_ = Mode::Closed;
    MemoryBuffer* buffer_ = nullptr;
    BYTE* staging_ = nullptr;
    DWORD stagingFill_ = 0;
    std::uint64_t totalBytes_ = 0;
    HRESULT failure_ = S_OK;  // why some byte did not reach the file
};

// Writes through an ImageOutput and remembers whether every byte went out,
// so that a writer can put its pieces one after another and check once.
class CheckedWriter {
public:
    explicit CheckedWriter(ImageOutput& output) : output_(output) {}
    void Put(const void* data, DWORD length) {
        DWORD written = 0;
        if (ok_ && (FAILED(output_.Write(data, length, &written)) || written != length)) ok_ = false;
    }
    bool Ok() const { return ok_; }

private:
    ImageOutput& output_;
    bool ok_ = true;
};

}  // namespace quillmark
