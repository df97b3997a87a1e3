// Writing a DecodedImage as a bitmap, with (Bmp) or without (Dib) the file
// header. Rows are stored bottom-up with the header chosen by the format.
#include "bmp_layout.h"
#include "decoded_image.h"
#include "image_codec.h"
#include "image_limits.h"
#include "image_output.h"

#include <array>
#include <climits>

namespace quillmark {
namespace {

using bmp::Masks;

constexpr UINT kHeaderBlockSize = 108;
constexpr UINT kPaletteBytes = 1024;
constexpr LONG kPixelsPerMetre = 2834;

enum class PaletteKind { None, Image, GreyRamp, ThreeThreeTwo };

struct WriterFormat {
    D3DFORMAT format;
    DWORD headerSize;
    DWORD compression;
    WORD bitCount;
    Masks masks;
    PaletteKind palette;
};

constexpr WriterFormat kWriterFormats[] = {
    {D3DFMT_R8G8B8, 40, bmp::kBiRgb, 24, {}, PaletteKind::None},
    {D3DFMT_A8R8G8B8, 40, bmp::kBiRgb, 32, {}, PaletteKind::None},
    {D3DFMT_X8R8G8B8, 40, bmp::kBiRgb, 32, {}, PaletteKind::None},
    {D3DFMT_X1R5G5B5, 40, bmp::kBiRgb, 16, {}, PaletteKind::None},
    {D3DFMT_R5G6B5, 52, bmp::kBiBitfields, 16, {0xF800, 0x7E0, 0x1F, 0}, PaletteKind::None},
    {D3DFMT_A1R5G5B5, 56, bmp::kBiBitfields, 16, {0x7C00, 0x3E0, 0x1F, 0x8000}, PaletteKind::None},
    {D3DFMT_A4R4G4B4, 56, bmp::kBiBitfields, 16, {0xF00, 0xF0, 0xF, 0xF000}, PaletteKind::None},
    {D3DFMT_X4R4G4B4, 52, bmp::kBiBitfields, 16, {0xF00, 0xF0, 0xF, 0}, PaletteKind::None},
    {D3DFMT_A8R3G3B2, 56, bmp::kBiBitfields, 16, {0xE0, 0x1C, 0x3, 0xFF00}, PaletteKind::None},
    {D3DFMT_A8L8, 56, bmp::kBiBitfields, 16, {0xFF, 0xFF, 0xFF, 0xFF00}, PaletteKind::None},
    {D3DFMT_L16, 52, bmp::kBiBitfields, 16, {0xFFFF, 0xFFFF, 0xFFFF, 0}, PaletteKind::None},
    {D3DFMT_A2B10G10R10, 56, bmp::kBiBitfields, 32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, PaletteKind::None},
    {D3DFMT_A2R10G10B10, 56, bmp::kBiBitfields, 32, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}, PaletteKind::None},
    {D3DFMT_A8B8G8R8, 56, bmp::kBiBitfields, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, PaletteKind::None},
    {D3DFMT_X8B8G8R8, 52, bmp::kBiBitfields, 32, {0xFF, 0xFF00, 0xFF0000, 0}, PaletteKind::None},
    {D3DFMT_G16R16, 52, bmp::kBiBitfields, 32, {0xFFFF, 0xFFFF0000, 0, 0}, PaletteKind::None},
    {D3DFMT_P8, 40, bmp::kBiRgb, 8, {}, PaletteKind::Image},
    {D3DFMT_L8, 40, bmp::kBiRgb, 8, {}, PaletteKind::GreyRamp},
    {D3DFMT_R3G3B2, 40, bmp::kBiRgb, 8, {}, PaletteKind::ThreeThreeTwo},
};

const WriterFormat* FindWriterFormat(D3DFORMAT format) {
    for (const WriterFormat& row : kWriterFormats)
        if (row.format == format) return &row;
    return nullptr;
}

void PutU16(BYTE* p, DWORD value) {
    p[0] = static_cast<BYTE>(value);
    p[1] = static_cast<BYTE>(value >> 8);
}

void PutU32(BYTE* p, DWORD value) {
    PutU16(p, value);
    PutU16(p + 2, value >> 16);
}

std::array<BYTE, kHeaderBlockSize> InfoHeader(const WriterFormat& f, UINT width, UINT height) {
    std::array<BYTE, kHeaderBlockSize> h{};
    PutU32(&h[0], f.headerSize);
    PutU32(&h[4], width);
    PutU32(&h[8], height);
    PutU16(&h[12], 1);
    PutU16(&h[14], f.bitCount);
    PutU32(&h[16], f.compression);
    PutU32(&h[24], kPixelsPerMetre);
    PutU32(&h[28], kPixelsPerMetre);
    PutU32(&h[40], f.masks.red);
    PutU32(&h[44], f.masks.green);
    PutU32(&h[48], f.masks.blue);
    PutU32(&h[52], f.masks.alpha);
    return h;
}

// Palette entries in file order: blue, green, red, 0.
std::array<BYTE, kPaletteBytes> FilePalette(PaletteKind kind, const PALETTEENTRY* imagePalette) {
    static constexpr BYTE kLevels8[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    static constexpr BYTE kLevels4[4] = {0, 85, 170, 255};
    std::array<BYTE, kPaletteBytes> table{};
    for (UINT j = 0; j < 256; ++j) {
        BYTE* e = &table[4 * j];
        if (kind == PaletteKind::Image) {
            e[0] = imagePalette[j].peBlue, e[1] = imagePalette[j].peGreen, e[2] = imagePalette[j].peRed;
        } else if (kind == PaletteKind::GreyRamp) {
            e[0] = e[1] = e[2] = static_cast<BYTE>(j);
        } else {
            e[0] = kLevels4[j & 3], e[1] = kLevels8[(j >> 2) & 7], e[2] = kLevels8[j >> 5];
        }
    }
    return table;
}

HRESULT WriteBitmap(const DecodedImage& image, ImageOutput& output, bool withFileHeader) {
    const UINT width = image.width;
    const UINT height = image.height;
    const WriterFormat* f = FindWriterFormat(image.format);
    if (f == nullptr || image.pixels == nullptr || width == 0 || height == 0) return E_FAIL;
    if (f->palette == PaletteKind::Image && image.palette == nullptr) return E_FAIL;
    if (width > INT_MAX || height > INT_MAX) return E_FAIL;

    const std::uint64_t bytesPerPixel = f->bitCount / 8u;
    const std::uint64_t rowBytes = std::uint64_t{width} * bytesPerPixel;
    const std::uint64_t stride = RoundUpTo4(rowBytes);
    const std::uint64_t paletteBytes = f->palette == PaletteKind::None ? 0 : kPaletteBytes;
    const std::uint64_t offBits = bmp::kFileHeaderSize + f->headerSize + paletteBytes;
    const std::uint64_t total = offBits + std::uint64_t{height} * stride;
    const std::uint64_t fileSize = RoundUpTo4(total);
    if (fileSize > 0xFFFFFFFFu || (height > 1 && rowBytes > image.rowPitch)) return E_FAIL;

    CheckedWriter out(output);
    if (withFileHeader) {
        BYTE fileHeader[bmp::kFileHeaderSize] = {};
        PutU16(fileHeader, bmp::kFileType);
        PutU32(fileHeader + 2, static_cast<DWORD>(fileSize));
        PutU32(fileHeader + 10, static_cast<DWORD>(offBits));
        out.Put(fileHeader, sizeof(fileHeader));
    }
    out.Put(InfoHeader(*f, width, height).data(), f->headerSize);
    if (paletteBytes != 0) out.Put(FilePalette(f->palette, image.palette).data(), kPaletteBytes);

    static constexpr BYTE kZeros[4] = {};
    const BYTE* first =
        image.pixels + std::uint64_t{image.box.Top} * image.rowPitch + std::uint64_t{image.box.Left} * bytesPerPixel;
    for (UINT row = height; row-- > 0 && out.Ok();) {
        out.Put(first + std::uint64_t{row} * image.rowPitch, static_cast<DWORD>(rowBytes));
        out.Put(kZeros, static_cast<DWORD>(stride - rowBytes));
    }
    out.Put(kZeros, static_cast<DWORD>(fileSize - total));
    return out.Ok() ? S_OK : E_FAIL;
}

// The formats a bitmap can be written in, in order of preference.
constexpr D3DFORMAT kBitmapFormats[] = {
    D3DFMT_P8,       D3DFMT_L8,       D3DFMT_R3G3B2,   D3DFMT_R8G8B8,      D3DFMT_X1R5G5B5,
    D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5,   D3DFMT_X4R4G4B4,    D3DFMT_A1R5G5B5,
    D3DFMT_A4R4G4B4, D3DFMT_L16,      D3DFMT_A8L8,     D3DFMT_A8R3G3B2,    D3DFMT_X8B8G8R8,
    D3DFMT_A8B8G8R8, D3DFMT_A2B10G10R10, D3DFMT_A2R10G10B10, D3DFMT_G16R16, D3DFMT_UNKNOWN,
};

constexpr const char* kBmpExtensions[] = {".bmp", nullptr};
constexpr const char* kDibExtensions[] = {".dib", nullptr};

}  // namespace

HRESULT DecodedImage::WriteBmp(ImageOutput& output) const { return WriteBitmap(*this, output, true); }

HRESULT DecodedImage::WriteDib(ImageOutput& output) const { return WriteBitmap(*this, output, false); }

extern const ImageCodec kBmpCodec = {ImageFileFormat::Bmp, "BMP", kBmpExtensions, &DecodedImage::ReadBmp,
                                     &DecodedImage::WriteBmp, kBitmapFormats};
extern const ImageCodec kDibCodec = {ImageFileFormat::Dib, "DIB", kDibExtensions, &DecodedImage::ReadDib,
                                     &DecodedImage::WriteDib, kBitmapFormats};

}  // namespace quillmark
