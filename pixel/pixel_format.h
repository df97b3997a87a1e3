// The constant table of every pixel format the library knows: its kind, its
// storage size and the width of each channel, plus the kind-compatibility
// table used when looking for a substitute format and the channel ranges of
// decoded values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/d3d9/d3d9types.h"

namespace quillmark {

enum PixelKind : std::uint32_t {
    PIXEL_KIND_RGB = 0,
    PIXEL_KIND_PALETTIZED = 1,
    PIXEL_KIND_LUMINANCE = 2,
    PIXEL_KIND_SIGNED = 3,
    PIXEL_KIND_DEPTH = 4,
};

constexpr std::size_t PIXEL_KIND_COUNT = 5;

// How pixels are grouped in memory: one by one, in pairs that share their
// chroma (UYVY, YUY2, R8G8_B8G8, G8R8_G8B8), or in compressed 4 × 4 blocks
// (DXT1 to DXT5).
enum PixelBlock : std::uint32_t {
    PIXEL_BLOCK_SINGLE = 0,
    PIXEL_BLOCK_PAIR = 1,
    PIXEL_BLOCK_COMPRESSED = 2,
};

// The interval in which a codec's decoded values live (R, G, B / A).
enum ChannelRange : std::uint32_t {
    RANGE_UNSIGNED = 1,    // [0, 1] / [0, 1]
    RANGE_SIGNED_RGB = 2,  // [-1, 1] / [0, 1]
    RANGE_SIGNED = 3,      // [-1, 1] / [-1, 1]
    RANGE_FLOAT = 4,       // unbounded
};

// Library-private formats for images whose files carry 16 bits per channel;
// they never reach the device.
constexpr D3DFORMAT FORMAT_AL16 = static_cast<D3DFORMAT>(MAKEFOURCC('A', 'L', '1', '6'));
constexpr D3DFORMAT FORMAT_R16 = static_cast<D3DFORMAT>(MAKEFOURCC(' ', 'R', '1', '6'));

// One row of the format table. For signed formats the four channel columns
// are Q, W, V, U; for depth formats greenBits is the stencil width and
// blueBits the depth width, and extraBits 1 means lockable. A block is the
// smallest group of pixels addressable in memory: blockWidth × blockHeight
// pixels in blockBytes bytes (1 × 1 for single pixels).
struct PixelFormatInfo {
    std::uint32_t format;
    std::uint32_t kind;
    std::uint32_t bitsPerPixel;
    std::uint32_t extraBits;
    std::uint32_t alphaBits;
    std::uint32_t redBits;
    std::uint32_t greenBits;
    std::uint32_t blueBits;
    std::uint32_t substitutable;
    std::uint32_t block;
    std::uint32_t blockWidth;
    std::uint32_t blockHeight;
    std::uint32_t blockBytes;

    bool IsBlockCompressed() const { return block == PIXEL_BLOCK_COMPRESSED; }
    // Blocks across `width` pixels, bytes of a row of `width` pixels and rows
    // of blocks that `height` pixels take: whole blocks, the last one cut by
    // the surface's edge.
    constexpr std::uint64_t BlockColumns(std::uint64_t width) const { return (width + blockWidth - 1) / blockWidth; }
    constexpr std::uint64_t RowBytes(std::uint64_t width) const { return BlockColumns(width) * blockBytes; }
    constexpr std::uint64_t BlockRows(std::uint64_t height) const { return (height + blockHeight - 1) / blockHeight; }
    bool IsPixelPair() const { return block == PIXEL_BLOCK_PAIR; }
};

constexpr std::size_t PIXEL_FORMAT_COUNT = 57;

// In table order: the order decides ties in closest-format searches.
extern const PixelFormatInfo PixelFormatTable[PIXEL_FORMAT_COUNT];

// Returned for any id the table lacks: 32-bit RGB with 8 bits per channel.
extern const PixelFormatInfo UnknownPixelFormat;

// KindCompatibility[wanted][candidate] is 1 when a candidate of that kind may
// stand in for a wanted format of the other.
extern const std::uint32_t KindCompatibility[PIXEL_KIND_COUNT][PIXEL_KIND_COUNT];

// The first table row for the id, else UnknownPixelFormat. Never fails.
const PixelFormatInfo& LookupPixelFormat(std::uint32_t format);

}  // namespace quillmark
