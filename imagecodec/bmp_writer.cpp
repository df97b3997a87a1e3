// Writing a DecodedImage as a bitmap, with (Bmp) or without (Dib) the file
// header. Rows are stored bottom-up with the header chosen by the format.
#include "imagecodec/bmp_layout.h"
#include "imagecodec/decoded_image.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/image_limits.h"
#include "imagecodec/image_output.h"
#include "pixel/pixel_format.h"

#include <array>
#include <climits>
#include <cstring>
#include <vector>

namespace quillmark {
namespace {

using bmp::Masks;
using bmp::PutU16;
using bmp::PutU32;
namespace field = bmp::info_field;

constexpr UINT kPaletteBytes = 1024;
constexpr LONG kPixelsPerMetre = 2834;
constexpr WORD kPaletteBitCount = 8;

enum class PaletteKind { None, Image, GreyRamp, ThreeThreeTwo };

// The 8-bit formats written with a colour table, and where its entries come from.
struct PaletteFormat {
    D3DFORMAT format;
    PaletteKind palette;
};

constexpr PaletteFormat kPaletteFormats[] = {
    {D3DFMT_P8, PaletteKind::Image},
    {D3DFMT_L8, PaletteKind::GreyRamp},
    {D3DFMT_R3G3B2, PaletteKind::ThreeThreeTwo},
};

struct WriterFormat {
    DWORD headerSize = bmp::kInfoHeaderSize;
    DWORD compression = bmp::kBiRgb;
    WORD bitCount = 0;
    Masks masks = {};
    PaletteKind palette = PaletteKind::None;
};

// How `format` is written: with a colour table, as uncompressed pixels, or as
// bit fields in a version-4 header (the shorter headers with masks are not
// read by every reader). False when no
// bitmap layout stores it.
bool FindWriterFormat(D3DFORMAT format, WriterFormat& f) {
    f = {};
    for (const PaletteFormat& row : kPaletteFormats) {
        if (row.format != format) continue;
        f.bitCount = kPaletteBitCount;
        f.palette = row.palette;
        return true;
    }
    for (const bmp::RgbFormat& row : bmp::kRgbFormats) {
        if (row.format != format) continue;
        f.bitCount = row.bitCount;
        return true;
    }
    const bmp::MaskFormat* masked = bmp::FindMaskFormat(format);
    if (masked == nullptr) return false;
    f.compression = bmp::kBiBitfields;
    f.bitCount = masked->bitCount;
    f.masks = masked->masks;
    f.headerSize = bmp::kV4HeaderSize;
    return true;
}

std::array<BYTE, bmp::kV4HeaderSize> InfoHeader(const WriterFormat& f, UINT width, UINT height) {
    std::array<BYTE, bmp::kV4HeaderSize> h{};
    PutU32(&h[field::kSize], f.headerSize);
    PutU32(&h[field::kWidth], width);
    PutU32(&h[field::kHeight], height);
    PutU16(&h[field::kPlanes], 1);
    PutU16(&h[field::kBitCount], f.bitCount);
    PutU32(&h[field::kCompression], f.compression);
    PutU32(&h[field::kXPixelsPerMetre], kPixelsPerMetre);
    PutU32(&h[field::kYPixelsPerMetre], kPixelsPerMetre);
    PutU32(&h[field::kRedMask], f.masks.red);
    PutU32(&h[field::kGreenMask], f.masks.green);
    PutU32(&h[field::kBlueMask], f.masks.blue);
    PutU32(&h[field::kAlphaMask], f.masks.alpha);
    PutU32(&h[field::kColourSpace], bmp::kColourSpaceSrgb);
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

// 32-bit formats with an unused top byte (X8R8G8B8, X8B8G8R8), whatever a
// surface holds there: other readers take that byte for alpha. In a .bmp file
// 255 reads as opaque everywhere; a headerless DIB is read by ImageMagick
// with the byte as opacity (255 transparent), and an all-zero byte is taken
// as "no alpha" by the readers that look at it, so a DIB gets 0.
bool HasUnusedTopByte(D3DFORMAT format) {
    const PixelFormatInfo& info = LookupPixelFormat(format);
    return info.bitsPerPixel == 32 && info.alphaBits + info.redBits + info.greenBits + info.blueBits == 24;
}

constexpr BYTE kUnusedByteInBmp = 255;
constexpr BYTE kUnusedByteInDib = 0;

// Copies a row of 32-bit pixels with their top bytes set to `value`.
void CopyWithTopBytes(const BYTE* row, std::size_t rowBytes, BYTE value, BYTE* out) {
    constexpr std::size_t kTopByte = 3;
    std::memcpy(out, row, rowBytes);
    for (std::size_t i = kTopByte; i < rowBytes; i += 4) out[i] = value;
}

HRESULT WriteBitmap(const DecodedImage& image, ImageOutput& output, bool withFileHeader) {
    const UINT width = image.width;
    const UINT height = image.height;
    WriterFormat f;
    if (!FindWriterFormat(image.format, f) || image.pixels == nullptr || width == 0 || height == 0) return E_FAIL;
    if (f.palette == PaletteKind::Image && image.palette == nullptr) return E_FAIL;
    if (width > INT_MAX || height > INT_MAX) return E_FAIL;

    const std::uint64_t bytesPerPixel = f.bitCount / 8u;
    const std::uint64_t rowBytes = std::uint64_t{width} * bytesPerPixel;
    const std::uint64_t stride = RoundUpTo4(rowBytes);
    const std::uint64_t paletteBytes = f.palette == PaletteKind::None ? 0 : kPaletteBytes;
    const std::uint64_t offBits = bmp::kFileHeaderSize + f.headerSize + paletteBytes;
    const std::uint64_t total = offBits + std::uint64_t{height} * stride;
    const std::uint64_t fileSize = RoundUpTo4(total);
    if (fileSize > 0xFFFFFFFFu || (height > 1 && rowBytes > image.rowPitch)) return E_FAIL;

    CheckedWriter out(output);
    if (withFileHeader) {
        BYTE fileHeader[bmp::kFileHeaderSize] = {};
        PutU16(fileHeader + bmp::file_field::kType, bmp::kFileType);
        PutU32(fileHeader + bmp::file_field::kFileSize, static_cast<DWORD>(fileSize));
        PutU32(fileHeader + bmp::file_field::kBitsOffset, static_cast<DWORD>(offBits));
        out.Put(fileHeader, sizeof(fileHeader));
    }
    out.Put(InfoHeader(f, width, height).data(), f.headerSize);
    if (paletteBytes != 0) out.Put(FilePalette(f.palette, image.palette).data(), kPaletteBytes);

    static constexpr BYTE kZeros[4] = {};
    const BYTE* first =
        image.pixels + std::uint64_t{image.box.Top} * image.rowPitch + std::uint64_t{image.box.Left} * bytesPerPixel;
    std::vector<BYTE> filledRow(HasUnusedTopByte(image.format) ? rowBytes : 0);
    const BYTE unusedByte = withFileHeader ? kUnusedByteInBmp : kUnusedByteInDib;
    for (UINT row = height; row-- > 0 && out.Ok();) {
        const BYTE* source = first + std::uint64_t{row} * image.rowPitch;
        if (!filledRow.empty()) {
            CopyWithTopBytes(source, rowBytes, unusedByte, filledRow.data());
            source = filledRow.data();
        }
        out.Put(source, static_cast<DWORD>(rowBytes));
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

HRESULT WriteBmp(const DecodedImage& image, ImageOutput& output) { return WriteBitmap(image, output, true); }

HRESULT WriteDib(const DecodedImage& image, ImageOutput& output) { return WriteBitmap(image, output, false); }

}  // namespace

extern const ImageCodec kBmpCodec = {ImageFileFormat::Bmp, "BMP",        kBmpExtensions, bmp::RecogniseBmp,
                                     bmp::ReadBmp,         WriteBmp,     kBitmapFormats};
extern const ImageCodec kDibCodec = {ImageFileFormat::Dib, "DIB",        kDibExtensions, bmp::RecogniseDib,
                                     bmp::ReadDib,         WriteDib,     kBitmapFormats};

}  // namespace quillmark
