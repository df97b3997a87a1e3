// Reading bitmaps with (ReadBmp) and without (ReadDib) the file header. Every
// header field is checked against the bytes before use (see bmp_header.cpp);
// pixel data that can be used unchanged is not copied.
#include "imagecodec/bmp_layout.h"
#include "imagecodec/decoded_image.h"
#include "imagecodec/read_failure.h"
#include "pixel/row_bands.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace quillmark::bmp {
namespace {


constexpr UINT kPaletteEntries = 256;

// True when the fourth bytes of 32-bit pixels vary or hold anything but 0
// (unused) or 255 (opaque, as writers of images without alpha store them).
bool HasAlphaByte(const BYTE* bits, const Layout& layout) {
    const BYTE first = bits[3];
    if (first != 0 && first != 255) return true;
    for (std::uint64_t row = 0; row < layout.rows; ++row) {
        const BYTE* pixel = bits + row * layout.sourceStride;
        for (std::int64_t x = 0; x < layout.width; ++x, pixel += 4)
            if (pixel[3] != first) return true;
    }
    return false;
}

HRESULT BuildPalette(const BYTE* bytes, const Layout& layout, DecodedImage& image) {
    auto* palette = static_cast<PALETTEENTRY*>(std::malloc(kPaletteEntries * sizeof(PALETTEENTRY)));
    if (palette == nullptr) return E_OUTOFMEMORY;
    image.palette = palette;
    image.ownsPalette = TRUE;
    // A table may claim more entries than a palette holds; the surplus is
    // skipped (bitsOffset already lies behind the whole table).
    const UINT fromFile = layout.colours < kPaletteEntries ? static_cast<UINT>(layout.colours) : kPaletteEntries;
    const BYTE* entry = bytes + layout.headerSize;
    for (UINT i = 0; i < kPaletteEntries; ++i, entry += layout.entrySize) {
        if (i < fromFile) palette[i] = PALETTEENTRY{entry[2], entry[1], entry[0], 255};
        else palette[i] = PALETTEENTRY{255, 255, 255, 255};
    }
    return S_OK;
}

// Row `fileRow` of the file (0 = first stored) in the output block.
BYTE* OutputRow(BYTE* pixels, const Layout& layout, std::uint64_t fileRow) {
    const std::uint64_t memoryRow = layout.TopDown() ? fileRow : layout.rows - 1 - fileRow;
    return pixels + memoryRow * layout.rowPitch;
}

void ExpandIndices(const BYTE* source, WORD bitCount, std::uint64_t width, BYTE* out) {
    const UINT perByte = 8u / bitCount;
    const BYTE mask = static_cast<BYTE>((1u << bitCount) - 1);
    for (std::uint64_t x = 0; x < width; ++x) {
        const UINT shift = 8u - bitCount * (static_cast<UINT>(x % perByte) + 1);
        out[x] = static_cast<BYTE>((source[x / perByte] >> shift) & mask);
    }
}

// Bytes of a row copied as they are: all but the missing end of a cut last
// pixel (whose unused byte is then 0).
std::uint64_t CopiedBytes(const Layout& layout, std::uint64_t fileRow) {
    return layout.lastPixelCut && fileRow == layout.rows - 1 ? layout.outputRowBytes - layout.pixelShift
                                                             : layout.outputRowBytes;
}

// Large images in bands of rows over the cores.
void DecodeRows(const BYTE* bits, const Layout& layout, BYTE* pixels) {
    const UINT width = static_cast<UINT>(layout.width);
    ForEachRowBand(static_cast<UINT>(layout.rows), BandRowsMin(width), [&](UINT first, UINT last) {
        for (std::uint64_t row = first; row < last; ++row) {
            const BYTE* source = bits + row * layout.sourceStride;
            BYTE* out = OutputRow(pixels, layout, row);
            if (layout.bitCount < 8) ExpandIndices(source, layout.bitCount, width, out);
            else if (layout.format == D3DFMT_A32B32G32R32F)
                ConvertMaskedRow(source, layout.bitCount, layout.masks, width, reinterpret_cast<float*>(out));
            else std::memcpy(out, source, CopiedBytes(layout, row));
            std::memset(out + CopiedBytes(layout, row), 0, layout.rowPitch - CopiedBytes(layout, row));
        }
    });
}

bool CanUseInPlace(const Layout& layout) {
    return !layout.IsRunLength() && layout.TopDown() && layout.bitCount >= 8 &&
           layout.format != D3DFMT_A32B32G32R32F && !layout.lastPixelCut;
}

// Reads the bitmap whose info header starts at `bytes`; `statedBitsOffset`
// is where a file header says the pixels are (see ParseLayout).
HRESULT ReadBitmap(DecodedImage& image, const BYTE* bytes, UINT byteCount, std::uint64_t statedBitsOffset) {
    Layout layout;
    const HRESULT parsed = ParseLayout(bytes, byteCount, statedBitsOffset, layout);
    if (FAILED(parsed)) return parsed;
    const BYTE* bits = bytes + layout.bitsOffset;
    if (layout.compression == kBiRgb && layout.format == D3DFMT_X8R8G8B8 && HasAlphaByte(bits, layout))
        layout.format = D3DFMT_A8R8G8B8;

    image.format = layout.format;
    image.rowPitch = static_cast<UINT>(layout.rowPitch);
    image.width = static_cast<UINT>(layout.width);
    image.height = static_cast<UINT>(layout.rows);
    image.depth = 1;
    image.slicePitch = 0;
    if (!image.decodePixels) return S_OK;

    if (image.format == D3DFMT_P8) {
        const HRESULT result = BuildPalette(bytes, layout, image);
        if (FAILED(result)) return result;
    }
    if (CanUseInPlace(layout)) {
        image.pixels = const_cast<BYTE*>(bits);
        return S_OK;
    }
    // Run-length data is decoded into a cleared block, so that pixels it
    // never reaches are index 0; plain rows overwrite every byte.
    const bool runLength = layout.IsRunLength();
    image.pixels = static_cast<BYTE*>(runLength ? std::calloc(layout.rows, layout.rowPitch)
                                                : std::malloc(layout.rows * layout.rowPitch));
    if (image.pixels == nullptr) return E_OUTOFMEMORY;
    image.ownsPixels = TRUE;
    if (runLength && !DecodeRunLength(bits, byteCount - layout.bitsOffset, layout, image.pixels))
        return Refuse("its run-length data ends early or moves outside the image");
    if (!runLength) DecodeRows(bits, layout, image.pixels);
    return S_OK;
}

}  // namespace

