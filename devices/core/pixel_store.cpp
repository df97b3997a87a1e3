#include "devices/core/pixel_store.h"

#include <cstring>

#include "pixel/pixel_format.h"

namespace quillmark::core {

namespace {

// Rows of a store start on 4-byte boundaries.
constexpr std::uint64_t kRowAlignment = 4;

// a * b, or the largest value where that does not fit.
std::uint64_t SaturatingProduct(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? ~std::uint64_t{0} : product;
}

}  // namespace

StoreExtent ExtentOf(D3DFORMAT format, std::uint32_t width, std::uint32_t height, std::uint32_t depth) {
    StoreExtent extent;
    if (!CanHold(format)) return extent;
    const PixelFormatInfo& info = LookupPixelFormat(format);
    extent.rowPitch = (info.RowBytes(width) + kRowAlignment - 1) & ~std::uint64_t{kRowAlignment - 1};
    extent.slicePitch = SaturatingProduct(extent.rowPitch, info.BlockRows(height));
    extent.bytes = SaturatingProduct(extent.slicePitch, depth);
    return extent;
}

PixelStore::PixelStore(D3DFORMAT fmt, std::uint32_t w, std::uint32_t h, std::uint32_t d)
    : format(fmt), layout(LayoutOf(fmt)), width(w), height(h), depth(d) {
    const StoreExtent extent = ExtentOf(fmt, w, h, d);
    rowPitch = std::uint32_t(extent.rowPitch);
    slicePitch = extent.slicePitch;
    bytes.assign(static_cast<std::size_t>(extent.bytes), 0);
}

std::uint8_t* PixelStore::BlockAt(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return bytes.data() + static_cast<std::size_t>(z) * slicePitch +
           static_cast<std::size_t>(y / layout.blockHeight) * rowPitch +
           static_cast<std::size_t>(x / layout.blockWidth) * layout.bytesPerBlock;
}

const std::uint8_t* PixelStore::BlockAt(std::uint32_t x, std::uint32_t y, std::uint32_t z) const {
    return const_cast<PixelStore*>(this)->BlockAt(x, y, z);
}

std::uint32_t PixelStore::RowBytes(std::uint32_t pixels) const {
    return static_cast<std::uint32_t>(LookupPixelFormat(format).RowBytes(pixels));
}

static bool IsValidSpan(std::uint32_t begin, std::uint32_t end, std::uint32_t size, std::uint32_t block) {
    if (begin >= end || end > size) return false;
    return begin % block == 0 && (end % block == 0 || end == size);
}

bool IsValidBox(const PixelStore& store, const PixelBox& box) {
    return IsValidSpan(box.left, box.right, store.width, store.layout.blockWidth) &&
           IsValidSpan(box.top, box.bottom, store.height, store.layout.blockHeight) &&
           IsValidSpan(box.front, box.back, store.depth, 1);
}

PixelBox WholeBox(const PixelStore& store) { return {0, 0, store.width, store.height, 0, store.depth}; }

void CopyBlocks(const PixelStore& from, const PixelBox& box, PixelStore& to, std::uint32_t x, std::uint32_t y,
                std::uint32_t z) {
    const std::uint32_t rowBytes = from.RowBytes(box.right - box.left);
    const std::uint32_t blockHeight = from.layout.blockHeight;
    for (std::uint32_t slice = 0; slice < box.back - box.front; ++slice) {
        for (std::uint32_t row = 0; row < box.bottom - box.top; row += blockHeight) {
            std::memcpy(to.BlockAt(x, y + row, z + slice), from.BlockAt(box.left, box.top + row, box.front + slice),
                        rowBytes);
        }
    }
}

}  // namespace quillmark::core
