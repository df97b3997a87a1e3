// The bitmap reader against hand-built files whose decoded pixels are worked
// out by hand.
#include "bmp_test_files.h"
#include "decoded_image.h"
#include "image_codec.h"

#include <gtest/gtest.h>

#include <cstring>

namespace quillmark {
namespace {

using testing::Bmp;
using testing::Bytes;
using testing::Dib;
using testing::DibSpec;

using testing::ReadBitmap;

const BYTE* Row(const DecodedImage& image, UINT y) { return image.pixels + y * image.rowPitch; }

TEST(BmpReader, OneBitTenWideExpandsToIndexBytesWithWhitePaletteTail) {
    DibSpec spec;
    spec.width = 10, spec.height = 2, spec.bitCount = 1;
    // Bottom-up: the first stored row is the image's bottom row.
    const Bytes bits = {0b10100000, 0b01000000, 0, 0, 0b11111111, 0b11000000, 0, 0};
    DecodedImage image;
    ASSERT_EQ(ReadBitmap(image, Bmp(Dib(spec, {0x000000, 0x102030}, bits))), S_OK);
    EXPECT_EQ(image.format, D3DFMT_P8);
    EXPECT_EQ(image.rowPitch, 12u);
    EXPECT_EQ(image.width, 10u);
    EXPECT_EQ(image.height, 2u);
    const BYTE top[10] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    const BYTE bottom[10] = {1, 0, 1, 0, 0, 0, 0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(Row(image, 0), top, 10), 0);
    EXPECT_EQ(std::memcmp(Row(image, 1), bottom, 10), 0);
    ASSERT_NE(image.palette, nullptr);
    EXPECT_EQ(image.palette[1].peRed, 0x10);
    EXPECT_EQ(image.palette[1].peGreen, 0x20);
    EXPECT_EQ(image.palette[1].peBlue, 0x30);
    EXPECT_EQ(image.palette[1].peFlags, 255);
    for (int i = 2; i < 256; ++i) {
        EXPECT_EQ(image.palette[i].peRed, 255);
        EXPECT_EQ(image.palette[i].peFlags, 255);
    }
}

TEST(BmpReader, FourBitAndCoreHeaderWithThreeByteEntries) {
    DibSpec spec;
    spec.headerSize = 12, spec.width = 3, spec.height = -1, spec.bitCount = 4;
    std::vector<std::uint32_t> colours(16, 0);
    colours[0xA] = 0x0000FF;  // blue 0xFF
    DecodedImage image;
    ASSERT_EQ(ReadBitmap(image, Dib(spec, colours, {0xA3, 0x70, 0, 0}), false), S_OK);
    EXPECT_EQ(image.format, D3DFMT_P8);
    EXPECT_EQ(image.rowPitch, 4u);
    const BYTE expected[3] = {0xA, 0x3, 0x7};
    EXPECT_EQ(std::memcmp(Row(image, 0), expected, 3), 0);
    EXPECT_EQ(image.palette[0xA].peBlue, 0xFF);
    EXPECT_EQ(image.palette[0xA].peRed, 0);
}

TEST(BmpReader, TopDown24BitIsUsedInPlaceAndBottomUpIsFlipped) {
    DibSpec spec;
    spec.width = 1, spec.height = -2;
    const Bytes bits = {1, 2, 3, 0, 4, 5, 6, 0};
    const Bytes topDown = Bmp(Dib(spec, {}, bits));
    DecodedImage image;
    ASSERT_EQ(ReadBitmap(image, topDown), S_OK);
    EXPECT_EQ(image.format, D3DFMT_R8G8B8);
    EXPECT_FALSE(image.ownsPixels);
    EXPECT_EQ(image.pixels, topDown.data() + 14 + 40);
    EXPECT_EQ(image.rowPitch, 4u);

    spec.height = 2;
    DecodedImage flipped;
    ASSERT_EQ(ReadBitmap(flipped, Bmp(Dib(spec, {}, bits))), S_OK);
    EXPECT_TRUE(flipped.ownsPixels);
    EXPECT_EQ(Row(flipped, 0)[0], 4);
    EXPECT_EQ(Row(flipped, 1)[0], 1);
}

TEST(BmpReader, LastRowNeedNotCarryItsPadding) {
    DibSpec spec;
    spec.width = 1, spec.height = 2;
    DecodedImage image;
    EXPECT_EQ(ReadBitmap(image, Bmp(Dib(spec, {}, {1, 2, 3, 0, 4, 5, 6}))), S_OK);
    DecodedImage shortOne;
    EXPECT_EQ(ReadBitmap(shortOne, Bmp(Dib(spec, {}, {1, 2, 3, 0, 4, 5}))), E_FAIL);
}

TEST(BmpReader, ThirtyTwoBitAlphaDetection) {
    DibSpec spec;
    spec.width = 2, spec.height = 2, spec.bitCount = 32;
    Bytes bits(16, 0x40);
    for (int i = 3; i < 16; i += 4) bits[i] = 0;
    DecodedImage opaque;
    ASSERT_EQ(ReadBitmap(opaque, Bmp(Dib(spec, {}, bits))), S_OK);
    EXPECT_EQ(opaque.format, D3DFMT_X8R8G8B8);
    bits[15] = 1;  // one fourth byte, in the last pixel
    DecodedImage alpha;
    ASSERT_EQ(ReadBitmap(alpha, Bmp(Dib(spec, {}, bits))), S_OK);
    EXPECT_EQ(alpha.format, D3DFMT_A8R8G8B8);
    // Fourth bytes all 255 are opaque too, as writers of images without
    // alpha store them; 255 beside 0 is alpha.
    for (int i = 3; i < 16; i += 4) bits[i] = 255;
    DecodedImage filled;
    ASSERT_EQ(ReadBitmap(filled, Bmp(Dib(spec, {}, bits))), S_OK);
    EXPECT_EQ(filled.format, D3DFMT_X8R8G8B8);
    bits[3] = 0;
    DecodedImage mixed;
    ASSERT_EQ(ReadBitmap(mixed, Bmp(Dib(spec, {}, bits))), S_OK);
    EXPECT_EQ(mixed.format, D3DFMT_A8R8G8B8);
}

TEST(BmpReader, SixteenBitRgbIsX1R5G5B5) {
    DibSpec spec;
    spec.bitCount = 16;
    DecodedImage image;
    ASSERT_EQ(ReadBitmap(image, Bmp(Dib(spec, {}, {0x1F, 0x7C, 0, 0}))), S_OK);
    EXPECT_EQ(image.format, D3DFMT_X1R5G5B5);
    EXPECT_EQ(image.pixels[0], 0x1F);
    EXPECT_EQ(image.pixels[1], 0x7C);
}

struct MaskCase {
    std::uint16_t bits;
    std::uint32_t r, g, b, a;
    D3DFORMAT format;
};

TEST(BmpReader, BitFieldMasksSelectTheirFormat) {
    const MaskCase cases[] = {
        {16, 0xE0, 0x1C, 0x3, 0xFF00, D3DFMT_A8R3G3B2},     {16, 0xF00, 0xF0, 0xF, 0xF000, D3DFMT_A4R4G4B4},
        {16, 0xF00, 0xF0, 0xF, 0, D3DFMT_X4R4G4B4},         {16, 0xF800, 0x7E0, 0x1F, 0, D3DFMT_R5G6B5},
        {16, 0x7C00, 0x3E0, 0x1F, 0, D3DFMT_X1R5G5B5},      {16, 0x7C00, 0x3E0, 0x1F, 0x8000, D3DFMT_A1R5G5B5},
        {16, 0xFF, 0xFF, 0xFF, 0xFF00, D3DFMT_A8L8},        {16, 0xFFFF, 0xFFFF, 0xFFFF, 0, D3DFMT_L16},
        {24, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_R8G8B8},     {32, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_X8R8G8B8},
        {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, D3DFMT_A8R8G8B8},
        {32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000, D3DFMT_A2R10G10B10},
        {32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000, D3DFMT_A2B10G10R10},
        {32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, D3DFMT_A8B8G8R8},
        {32, 0xFF, 0xFF00, 0xFF0000, 0, D3DFMT_X8B8G8R8},  {32, 0xFFFF, 0xFFFF0000, 0, 0, D3DFMT_G16R16},
        {16, 0x7C00, 0x3E0, 0x1F, 0x8001, D3DFMT_A32B32G32R32F},
    };
    for (const MaskCase& c : cases) {
        DibSpec spec;
        spec.headerSize = 56, spec.bitCount = c.bits, spec.compression = 3;
        spec.masks[0] = c.r, spec.masks[1] = c.g, spec.masks[2] = c.b, spec.masks[3] = c.a;
        DecodedImage image;
        ASSERT_EQ(ReadBitmap(image, Bmp(Dib(spec, {}, Bytes(4, 0)))), S_OK) << c.format;
        EXPECT_EQ(image.format, c.format);
    }
}

// A 40-byte header with BI_BITFIELDS: the three masks follow the header.
Bytes FortyByteBitFields(std::uint16_t bitCount, std::initializer_list<std::uint32_t> masks, const Bytes& bits) {
    DibSpec spec;
    spec.width = 2, spec.bitCount = bitCount, spec.compression = 3;
    Bytes dib = testing::InfoHeader(spec);
    for (std::uint32_t mask : masks) testing::Put32(dib, mask);
    dib.insert(dib.end(), bits.begin(), bits.end());
    return dib;
}

TEST(BmpReader, FortyByteHeaderWithBitFieldsTakesTheMasksAfterIt) {
    // Two R5G6B5 pixels, pure red and pure blue, then the row's padding.
    const Bytes rgb565 = FortyByteBitFields(16, {0xF800, 0x7E0, 0x1F}, {0x00, 0xF8, 0x1F, 0x00});
    // Two pixels whose low byte is unused (blue 0x11, green 0x22, red 0x33,
    // ...), read one byte on, plus a byte to reach.
    const Bytes shifted =
        FortyByteBitFields(32, {0xFF000000, 0xFF0000, 0xFF00}, {0, 0x11, 0x22, 0x33, 0, 0x44, 0x55, 0x66, 0});
    for (const bool viaBmp : {true, false}) {
        DecodedImage image;
        ASSERT_EQ(ReadBitmap(image, viaBmp ? Bmp(rgb565) : rgb565, viaBmp), S_OK) << viaBmp;
        EXPECT_EQ(image.format, D3DFMT_R5G6B5);
        EXPECT_EQ(image.pixels[1], 0xF8);
        EXPECT_EQ(image.pixels[2], 0x1F);
        DecodedImage wide;
        ASSERT_EQ(ReadBitmap(wide, viaBmp ? Bmp(shifted) : shifted, viaBmp), S_OK) << viaBmp;
        EXPECT_EQ(wide.format, D3DFMT_X8R8G8B8);
        EXPECT_EQ(wide.pixels[0], 0x11);
        EXPECT_EQ(wide.pixels[6], 0x66);
    }
    // The masks are part of the header: a file that ends inside them, or
    // whose pixels do not reach past them, is refused.
    DecodedImage cut;
    EXPECT_EQ(ReadBitmap(cut, Bytes(rgb565.begin(), rgb565.begin() + 48), false), E_FAIL);
    DecodedImage shortPixels;
    EXPECT_EQ(ReadBitmap(shortPixels, Bytes(rgb565.begin(), rgb565.end() - 2), false), E_FAIL);
    // Header sizes between the plain one and the one with masks stay refused.
    DibSpec between;
    between.headerSize = 44, between.bitCount = 16, between.compression = 3;
    DecodedImage odd;
    EXPECT_EQ(ReadBitmap(odd, Dib(between, {}, Bytes(16, 0)), false), E_FAIL);
}

TEST(BmpReader, NewerCompressionsAreRefused) {
    DibSpec spec;
    spec.bitCount = 16;
    for (std::uint32_t compression : {4u, 5u, 6u}) {
        spec.compression = compression;
        spec.headerSize = 56;
        DecodedImage other;
        EXPECT_EQ(ReadBitmap(other, Bmp(Dib(spec, {}, Bytes(4, 0)))), E_FAIL) << compression;
    }
}

TEST(BmpReader, MaskLayoutWithEmptyLowByteReadsAsX8R8G8B8OneByteOn) {
    DibSpec spec;
    spec.headerSize = 52, spec.bitCount = 32, spec.compression = 3, spec.height = -1;
    spec.masks[0] = 0xFF000000, spec.masks[1] = 0xFF0000, spec.masks[2] = 0xFF00;
    // One pixel: low byte unused, then blue, green, red; plus a byte to reach.
    const Bytes file = Dib(spec, {}, {0x00, 0x11, 0x22, 0x33, 0x00});
    DecodedImage image;
    ASSERT_EQ(ReadBitmap(image, file, false), S_OK);
    EXPECT_EQ(image.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(image.pixels, file.data() + 52 + 1);
    EXPECT_EQ(image.pixels[0], 0x11);  // blue
    EXPECT_EQ(image.pixels[2], 0x33);  // red
    DecodedImage cut;
    EXPECT_EQ(ReadBitmap(cut, Dib(spec, {}, {0x00, 0x11, 0x22, 0x33}), false), E_FAIL);
}

TEST(BmpReader, UnmatchedMasksBecomeFloats) {
    DibSpec spec;
    spec.headerSize = 56, spec.bitCount = 16, spec.compression = 3, spec.width = 2;
    spec.masks[0] = 0x7C00, spec.masks[1] = 0x3E0, spec.masks[2] = 0x1F, spec.masks[3] = 0x8001;
    // Pixel 0: red 31, green 0, blue 1 (low bit also in alpha) -> alpha 1/0x8001.
    // Pixel 1: 0x8000 -> alpha (0x8000 & 0x8001)/0x8001.
    DecodedImage image;
    ASSERT_EQ(ReadBitmap(image, Bmp(Dib(spec, {}, {0x01, 0x7C, 0x00, 0x80}))), S_OK);
    ASSERT_EQ(image.format, D3DFMT_A32B32G32R32F);
    EXPECT_EQ(image.rowPitch, 32u);
    const auto* f = reinterpret_cast<const float*>(image.pixels);
    EXPECT_FLOAT_EQ(f[0], 1.0f);
    EXPECT_FLOAT_EQ(f[1], 0.0f);
    EXPECT_FLOAT_EQ(f[2], 1.0f / 31.0f);
    EXPECT_FLOAT_EQ(f[3], 1.0f / 32769.0f);
    EXPECT_FLOAT_EQ(f[7], 32768.0f / 32769.0f);
}

TEST(BmpReader, ZeroMasksNeitherDivideNorShiftByThirtyTwo) {
    DibSpec spec;
    spec.headerSize = 56, spec.bitCount = 32, spec.compression = 3;
    spec.masks[0] = 0xFF, spec.masks[1] = 0, spec.masks[2] = 0xFF00, spec.masks[3] = 0x10000;
    DecodedImage some;
    ASSERT_EQ(ReadBitmap(some, Bmp(Dib(spec, {}, {0xFF, 0, 0, 0}))), S_OK);
    ASSERT_EQ(some.format, D3DFMT_A32B32G32R32F);
    const auto* f = reinterpret_cast<const float*>(some.pixels);
    EXPECT_FLOAT_EQ(f[0], 1.0f);
    EXPECT_FLOAT_EQ(f[1], 1.0f);  // an absent channel reads as full
    EXPECT_FLOAT_EQ(f[2], 0.0f);
    EXPECT_FLOAT_EQ(f[3], 0.0f);

    spec.masks[0] = spec.masks[1] = spec.masks[2] = 0, spec.masks[3] = 0;
    DecodedImage none;
    ASSERT_EQ(ReadBitmap(none, Bmp(Dib(spec, {}, {0xFF, 0xFF, 0xFF, 0xFF}))), S_OK);
    const auto* g = reinterpret_cast<const float*>(none.pixels);
    EXPECT_FLOAT_EQ(g[0], 0.0f);
    EXPECT_FLOAT_EQ(g[1], 0.0f);
    EXPECT_FLOAT_EQ(g[2], 0.0f);
    EXPECT_FLOAT_EQ(g[3], 1.0f);
}

TEST(BmpReader, HeaderFactsOnlyWithoutDecoding) {
    DibSpec spec;
    spec.width = 4, spec.height = 1, spec.bitCount = 8;
    DecodedImage image;
    ASSERT_EQ(ReadBitmap(image, Bmp(Dib(spec, std::vector<std::uint32_t>(256, 0), Bytes(4, 0))), true, FALSE), S_OK);
    EXPECT_EQ(image.format, D3DFMT_P8);
    EXPECT_EQ(image.width, 4u);
    EXPECT_EQ(image.rowPitch, 4u);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.palette, nullptr);
}

TEST(BmpReader, OversizedColourCountFillsOnly256EntriesAndSkipsTheWholeTable) {
    DibSpec spec;
    spec.bitCount = 8, spec.clrUsed = 300, spec.width = 1, spec.height = 1;
    std::vector<std::uint32_t> colours(300);
    for (std::uint32_t i = 0; i < 300; ++i) colours[i] = i & 0xFF;
    DecodedImage image;
    ASSERT_EQ(ReadBitmap(image, Bmp(Dib(spec, colours, {7, 0, 0, 0}))), S_OK);
    EXPECT_EQ(image.pixels[0], 7);  // taken after all 300 entries
    EXPECT_EQ(image.palette[255].peBlue, 255);

    spec.clrUsed = 0x40000000;  // 4 GiB of table: a 32-bit product would wrap to 0
    DecodedImage lying;
    EXPECT_EQ(ReadBitmap(lying, Bmp(Dib(spec, {}, Bytes(2048, 0)))), E_FAIL);
}

TEST(BmpReader, RefusesImpossibleSizesAndPlanes) {
    const std::int32_t widths[] = {0, -5, 1, 1, 1, 40000};
    const std::int32_t heights[] = {1, 1, 0, INT32_MIN, 40000, 1};
    for (int i = 0; i < 6; ++i) {
        DibSpec spec;
        spec.width = widths[i], spec.height = heights[i];
        DecodedImage image;
        EXPECT_EQ(ReadBitmap(image, Bmp(Dib(spec, {}, Bytes(64, 0)))), E_FAIL) << widths[i] << "x" << heights[i];
    }
    DibSpec planes;
    planes.planes = 2;
    DecodedImage image;
    EXPECT_EQ(ReadBitmap(image, Bmp(Dib(planes, {}, Bytes(4, 0)))), E_FAIL);
}

TEST(BmpReader, RowPitchTimesRowsIsCheckedIn64Bits) {
    // 32768 x 32768 at 32 bits: a 32-bit product of pitch and rows wraps to 0.
    DibSpec spec;
    spec.width = 32768, spec.height = 32768, spec.bitCount = 32;
    DecodedImage image;
    EXPECT_EQ(ReadBitmap(image, Bmp(Dib(spec, {}, Bytes(16, 0)))), E_FAIL);
}

TEST(BmpReader, FileHeaderChecks) {
    DibSpec spec;
    Bytes file = Bmp(Dib(spec, {}, {1, 2, 3, 0}));
    DecodedImage image;
    file[0] = 'X';
    EXPECT_EQ(ReadBitmap(image, file), E_FAIL);
    file[0] = 'B';
    testing::Set32(file, 2, static_cast<std::uint32_t>(file.size() + 1));  // claims more than there is
    EXPECT_EQ(ReadBitmap(image, file), E_FAIL);
    testing::Set32(file, 2, 0);  // claims less: fine
    EXPECT_EQ(ReadBitmap(image, file), S_OK);
}

TEST(BmpReader, PixelOffsetOfTheFileHeaderIsHonouredWhenItLiesPastThePaletteInsideTheFile) {
    DibSpec spec;
    spec.width = 2, spec.height = 2, spec.bitCount = 8, spec.clrUsed = 2;
    const Bytes bits = {1, 0, 0, 0, 0, 1, 0, 0};  // bottom row 1 0, top row 0 1
    const Bytes dib = Dib(spec, {0x000000, 0xFFFFFF}, bits);
    Bytes file = testing::BmpWithGap(dib, bits.size(), 6, 1);
    DecodedImage image;
    ASSERT_EQ(ReadBitmap(image, file), S_OK);
    const BYTE top[2] = {0, 1}, bottom[2] = {1, 0};
    EXPECT_EQ(std::memcmp(Row(image, 0), top, 2), 0);
    EXPECT_EQ(std::memcmp(Row(image, 1), bottom, 2), 0);

    // An offset into the headers or the palette, or past the file, is not
    // believed: the pixels follow the palette (here the gap's bytes).
    for (const std::uint32_t offset : {0u, 14u, 14u + 40u + 4u, static_cast<std::uint32_t>(file.size())}) {
        testing::Set32(file, 10, offset);
        DecodedImage fallback;
        ASSERT_EQ(ReadBitmap(fallback, file), S_OK) << offset;
        EXPECT_EQ(Row(fallback, 1)[0], 1) << offset;  // the gap's filler
    }
    // An offset whose rows would run past the end is a cut file.
    testing::Set32(file, 10, static_cast<std::uint32_t>(file.size() - 2));
    DecodedImage cut;
    EXPECT_EQ(ReadBitmap(cut, file), E_FAIL);
}

}  // namespace
}  // namespace quillmark
