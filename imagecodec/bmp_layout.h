// The bitmap file layout, shared by the reader and the writer: the fields of
// the file and info headers, the compressions, the pixel formats stored
// uncompressed and as bit fields, and the little-endian field access. Also
// the facts of an info header that the reader works from, after the header
// has been checked against the bytes it came in.
#pragma once

#include "platform/d3d9/d3d9types.h"

#include <cstdint>

namespace quillmark {
struct DecodedImage;
}

namespace quillmark::bmp {

// The readers of the BMP and DIB codecs (bmp_reader.cpp): recognising a file
// by its first bytes and reading it, with and without the file header.
bool RecogniseBmp(const BYTE* bytes, UINT byteCount);
bool RecogniseDib(const BYTE* bytes, UINT byteCount);
HRESULT ReadBmp(DecodedImage& image, const BYTE* bytes, UINT byteCount);
HRESULT ReadDib(DecodedImage& image, const BYTE* bytes, UINT byteCount);

inline constexpr DWORD kBiRgb = 0;
inline constexpr DWORD kBiRle8 = 1;
inline constexpr DWORD kBiRle4 = 2;
inline constexpr DWORD kBiBitfields = 3;
inline constexpr WORD kFileType = 0x4D42;  // "BM"

// The file header, kFileHeaderSize bytes before the info header in a .bmp
// file: byte offsets of its fields.
inline constexpr UINT kFileHeaderSize = 14;
namespace file_field {
inline constexpr UINT kType = 0;         // WORD, kFileType
inline constexpr UINT kFileSize = 2;     // DWORD, bytes in the file
inline constexpr UINT kBitsOffset = 10;  // DWORD, from the file's start to the pixels
}  // namespace file_field

// The info header's sizes: core (16-bit sizes, 3-byte colour entries), info,
// info with the three colour masks, info with the alpha mask too.
inline constexpr DWORD kCoreHeaderSize = 12;
inline constexpr DWORD kInfoHeaderSize = 40;
inline constexpr DWORD kHeaderWithMasks = 52;
inline constexpr DWORD kHeaderWithAlphaMask = 56;
// The version-4 header: the masks, then a colour space, its end points and
// gammas; the header every reader takes bit fields with alpha from.
inline constexpr DWORD kV4HeaderSize = 108;
inline constexpr DWORD kColourSpaceSrgb = 0x73524742;  // "sRGB"; end points and gammas unused
// An info header of kInfoHeaderSize bytes with kBiBitfields is followed by
// the three colour masks, where the longer headers hold them.
inline constexpr DWORD kTrailingMasksSize = kHeaderWithMasks - kInfoHeaderSize;

// Byte offsets of the info header's fields (the first, its size, is at 0).
namespace info_field {
inline constexpr UINT kSize = 0;               // DWORD
inline constexpr UINT kWidth = 4;              // LONG
inline constexpr UINT kHeight = 8;             // LONG, negative: rows stored top-down
inline constexpr UINT kPlanes = 12;            // WORD, 1
inline constexpr UINT kBitCount = 14;          // WORD
inline constexpr UINT kCompression = 16;       // DWORD
inline constexpr UINT kXPixelsPerMetre = 24;   // LONG
inline constexpr UINT kYPixelsPerMetre = 28;   // LONG
inline constexpr UINT kColoursUsed = 32;       // DWORD, 0: all that the bit count allows
inline constexpr UINT kRedMask = 40;           // DWORD, in headers of kHeaderWithMasks bytes and up
inline constexpr UINT kGreenMask = 44;
inline constexpr UINT kBlueMask = 48;
inline constexpr UINT kAlphaMask = 52;         // in headers of kHeaderWithAlphaMask bytes and up
inline constexpr UINT kColourSpace = 56;       // DWORD, in headers of kV4HeaderSize bytes and up
}  // namespace info_field

// The core header's fields that differ from the info header's.
namespace core_field {
inline constexpr UINT kWidth = 4;     // WORD
inline constexpr UINT kHeight = 6;    // WORD
inline constexpr UINT kPlanes = 8;    // WORD
inline constexpr UINT kBitCount = 10; // WORD
}  // namespace core_field

inline WORD ReadU16(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }
inline DWORD ReadU32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}
inline void PutU16(BYTE* p, DWORD value) {
    p[0] = static_cast<BYTE>(value);
    p[1] = static_cast<BYTE>(value >> 8);
}
inline void PutU32(BYTE* p, DWORD value) {
    PutU16(p, value);
    PutU16(p + 2, value >> 16);
}

struct Masks {
    DWORD red;
    DWORD green;
    DWORD blue;
    DWORD alpha;
};

// Uncompressed (kBiRgb) pixels of 16 bits and more: the format the reader
// gives for a bit count (32-bit pixels whose fourth bytes carry alpha become
// A8R8G8B8), and the writer's layout for these formats. A8R8G8B8 is written
// with bit fields and an alpha mask instead: uncompressed, an alpha of 0
// everywhere would read back as no alpha at all.
struct RgbFormat {
    WORD bitCount;
    D3DFORMAT format;
};
inline constexpr RgbFormat kRgbFormats[] = {
    {16, D3DFMT_X1R5G5B5},
    {24, D3DFMT_R8G8B8},
    {32, D3DFMT_X8R8G8B8},
};

// A bit-field layout (kBiBitfields) that a Direct3D format stores as it is;
// offsetShift bytes are skipped before each pixel (a layout whose low byte
// carries nothing).
struct MaskFormat {
    WORD bitCount;
    Masks masks;
    D3DFORMAT format;
    UINT offsetShift;
};

// The layout that stores `format` with no offset, or null.
const MaskFormat* FindMaskFormat(D3DFORMAT format);

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
    UINT pixelShift;      // bytes skipped before each pixel (see MaskFormat)
    bool lastPixelCut;    // the file ends pixelShift bytes into the last pixel

    bool TopDown() const { return height < 0; }
    bool IsRunLength() const { return compression == kBiRle8 || compression == kBiRle4; }
};

// Reads and checks the info header at `bytes`; E_FAIL, with the reason given
// to Refuse, for anything malformed, unsupported or larger than the image
// limits. The pixels follow the colour
// table, or start at `statedBitsOffset` (from `bytes`, as a file header gives
// it; 0 for none) when that lies past the table and inside the bytes.
HRESULT ParseLayout(const BYTE* bytes, UINT byteCount, std::uint64_t statedBitsOffset, Layout& layout);

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
