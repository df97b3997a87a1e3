// Reading and checking a bitmap's info header (core and info versions).
#include "imagecodec/bmp_layout.h"
#include "imagecodec/image_limits.h"
#include "imagecodec/read_failure.h"

#include <climits>
#include <string>

namespace quillmark::bmp {
namespace {

HRESULT ReadHeaderFields(const BYTE* bytes, Layout& layout, WORD& planes, DWORD& clrUsed) {
    if (layout.headerSize == kCoreHeaderSize) {
        layout.width = static_cast<std::int16_t>(ReadU16(bytes + core_field::kWidth));
        layout.height = static_cast<std::int16_t>(ReadU16(bytes + core_field::kHeight));
        planes = ReadU16(bytes + core_field::kPlanes);
        layout.bitCount = ReadU16(bytes + core_field::kBitCount);
        layout.compression = kBiRgb;
        clrUsed = 0;
        layout.entrySize = 3;
        return S_OK;
    }
    if (layout.headerSize < kInfoHeaderSize)
        return Refuse("its info header size " + std::to_string(layout.headerSize) + " is none a bitmap has");
    layout.width = static_cast<std::int32_t>(ReadU32(bytes + info_field::kWidth));
    layout.height = static_cast<std::int32_t>(ReadU32(bytes + info_field::kHeight));
    planes = ReadU16(bytes + info_field::kPlanes);
    layout.bitCount = ReadU16(bytes + info_field::kBitCount);
    layout.compression = ReadU32(bytes + info_field::kCompression);
    clrUsed = ReadU32(bytes + info_field::kColoursUsed);
    layout.entrySize = 4;
    return S_OK;
}

// Bytes between the info header and the colour table: the masks that follow
// a plain info header with bit fields.
std::uint64_t TrailingMaskBytes(const Layout& layout) {
    return layout.compression == kBiBitfields && layout.headerSize == kInfoHeaderSize ? kTrailingMasksSize : 0;
}

bool IsPaletteBitCount(WORD bitCount) { return bitCount == 1 || bitCount == 4 || bitCount == 8; }

std::string BitCountText(const Layout& layout) { return std::to_string(layout.bitCount) + " bits per pixel"; }

HRESULT ChooseRgbFormat(Layout& layout) {
    if (IsPaletteBitCount(layout.bitCount)) {
        layout.format = D3DFMT_P8;
        return S_OK;
    }
    for (const RgbFormat& row : kRgbFormats) {
        if (row.bitCount == layout.bitCount) {
            layout.format = row.format;
            return S_OK;
        }
    }
    return Refuse("its uncompressed pixels have " + BitCountText(layout) +
                  ", not 1, 4, 8, 16, 24 or 32");
}

HRESULT ChooseFormat(const BYTE* bytes, Layout& layout) {
    layout.masks = {};
    if (layout.compression == kBiRgb) return ChooseRgbFormat(layout);
    if (layout.IsRunLength()) {
        // Run-length data holds one palette index per pixel; with more bits
        // per pixel its bytes would mean nothing in the format chosen.
        if (!IsPaletteBitCount(layout.bitCount))
            return Refuse("its run-length pixels have " + BitCountText(layout) + ", not 4 or 8");
        layout.format = D3DFMT_P8;
        return S_OK;
    }
    if (layout.compression != kBiBitfields)
        return Refuse("its compression " + std::to_string(layout.compression) + " is not one Quillmark reads");
    if (layout.headerSize != kInfoHeaderSize && layout.headerSize < kHeaderWithMasks)
        return Refuse("its info header of " + std::to_string(layout.headerSize) + " bytes has no room for bit-field masks");
    if (layout.bitCount != 16 && layout.bitCount != 24 && layout.bitCount != 32)
        return Refuse("its bit-field pixels have " + BitCountText(layout) + ", not 16, 24 or 32");
    layout.masks.red = ReadU32(bytes + info_field::kRedMask);
    layout.masks.green = ReadU32(bytes + info_field::kGreenMask);
    layout.masks.blue = ReadU32(bytes + info_field::kBlueMask);
    layout.masks.alpha = layout.headerSize >= kHeaderWithAlphaMask ? ReadU32(bytes + info_field::kAlphaMask) : 0;
    layout.format = FormatFromMasks(layout.bitCount, layout.masks, layout.pixelShift);
    layout.bitsOffset += layout.pixelShift;
    return S_OK;
}

void ComputeRowSizes(Layout& layout) {
    const std::uint64_t width = static_cast<std::uint64_t>(layout.width);
    if (layout.bitCount == 1) layout.sourceRowBytes = (width + 7) / 8;
    else if (layout.bitCount == 4) layout.sourceRowBytes = (width + 1) / 2;
    else layout.sourceRowBytes = (layout.bitCount / 8u) * width;
    layout.sourceStride = RoundUpTo4(layout.sourceRowBytes);
    if (layout.bitCount < 8 || layout.IsRunLength()) layout.outputRowBytes = width;
    else if (layout.format == D3DFMT_A32B32G32R32F) layout.outputRowBytes = 16 * width;
    else layout.outputRowBytes = layout.sourceRowBytes;
    layout.rowPitch = RoundUpTo4(layout.outputRowBytes);
}

// Checks that the pixel data reaches the end of the last row. Pixels read
// `pixelShift` bytes on take their last bytes from the next pixel: the file's
// last pixel may end without them (`lastPixelCut`).
HRESULT CheckDataReachesLastRow(Layout& layout, UINT byteCount) {
    if (layout.IsRunLength()) return S_OK;
    const std::uint64_t end = layout.bitsOffset + (layout.rows - 1) * layout.sourceStride + layout.sourceRowBytes;
    layout.lastPixelCut = end > byteCount;
    if (end - layout.pixelShift <= byteCount) return S_OK;
    return Refuse("its pixel data ends " + std::to_string(end - layout.pixelShift - byteCount) +
                  " bytes before the last row does");
}

}  // namespace

HRESULT ParseLayout(const BYTE* bytes, UINT byteCount, std::uint64_t statedBitsOffset, Layout& layout) {
    layout = {};
    if (byteCount < 4) return Refuse("it ends inside its info header");
    layout.headerSize = ReadU32(bytes + info_field::kSize);
    if (layout.headerSize > byteCount)
        return Refuse("its info header of " + std::to_string(layout.headerSize) + " bytes is longer than the file");
    WORD planes = 0;
    DWORD clrUsed = 0;
    const HRESULT fields = ReadHeaderFields(bytes, layout, planes, clrUsed);
    if (FAILED(fields)) return fields;
    if (layout.width <= 0 || layout.height == 0 || layout.height == INT_MIN)
        return Refuse("its width " + std::to_string(layout.width) + " or height " + std::to_string(layout.height) +
                      " is not a size an image can have");
    layout.rows = static_cast<std::uint64_t>(layout.height < 0 ? -layout.height : layout.height);
    if (!IsSaneImageSize(static_cast<std::uint64_t>(layout.width), layout.rows))
        return Refuse("its sizes are beyond what Quillmark reads");

    layout.colours = clrUsed;
    if (layout.bitCount <= 8 && clrUsed == 0) layout.colours = std::uint64_t{1} << layout.bitCount;
    layout.bitsOffset = layout.headerSize + TrailingMaskBytes(layout) + layout.colours * layout.entrySize;
    if (planes != 1) return Refuse("it has " + std::to_string(planes) + " planes, not 1");
    if (layout.bitsOffset > byteCount) return Refuse("it ends inside its colour table");
    if (statedBitsOffset > layout.bitsOffset && statedBitsOffset < byteCount) layout.bitsOffset = statedBitsOffset;
    const HRESULT format = ChooseFormat(bytes, layout);
    if (FAILED(format)) return format;

    ComputeRowSizes(layout);
    if (layout.rowPitch * layout.rows > kMaxImageBytes) return Refuse("its pixels are beyond what Quillmark reads");
    return CheckDataReachesLastRow(layout, byteCount);
}

}  // namespace quillmark::bmp
