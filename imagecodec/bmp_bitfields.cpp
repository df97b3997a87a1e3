// Bit-field bitmaps: matching the channel masks to a Direct3D format, and
// converting layouts no format matches into four floats per pixel.
#include "imagecodec/bmp_layout.h"

#include <bit>

namespace quillmark::bmp {
namespace {

constexpr MaskFormat kMaskFormats[] = {
    {16, {0xE0, 0x1C, 0x3, 0xFF00}, D3DFMT_A8R3G3B2, 0},
    {16, {0xF00, 0xF0, 0xF, 0xF000}, D3DFMT_A4R4G4B4, 0},
    {16, {0xF00, 0xF0, 0xF, 0}, D3DFMT_X4R4G4B4, 0},
    {16, {0xF800, 0x7E0, 0x1F, 0}, D3DFMT_R5G6B5, 0},
    {16, {0x7C00, 0x3E0, 0x1F, 0}, D3DFMT_X1R5G5B5, 0},
    {16, {0x7C00, 0x3E0, 0x1F, 0x8000}, D3DFMT_A1R5G5B5, 0},
    {16, {0xFF, 0xFF, 0xFF, 0xFF00}, D3DFMT_A8L8, 0},
    {16, {0xFFFF, 0xFFFF, 0xFFFF, 0}, D3DFMT_L16, 0},
    {24, {0xFF0000, 0xFF00, 0xFF, 0}, D3DFMT_R8G8B8, 0},
    {32, {0xFF0000, 0xFF00, 0xFF, 0}, D3DFMT_X8R8G8B8, 0},
    {32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, D3DFMT_A8R8G8B8, 0},
    {32, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}, D3DFMT_A2R10G10B10, 0},
    {32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, D3DFMT_A2B10G10R10, 0},
    {32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, D3DFMT_A8B8G8R8, 0},
    {32, {0xFF, 0xFF00, 0xFF0000, 0}, D3DFMT_X8B8G8R8, 0},
    {32, {0xFFFF, 0xFFFF0000, 0, 0}, D3DFMT_G16R16, 0},
    // The low byte carries nothing: read one byte later as X8R8G8B8.
    {32, {0xFF000000, 0xFF0000, 0xFF00, 0}, D3DFMT_X8R8G8B8, 1},
};

bool SameMasks(const Masks& a, const Masks& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha;
}

// One channel of the conversion: value >> shift, masked, times scale. A zero
// mask has no bits: it yields `absentValue` and is never shifted or divided.
struct Channel {
    DWORD shift = 0;
    DWORD mask = 0;
    float scale = 0.0f;
    float absentValue = 1.0f;

    Channel(DWORD fieldMask, float absent) : absentValue(absent) {
        if (fieldMask == 0) return;
        shift = static_cast<DWORD>(std::countr_zero(fieldMask));
        mask = fieldMask >> shift;
        scale = 1.0f / static_cast<float>(mask);
    }
    float operator()(DWORD value) const {
        return mask == 0 ? absentValue : static_cast<float>((value >> shift) & mask) * scale;
    }
};

DWORD ReadPixelValue(const BYTE* p, UINT bytesPerPixel) {
    DWORD value = 0;
    for (UINT i = 0; i < bytesPerPixel; ++i) value |= static_cast<DWORD>(p[i]) << (8 * i);
    return value;
}

}  // namespace

const MaskFormat* FindMaskFormat(D3DFORMAT format) {
    for (const MaskFormat& row : kMaskFormats)
        if (row.format == format && row.offsetShift == 0) return &row;
    return nullptr;
}

D3DFORMAT FormatFromMasks(WORD bitCount, const Masks& masks, UINT& offsetShift) {
    for (const MaskFormat& row : kMaskFormats) {
        if (row.bitCount == bitCount && SameMasks(row.masks, masks)) {
            offsetShift = row.offsetShift;
            return row.format;
        }
    }
    offsetShift = 0;
    return D3DFMT_A32B32G32R32F;
}

void ConvertMaskedRow(const BYTE* source, WORD bitCount, const Masks& masks, UINT width, float* out) {
    const bool noColour = masks.red == 0 && masks.green == 0 && masks.blue == 0;
    const float absentColour = noColour ? 0.0f : 1.0f;
    const Channel red(masks.red, absentColour), green(masks.green, absentColour);
    const Channel blue(masks.blue, absentColour), alpha(masks.alpha, 1.0f);
    const UINT bytesPerPixel = bitCount / 8u;
    for (UINT x = 0; x < width; ++x, source += bytesPerPixel, out += 4) {
        const DWORD value = ReadPixelValue(source, bytesPerPixel);
        out[0] = red(value);
        out[1] = green(value);
        out[2] = blue(value);
        out[3] = alpha(value);
    }
}

}  // namespace quillmark::bmp
