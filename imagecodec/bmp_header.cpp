// Reading and checking a bitmap's info header (core and info versions).
#include "imagecodec/bmp_layout.h"
#include "imagecodec/image_limits.h"

#include <climits>

namespace quillmark::bmp {
namespace {

bool ReadHeaderFields(const BYTE* bytes, Layout& layout, WORD& planes, DWORD& clrUsed) {
    if (layout.headerSize == kCoreHeaderSize) {
        layout.width = static_cast<std::int16_t>(ReadU16(bytes + core_field::kWidth));
        layout.height = static_cast<std::int16_t>(ReadU16(bytes + core_field::kHeight));
        planes = ReadU16(bytes + core_field::kPlanes);
        layout.bitCount = ReadU16(bytes + core_field::kBitCount);
        layout.compression = kBiRgb;
        clrUsed = 0;
        layout.entrySize = 3;
        return true;
    }
    if (layout.headerSize < kInfoHeaderSize) return false;
    layout.width = static_cast<std::int32_t>(ReadU32(bytes + info_field::kWidth));
    layout.height = static_cast<std::int32_t>(ReadU32(bytes + info_field::kHeight));
    planes = ReadU16(bytes + info_field::kPlanes);
    layout.bitCount = ReadU16(bytes + info_field::kBitCount);
    layout.compression = ReadU32(bytes + info_field::kCompression);
    clrUsed = ReadU32(bytes + info_field::kColoursUsed);
    layout.entrySize = 4;
    return true;
}

// Bytes between the info header and the colour table: the masks that follow
// a plain info header with bit fields.
std::uint64_t TrailingMaskBytes(const Layout& layout) {
    return layout.compression == kBiBitfields && layout.headerSize == kInfoHeaderSize ? kTrailingMasksSize : 0;
}

bool IsPaletteBitCount(WORD bitCount) { return bitCount == 1 || bitCount == 4 || bitCount == 8; }

bool ChooseRgbFormat(Layout& layout) {
    if (IsPaletteBitCount(layout.bitCount)) {
        layout.format = D3DFMT_P8;
        return true;
    }
    for (const RgbFormat& row : kRgbFormats) {
        if (row.bitCount == layout.bitCount) {
            layout.format = row.format;
            return true;
        }
    }
    return false;
}

bool ChooseFormat(const BYTE* bytes, Layout& layout) {
    layout.masks = {};
    if (layout.compression == kBiRgb) return ChooseRgbFormat(layout);
    if (layout.IsRunLength()) {
        // Run-length data holds one palette index per pixel; with more bits
        // per pixel its bytes would mean nothing in the format chosen.
        if (!IsPaletteBitCount(layout.bitCount)) return false;
        layout.format = D3DFMT_P8;
        return true;
    }
    if (layout.compression != kBiBitfields) return false;
    if (layout.headerSize != kInfoHeaderSize && layout.headerSize < kHeaderWithMasks) return false;
    if (layout.bitCount != 16 && layout.bitCount != 24 && layout.bitCount != 32) return false;
    layout.masks.red = ReadU32(bytes + info_field::kRedMask);
    layout.masks.green = ReadU32(bytes + info_field::kGreenMask);
    layout.masks.blue = ReadU32(bytes + info_field::kBlueMask);
    layout.masks.alpha = layout.headerSize >= kHeaderWithAlphaMask ? ReadU32(bytes + info_field::kAlphaMask) : 0;
    UINT offsetShift = 0;
    layout.format = FormatFromMasks(layout.bitCount, layout.masks, offsetShift);
    layout.bitsOffset += offsetShift;
    return true;
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

bool DataReachesLastRow(const Layout& layout, UINT byteCount) {
    if (layout.IsRunLength()) return true;
    const std::uint64_t end = layout.bitsOffset + (layout.rows - 1) * layout.sourceStride + layout.sourceRowBytes;
    return end <= byteCount;
}

}  // namespace

bool ParseLayout(const BYTE* bytes, UINT byteCount, std::uint64_t statedBitsOffset, Layout& layout) {
    layout = {};
    if (byteCount < 4) return false;
    layout.headerSize = ReadU32(bytes + info_field::kSize);
    if (layout.headerSize > byteCount) return false;
    WORD planes = 0;
    DWORD clrUsed = 0;
    if (!ReadHeaderFields(bytes, layout, planes, clrUsed)) return false;
    if (layout.width <= 0 || layout.height == 0 || layout.height == INT_MIN) return false;
    layout.rows = static_cast<std::uint64_t>(layout.height < 0 ? -layout.height : layout.height);
    if (!IsSaneImageSize(static_cast<std::uint64_t>(layout.width), layout.rows)) return false;

    layout.colours = clrUsed;
    if (layout.bitCount <= 8 && clrUsed == 0) layout.colours = std::uint64_t{1} << layout.bitCount;
    layout.bitsOffset = layout.headerSize + TrailingMaskBytes(layout) + layout.colours * layout.entrySize;
    if (layout.bitsOffset > byteCount || planes != 1) return false;
    if (statedBitsOffset > layout.bitsOffset && statedBitsOffset < byteCount) layout.bitsOffset = statedBitsOffset;
    if (!ChooseFormat(bytes, layout)) return false;

    ComputeRowSizes(layout);
    if (layout.rowPitch * layout.rows > kMaxImageBytes) return false;
    return DataReachesLastRow(layout, byteCount);
}

}  // namespace quillmark::bmp
