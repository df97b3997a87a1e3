// The memory behind one surface or volume: whole blocks of the format, rows
// `rowPitch` bytes apart and slices `slicePitch` bytes apart.
#pragma once

#include <cstdint>
#include <vector>

#include "devices/core/device_formats.h"

namespace quillmark::core {

// What a store of a format and size takes, in 64 bits (a row may be wider
// than 4 GiB): rows of whole blocks, as the pixel-format table counts them,
// 4-byte aligned; nothing for a format the device cannot hold.
struct StoreExtent {
    std::uint64_t rowPitch = 0;
    std::uint64_t slicePitch = 0;
    std::uint64_t bytes = 0;
};
StoreExtent ExtentOf(D3DFORMAT format, std::uint32_t width, std::uint32_t height, std::uint32_t depth);

// A lock hands out its pitches as ints: a store whose row (or, for volumes,
// slice) pitch exceeds this cannot be addressed.
inline constexpr std::uint64_t kMaxPitch = 0x7FFFFFFF;

// The memory of a store, whose pitches the device has checked against
// kMaxPitch before creating it.
struct PixelStore {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    FormatLayout layout;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t depth = 1;
    std::uint32_t rowPitch = 0;
    std::uint64_t slicePitch = 0;
    std::vector<std::uint8_t> bytes;

    PixelStore() = default;
    // Throws std::bad_alloc when the memory cannot be had.
    PixelStore(D3DFORMAT format, std::uint32_t width, std::uint32_t height, std::uint32_t depth);

    // The byte of the block holding pixel (x, y) of slice z.
    std::uint8_t* BlockAt(std::uint32_t x, std::uint32_t y, std::uint32_t z = 0);
    const std::uint8_t* BlockAt(std::uint32_t x, std::uint32_t y, std::uint32_t z = 0) const;
    // Bytes of whole blocks covering `pixels` pixels of a row.
    std::uint32_t RowBytes(std::uint32_t pixels) const;
};

// A lock or copy region, in pixels; right, bottom and back are exclusive.
struct PixelBox {
    std::uint32_t left, top, right, bottom, front = 0, back = 1;
};

// True when the box lies inside the store and on block boundaries (an edge
// may also end at the store's edge inside a block).
bool IsValidBox(const PixelStore& store, const PixelBox& box);
PixelBox WholeBox(const PixelStore& store);
// Copies the box of `from` to `to` at (x, y, z); same format required.
void CopyBlocks(const PixelStore& from, const PixelBox& box, PixelStore& to, std::uint32_t x, std::uint32_t y,
                std::uint32_t z);

}  // namespace quillmark::core
