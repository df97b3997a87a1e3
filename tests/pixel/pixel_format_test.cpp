#include "pixel_format.h"

#include <gtest/gtest.h>

#include <set>

namespace quillmark {
namespace {

TEST(PixelFormatTable, HasEveryFormatOnceInTableOrder) {
    std::set<std::uint32_t> seen;
    for (const PixelFormatInfo& row : PixelFormatTable) {
        EXPECT_TRUE(seen.insert(row.format).second) << row.format;
    }
    EXPECT_EQ(PixelFormatTable[0].format, D3DFMT_R8G8B8);
    EXPECT_EQ(PixelFormatTable[5].format, D3DFMT_A8P8);
    EXPECT_EQ(PixelFormatTable[40].format, D3DFMT_D16_LOCKABLE);
    EXPECT_EQ(PixelFormatTable[56].format, FORMAT_R16);
}

TEST(PixelFormatTable, PrivateFormatCodesMatchTheirCharacters) {
    EXPECT_EQ(static_cast<std::uint32_t>(FORMAT_AL16), 0x36314C41u);
    EXPECT_EQ(static_cast<std::uint32_t>(FORMAT_R16), 0x36315220u);
}

// Counted by hand from the format list: 36 rows may stand in for others and
// 9 are depth formats.
TEST(PixelFormatTable, SubstitutableAndDepthCounts) {
    int substitutable = 0;
    int depth = 0;
    for (const PixelFormatInfo& row : PixelFormatTable) {
        substitutable += static_cast<int>(row.substitutable);
        depth += row.kind == PIXEL_KIND_DEPTH ? 1 : 0;
    }
    EXPECT_EQ(substitutable, 36);
    EXPECT_EQ(depth, 9);
}

TEST(LookupPixelFormat, FindsRowsByFormat) {
    const PixelFormatInfo& r565 = LookupPixelFormat(D3DFMT_R5G6B5);
    EXPECT_EQ(r565.kind, PIXEL_KIND_RGB);
    EXPECT_EQ(r565.bitsPerPixel, 16u);
    EXPECT_EQ(r565.redBits, 5u);
    EXPECT_EQ(r565.greenBits, 6u);
    EXPECT_EQ(r565.blueBits, 5u);
    EXPECT_EQ(r565.substitutable, 1u);

    const PixelFormatInfo& l6 = LookupPixelFormat(D3DFMT_L6V5U5);
    EXPECT_EQ(l6.kind, PIXEL_KIND_SIGNED);
    EXPECT_EQ(l6.extraBits, 6u);

    const PixelFormatInfo& d24s8 = LookupPixelFormat(D3DFMT_D24S8);
    EXPECT_EQ(d24s8.kind, PIXEL_KIND_DEPTH);
    EXPECT_EQ(d24s8.greenBits, 8u);
    EXPECT_EQ(d24s8.blueBits, 24u);

    const PixelFormatInfo& f128 = LookupPixelFormat(D3DFMT_A32B32G32R32F);
    EXPECT_EQ(f128.bitsPerPixel, 128u);
    EXPECT_EQ(f128.substitutable, 0u);

    EXPECT_EQ(LookupPixelFormat(FORMAT_R16).bitsPerPixel, 48u);
    EXPECT_EQ(LookupPixelFormat(FORMAT_AL16).kind, PIXEL_KIND_LUMINANCE);
}

TEST(LookupPixelFormat, UnknownIdsGiveTheUnknownRow) {
    for (std::uint32_t id : {0u, static_cast<std::uint32_t>(MAKEFOURCC('A', 'B', 'C', 'D')),
                             static_cast<std::uint32_t>(D3DFMT_W11V11U10)}) {
        const PixelFormatInfo& row = LookupPixelFormat(id);
        EXPECT_EQ(&row, &UnknownPixelFormat);
        EXPECT_EQ(row.format, 0u);
        EXPECT_EQ(row.kind, PIXEL_KIND_RGB);
        EXPECT_EQ(row.bitsPerPixel, 32u);
        EXPECT_EQ(row.alphaBits, 8u);
        EXPECT_EQ(row.redBits, 8u);
        EXPECT_EQ(row.greenBits, 8u);
        EXPECT_EQ(row.blueBits, 8u);
        EXPECT_EQ(row.substitutable, 0u);
    }
}

TEST(KindCompatibility, RgbStandsInForPalettizedAndLuminanceOnly) {
    for (std::size_t wanted = 0; wanted < PIXEL_KIND_COUNT; ++wanted) {
        EXPECT_EQ(KindCompatibility[wanted][wanted], 1u);
    }
    EXPECT_EQ(KindCompatibility[PIXEL_KIND_PALETTIZED][PIXEL_KIND_RGB], 1u);
    EXPECT_EQ(KindCompatibility[PIXEL_KIND_LUMINANCE][PIXEL_KIND_RGB], 1u);
    EXPECT_EQ(KindCompatibility[PIXEL_KIND_RGB][PIXEL_KIND_LUMINANCE], 0u);
    EXPECT_EQ(KindCompatibility[PIXEL_KIND_SIGNED][PIXEL_KIND_RGB], 0u);
    EXPECT_EQ(KindCompatibility[PIXEL_KIND_DEPTH][PIXEL_KIND_RGB], 0u);
    int ones = 0;
    for (auto& row : KindCompatibility)
        for (std::uint32_t flag : row) ones += static_cast<int>(flag);
    EXPECT_EQ(ones, 7);
}

// Row sizes worked out by hand: whole 4 x 4 blocks of 8 or 16 bytes, whole
// pairs of 4 bytes, and for single pixels the bit count of the table.
TEST(PixelFormatTable, RowBytesAreWholeBlocks) {
    EXPECT_EQ(LookupPixelFormat(D3DFMT_DXT1).RowBytes(5), 16u);
    EXPECT_EQ(LookupPixelFormat(D3DFMT_DXT5).RowBytes(4), 16u);
    EXPECT_EQ(LookupPixelFormat(D3DFMT_DXT5).BlockRows(5), 2u);
    EXPECT_EQ(LookupPixelFormat(D3DFMT_YUY2).RowBytes(3), 8u);
    EXPECT_EQ(LookupPixelFormat(D3DFMT_YUY2).BlockRows(3), 3u);
    EXPECT_EQ(LookupPixelFormat(D3DFMT_R8G8B8).RowBytes(5), 15u);
    EXPECT_EQ(LookupPixelFormat(FORMAT_R16).RowBytes(3), 18u);
    for (const PixelFormatInfo& info : PixelFormatTable) {
        if (info.block == PIXEL_BLOCK_SINGLE) {
            EXPECT_EQ(info.RowBytes(7) * 8, 7u * info.bitsPerPixel) << info.format;
        }
    }
}

}  // namespace
}  // namespace quillmark
