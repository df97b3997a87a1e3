// The facts of a bitmap's info header that the reader works from, after the
// header has been checked against the bytes it came in, and the helpers that
// read those bytes. Shared by the reader's parts (header, run-length data,
// bit-field conversion).
#pragma once

#include "d3d9types.h"

#include <cstdint>

namespace quillmark::bmp {

inline constexpr DWORD kBiRgb = 0;
inline constexpr DWORD kBiRle8 = 1;
inline constexpr DWORD kBiRle4 = 2;
inline constexpr DWORD kBiBitfields = 3;
inline constexpr WORD kFileType = 0x4D42;  // "BM"
inline constexpr UINT kFileHeaderSize = 14;

inline WORD ReadU16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
inline DWORD ReadU32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

struct Masks {
    DWORD red;
    DWORD green;
    DWORD blue;
    DWORD alpha;
};

struct Layout {
    DWORD headerSize;
    std::int64_t width;
    std::int64_t height;  // negative: rows stored top-down
    WORD bitCount;
    DWORD compression;
    UINT entrySize;        // colour-table entry: 3 or 4 bytes
    std::uint64_t colours; // colour-table entries in the file
    std::uint64_t bitsOffset;
    Masks masks;
    D3DFORMAT format;
    std::uint64_t rows;
    std::uint64_t sourceRowBytes;
    std::uint64_t sourceStride;
    std::uint64_t outputRowBytes;
    std::uint64_t rowPitch;

    bool TopDown() const { return height < 0; }
    bool IsRunLength() const { return compression == kBiRle8 || compression == kBiRle4; }
};

// Reads and checks the info header at `bytes`; false for anything malformed,
// unsupported or larger than the image limits.
bool ParseLayout(const BYTE* bytes, UINT byteCount, Layout& layout);

// The Direct3D format a bit-field layout stores, or D3DFMT_A32B32G32R32F when
// none does; `offsetShift` receives the byte offset added to the pixel data.
D3DFORMAT FormatFromMasks(WORD bitCount, const Masks& masks, UINT& offsetShift);

// Converts one row of `width` bit-field pixels into four floats each.
void ConvertMaskedRow(const BYTE* source, WORD bitCount, const Masks& masks, UINT width, float* out);

// Expands run-length data into `pixels` (one index byte per pixel, rows of
// `rowPitch` bytes, already cleared); false when the data ends too soon or
// is malformed.
bool DecodeRunLength(const BYTE* data, std::uint64_t dataSize, const Layout& layout, BYTE* pixels);

}  // namespace quillmark::bmp
