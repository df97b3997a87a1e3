// The pixel-format table against facts found elsewhere: the bits and bytes
// the row codecs store, the bytes the block encoders write, the depth
// formats of the device interface, and row sizes worked out by hand.
#include "pixel/pixel_format.h"

#include "pixel/block_functions.h"
#include "codec_test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <set>

namespace quillmark {
namespace {

// A stored area of a few pixels, twice: filled with 0x00 and with 0xff.
struct TwoFills {
    std::array<BYTE, 64> zeros{}, ones{};
    TwoFills() { ones.fill(0xff); }
    // Bytes up to the last one something wrote into (whatever it wrote,
    // it differs from at least one of the fills).
    std::size_t WrittenExtent() const {
        std::size_t extent = 0;
        for (std::size_t i = 0; i < zeros.size(); ++i)
            if (zeros[i] != 0x00 || ones[i] != 0xff) extent = i + 1;
        return extent;
    }
};

// The codec for a row of `width` pixels over `bytes`, or null when the
// format has none.
std::unique_ptr<RowCodec> CodecOver(BYTE* bytes, D3DFORMAT format, UINT width) {
    std::unique_ptr<RowCodec> codec;
    CreateRowCodec(testing::DescOver(bytes, format, width, 1, 64), codec);
    return codec;
}

// Set bits of one pixel holding `colour` (through a fresh codec, flushed).
int StoredBits(D3DFORMAT format, FloatColor colour) {
    std::array<BYTE, 16> pixel{};
    CodecOver(pixel.data(), format, 1)->EncodeRow(0, 0, &colour);
    int bits = 0;
    for (BYTE b : pixel) bits += std::popcount(b);
    return bits;
}

TEST(PixelFormatTable, HasEveryFormatOnce) {
    std::set<std::uint32_t> seen;
    for (const PixelFormatInfo& row : PixelFormatTable) EXPECT_TRUE(seen.insert(row.format).second) << row.format;
    EXPECT_EQ(static_cast<std::uint32_t>(FORMAT_AL16), static_cast<std::uint32_t>(MAKEFOURCC('A', 'L', '1', '6')));
    EXPECT_EQ(static_cast<std::uint32_t>(FORMAT_R16), static_cast<std::uint32_t>(MAKEFOURCC(' ', 'R', '1', '6')));
}

// Each integer RGB format's channel widths are the bits its codec sets for
// that channel alone at full value; every single-pixel format's size is the
// codec's pixel size.
TEST(PixelFormatTable, ChannelBitsAreWhatTheCodecsStore) {
    int checked = 0;
    for (const PixelFormatInfo& row : PixelFormatTable) {
        if (row.block != PIXEL_BLOCK_SINGLE) continue;
        const auto format = static_cast<D3DFORMAT>(row.format);
        std::array<BYTE, 16> pixel{};
        const std::unique_ptr<RowCodec> codec = CodecOver(pixel.data(), format, 1);
        if (codec == nullptr) continue;
        EXPECT_EQ(codec->BytesPerPixel() * 8, row.bitsPerPixel) << format;
        if (row.kind != PIXEL_KIND_RGB || codec->Range() == RANGE_FLOAT) continue;
        EXPECT_EQ(StoredBits(format, {1, 0, 0, 0}), static_cast<int>(row.redBits)) << format;
        EXPECT_EQ(StoredBits(format, {0, 1, 0, 0}), static_cast<int>(row.greenBits)) << format;
        EXPECT_EQ(StoredBits(format, {0, 0, 1, 0}), static_cast<int>(row.blueBits)) << format;
        EXPECT_EQ(StoredBits(format, {0, 0, 0, 1}), static_cast<int>(row.alphaBits)) << format;
        ++checked;
    }
    EXPECT_GE(checked, 15);
}

// A block's bytes are what the codecs write for one block: the DXT
// encoders for a 4 x 4 block, the pair codecs for a pair.
TEST(PixelFormatTable, BlockSizesAreWhatTheCodecsWrite) {
    for (const PixelFormatInfo& row : PixelFormatTable) {
        const auto format = static_cast<D3DFORMAT>(row.format);
        TwoFills stored;
        if (row.IsBlockCompressed()) {
            EXPECT_EQ(row.blockWidth * row.blockHeight, kBlockPixels) << format;
            const BlockFunctions functions = BlockFunctionsOf(format);
            ASSERT_NE(functions.encode, nullptr) << format;
            FloatColor grey[kBlockPixels];
            std::fill(std::begin(grey), std::end(grey), FloatColor{0.5f, 0.5f, 0.5f, 0.5f});
            functions.encode(grey, stored.zeros.data(), 1, false);
            functions.encode(grey, stored.ones.data(), 1, false);
        } else if (row.IsPixelPair()) {
            FloatColor grey[2] = {{0.5f, 0.5f, 0.5f, 1}, {0.5f, 0.5f, 0.5f, 1}};
            CodecOver(stored.zeros.data(), format, row.blockWidth)->EncodeRow(0, 0, grey);
            CodecOver(stored.ones.data(), format, row.blockWidth)->EncodeRow(0, 0, grey);
        } else {
            continue;
        }
        EXPECT_EQ(stored.WrittenExtent(), row.blockBytes) << format;
    }
}

// The depth kind marks exactly the depth-stencil formats of the device
// interface.
TEST(PixelFormatTable, DepthKindIsTheDepthFormats) {
    const std::set<std::uint32_t> depth = {D3DFMT_D16_LOCKABLE, D3DFMT_D32, D3DFMT_D15S1, D3DFMT_D24S8, D3DFMT_D24X8,
                                           D3DFMT_D24X4S4, D3DFMT_D16, D3DFMT_D32F_LOCKABLE, D3DFMT_D24FS8};
    for (const PixelFormatInfo& row : PixelFormatTable)
        EXPECT_EQ(row.kind == PIXEL_KIND_DEPTH, depth.count(row.format) == 1) << row.format;
}

TEST(LookupPixelFormat, UnknownIdsGiveTheUnknownRow) {
    for (std::uint32_t id : {0u, static_cast<std::uint32_t>(MAKEFOURCC('A', 'B', 'C', 'D')),
                             static_cast<std::uint32_t>(D3DFMT_W11V11U10)}) {
        const PixelFormatInfo& row = LookupPixelFormat(id);
        EXPECT_EQ(&row, &UnknownPixelFormat);
        EXPECT_EQ(row.format, 0u);
        EXPECT_EQ(row.kind, PIXEL_KIND_RGB);
        EXPECT_EQ(row.bitsPerPixel, 32u);
        EXPECT_EQ(row.alphaBits + row.redBits + row.greenBits + row.blueBits, 32u);
        EXPECT_EQ(row.substitutable, 0u);
    }
    for (const PixelFormatInfo& row : PixelFormatTable) EXPECT_EQ(&LookupPixelFormat(row.format), &row);
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
// pairs of 4 bytes, and single pixels of their size.
TEST(PixelFormatTable, RowBytesAreWholeBlocks) {
    EXPECT_EQ(LookupPixelFormat(D3DFMT_DXT1).RowBytes(5), 16u);
    EXPECT_EQ(LookupPixelFormat(D3DFMT_DXT5).RowBytes(4), 16u);
    EXPECT_EQ(LookupPixelFormat(D3DFMT_DXT5).BlockRows(5), 2u);
    EXPECT_EQ(LookupPixelFormat(D3DFMT_DXT5).BlockColumns(9), 3u);
    EXPECT_EQ(LookupPixelFormat(D3DFMT_YUY2).RowBytes(3), 8u);
    EXPECT_EQ(LookupPixelFormat(D3DFMT_YUY2).BlockRows(3), 3u);
    EXPECT_EQ(LookupPixelFormat(D3DFMT_R8G8B8).RowBytes(5), 15u);
    EXPECT_EQ(LookupPixelFormat(FORMAT_R16).RowBytes(3), 18u);
}

}  // namespace
}  // namespace quillmark