bool RecogniseBmp(const BYTE* bytes, UINT byteCount) {
    return byteCount >= kFileHeaderSize && ReadU16(bytes + file_field::kType) == kFileType;
}

// An info header of a size the reader knows, for one plane.
bool RecogniseDib(const BYTE* bytes, UINT byteCount) {
    if (byteCount < 4) return false;
    const DWORD size = ReadU32(bytes + info_field::kSize);
    if (size == kCoreHeaderSize) return byteCount >= kCoreHeaderSize && ReadU16(bytes + core_field::kPlanes) == 1;
    return size >= kInfoHeaderSize && size <= byteCount && ReadU16(bytes + info_field::kPlanes) == 1;
}

HRESULT ReadBmp(DecodedImage& image, const BYTE* bytes, UINT byteCount) {
    if (byteCount < kFileHeaderSize || ReadU16(bytes + file_field::kType) != kFileType)
        return Refuse("it has no file header");
    const DWORD fileSize = ReadU32(bytes + file_field::kFileSize);
    if (fileSize > byteCount)
        return Refuse("its file header gives " + std::to_string(fileSize) + " bytes where the file has " +
                      std::to_string(byteCount));
    // The file header counts from the start of the file, the info header from its own.
    const DWORD statedBitsOffset = ReadU32(bytes + file_field::kBitsOffset);
    return ReadBitmap(image, bytes + kFileHeaderSize, byteCount - kFileHeaderSize,
                      statedBitsOffset > kFileHeaderSize ? statedBitsOffset - kFileHeaderSize : 0);
}

HRESULT ReadDib(DecodedImage& image, const BYTE* bytes, UINT byteCount) { return ReadBitmap(image, bytes, byteCount, 0); }

}  // namespace quillmark::bmp
