// What every fuzz target shares: the input copied into a heap block of
// exactly its size (so that AddressSanitizer sees a read one byte past it),
// the checks a decoded image must pass, and a failure that stops the run
// with a message libFuzzer keeps beside the reproducer.
#pragma once

#include "imagecodec/decoded_image.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/image_limits.h"
#include "imagecodec/memory_buffer.h"
#include "pixel/pixel_format.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

namespace quillmark::fuzz {

[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void Require(bool condition, const char* what) {
    if (!condition) Fail(what);
}

class ExactInput {
public:
    ExactInput(const std::uint8_t* data, std::size_t size) : block_(new BYTE[size]), size_(static_cast<UINT>(size)) {
        if (size != 0) std::memcpy(block_.get(), data, size);
    }
    const BYTE* Data() const { return block_.get(); }
    UINT Size() const { return size_; }

private:
    std::unique_ptr<BYTE[]> block_;
    UINT size_;
};

// Fails an input that takes more than a second of processor time (or the
// seconds QUILLMARK_FUZZ_CPU_SECONDS names: the CI smoke run allows more, so
// that it fails on crashes rather than on the slow inputs campaigns report).
// The limit is on this thread's processor time rather than the wall clock,
// so that a loaded machine (campaigns run at the lowest priority) does not
// report slow inputs that are not slow; libFuzzer's own wall-clock timeout
// stays as the guard against inputs that never finish.
class CpuTimeLimit {
public:
    CpuTimeLimit() : start_(Now()) {}
    ~CpuTimeLimit() {
        if (Now() - start_ > Seconds()) Fail("input took more than the processor-time limit");
    }
    CpuTimeLimit(const CpuTimeLimit&) = delete;
    CpuTimeLimit& operator=(const CpuTimeLimit&) = delete;

private:
    static double Seconds() {
        static const double seconds = [] {
            const char* text = std::getenv("QUILLMARK_FUZZ_CPU_SECONDS");
            const double value = text != nullptr ? std::atof(text) : 0.0;
            return value > 0.0 ? value : 1.0;
        }();
        return seconds;
    }
    static double Now() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    }
    double start_;
};

// Inputs above this are not worth the time: every reader's header logic is
// reached with far less, and the per-input timeout stays meaningful.
inline constexpr std::size_t kMaxInputSize = 1 << 20;

// Images whose header claims more pixels than this (256 x 256) are read for
// their header only: a few hundred bytes may claim a gigabyte of pixels,
// and filling it finds nothing that a small image would not, at a thousand
// times the cost. The readers' own limits are the library's business and
// are fuzzed through the header reads.
inline constexpr std::uint64_t kMaxDecodedPixels = std::uint64_t{1} << 16;

inline bool WithinDecodeBudget(const DecodedImage& header) {
    return std::uint64_t{header.width} * header.height * header.depth <= kMaxDecodedPixels;
}

// True when the input reads as an image (header facts only, into `info`) of
// at most `maxPixels` pixels in its top level.
inline bool HeaderWithin(const ExactInput& input, std::uint64_t maxPixels, ImageInfo& info) {
    DecodedImage header;
    return header.ReadImage(input.Data(), input.Size(), &info, FALSE) == S_OK &&
           std::uint64_t{info.Width} * info.Height * info.Depth <= maxPixels;
}

// Bytes of one row of blocks and the number of such rows of a record.
struct BlockLayout {
    std::uint64_t rowBytes;
    std::uint64_t rows;
};

inline BlockLayout LayoutOf(D3DFORMAT format, UINT width, UINT height) {
    const PixelFormatInfo& info = LookupPixelFormat(format);
    return {info.RowBytes(width), info.BlockRows(height)};
}

// Where TouchPixels leaves its sum, so that the reads are not optimised away.
inline volatile unsigned gTouchedSum;

// Reads every byte a record claims, so that a pitch or size that overstates
// the block is caught by AddressSanitizer.
inline void TouchPixels(const DecodedImage& record) {
    const BlockLayout layout = LayoutOf(record.format, record.width, record.height);
    unsigned sum = 0;
    for (UINT z = 0; z < record.depth; ++z)
        for (std::uint64_t r = 0; r < layout.rows; ++r) {
            const BYTE* row = record.pixels + z * std::uint64_t{record.slicePitch} + r * record.rowPitch;
            for (std::uint64_t i = 0; i < layout.rowBytes; ++i) sum += row[i];
        }
    if (record.palette != nullptr)
        for (int i = 0; i < 256; ++i) sum += record.palette[i].peRed + record.palette[i].peFlags;
    gTouchedSum = sum;
}

// What a reader's success promises, for every level of every face: a known
// pixel format, sizes within the image limits, and, when it decoded, pixels
// (and a palette for palettized formats) covering every row it claims.
inline void CheckDecoded(const DecodedImage& top, bool decoded) {
    for (const DecodedImage* face = &top; face != nullptr; face = face->nextFace) {
        for (const DecodedImage* level = face; level != nullptr; level = level->nextLevel) {
            const PixelFormatInfo& info = LookupPixelFormat(level->format);
            Require(info.format == static_cast<std::uint32_t>(level->format), "format outside the pixel-format table");
            Require(IsSaneImageSize(level->width, level->height), "width or height outside the image limits");
            Require(level->depth >= 1 && level->depth <= kMaxImageDimension, "depth outside the image limits");
            const BlockLayout layout = LayoutOf(level->format, level->width, level->height);
            Require(layout.rowBytes * layout.rows * level->depth <= kMaxImageBytes, "pixel block above 1 GiB");
            Require(level->rowPitch >= layout.rowBytes, "row pitch shorter than a row");
            if (level->depth > 1) Require(level->slicePitch >= level->rowPitch * layout.rows, "slice pitch too short");
            if (!decoded) continue;
            Require(level->pixels != nullptr, "decoded image without pixels");
            if (info.kind == PIXEL_KIND_PALETTIZED) Require(level->palette != nullptr, "palettized image without palette");
            TouchPixels(*level);
        }
    }
}

// FNV-1a over the input: picks the conversions for an input without taking
// any of its bytes away from the readers.
inline std::uint32_t HashOf(const std::uint8_t* data, std::size_t size) {
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    return hash;
}

// The bytes of a buffer WriteImage handed back, in a block of exactly their
// size; releases the buffer.
inline ExactInput TakeWritten(MemoryBuffer* buffer) {
    ExactInput bytes(static_cast<const std::uint8_t*>(buffer->GetBufferPointer()), buffer->GetBufferSize());
    buffer->Release();
    return bytes;
}

}  // namespace quillmark::fuzz
