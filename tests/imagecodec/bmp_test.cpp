// The BMP and DIB reader and writer: hand-built files worked out by hand,
// run-length data, the writer, truncated and corrupted files, files exchanged
// with ImageMagick, and the shared corpus of files made by other programs.

#include "bmp_test_files.h"
#include "codec_test_support.h"
#include "imagecodec/decoded_image.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/image_output.h"
#include "imagecodec/mapped_file.h"
#include "imagecodec/memory_buffer.h"
#include "imagecodec/read_failure.h"
#include "pillow.h"
#include "rgba_helpers.h"
#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <unistd.h>
#include <vector>

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using testing::Bmp;
using testing::Bytes;
using testing::Describe;
using testing::Dib;
using testing::DibSpec;
using testing::ReadBitmap;

const BYTE* Row(const DecodedImage& image, UINT y) { return image.pixels + y * image.rowPitch; }

// A file mapped and read, pixels decoded.
HRESULT Decode(const fs::path& path, MappedFile& file, DecodedImage& image) {
    const HRESULT opened = file.Open(path.string().c_str(), false);
    if (FAILED(opened)) return opened;
    return image.ReadImage(file.Data(), file.Size(), nullptr, TRUE);
}


// --------------------------------------------------------------------------

// The bitmap reader against hand-built files whose decoded pixels are worked
// out by hand.


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
}

// The same layout in a 2 x 2 file whose last pixel ends the file: nothing of
// the file is missing, so it reads, every pixel worked out by hand.
TEST(BmpReader, MaskLayoutWithEmptyLowByteEndingTheFileReads) {
    DibSpec spec;
    spec.headerSize = 56, spec.bitCount = 32, spec.compression = 3, spec.width = 2, spec.height = 2;
    spec.masks[0] = 0xFF000000, spec.masks[1] = 0xFF0000, spec.masks[2] = 0xFF00;
    // Bottom row first: (blue, green, red) per pixel after the unused low byte.
    const Bytes bits = {9, 1, 2, 3, 9, 4, 5, 6, 9, 7, 8, 10, 9, 11, 12, 13};
    for (const bool viaBmp : {true, false}) {
        DecodedImage image;
        ASSERT_EQ(ReadBitmap(image, viaBmp ? Bmp(Dib(spec, {}, bits)) : Dib(spec, {}, bits), viaBmp), S_OK)
            << LastReadFailure();
        EXPECT_EQ(image.format, D3DFMT_X8R8G8B8);
        // The file's last pixel is the top row's second; its unused byte is 0.
        const Bytes top = {7, 8, 10}, lastPixel = {11, 12, 13, 0}, bottom = {1, 2, 3}, bottomSecond = {4, 5, 6};
        EXPECT_EQ(Bytes(Row(image, 0), Row(image, 0) + 3), top);
        EXPECT_EQ(Bytes(Row(image, 0) + 4, Row(image, 0) + 8), lastPixel);
        EXPECT_EQ(Bytes(Row(image, 1), Row(image, 1) + 3), bottom);
        EXPECT_EQ(Bytes(Row(image, 1) + 4, Row(image, 1) + 7), bottomSecond);
    }
    // One byte less is a pixel short.
    DecodedImage cut;
    EXPECT_EQ(ReadBitmap(cut, Dib(spec, {}, Bytes(bits.begin(), bits.end() - 1)), false), E_FAIL);
    EXPECT_NE(LastReadFailure().find("ends 1 bytes before the last row"), std::string_view::npos) << LastReadFailure();
}

// Refusals say which field is wrong, through ReadImage's naming of the format.
TEST(BmpReader, RefusalsNameTheFieldAtFault) {
    DibSpec spec;
    spec.bitCount = 24, spec.width = 1, spec.height = 1;
    const Bytes good = Bmp(Dib(spec, {}, {1, 2, 3, 0}));
    const auto refusal = [](Bytes file) {
        DecodedImage image;
        EXPECT_EQ(image.ReadImage(file.data(), static_cast<UINT>(file.size()), nullptr, TRUE), TEXERR_UNREADABLE);
        return std::string(LastReadFailure());
    };
    Bytes planes = good;
    testing::Set32(planes, 14 + 12, 3 | (24 << 16));
    EXPECT_NE(refusal(planes).find("it has 3 planes, not 1"), std::string::npos) << refusal(planes);
    Bytes bits = good;
    testing::Set32(bits, 14 + 12, 1 | (12 << 16));
    EXPECT_NE(refusal(bits).find("12 bits per pixel"), std::string::npos) << refusal(bits);
    Bytes compression = good;
    testing::Set32(compression, 14 + 16, 6);
    EXPECT_NE(refusal(compression).find("compression 6"), std::string::npos) << refusal(compression);
    Bytes size = good;
    testing::Set32(size, 2, 4000);
    EXPECT_NE(refusal(size).find("its file header gives 4000 bytes"), std::string::npos) << refusal(size);
    EXPECT_EQ(refusal(size).rfind("it is a BMP file, but ", 0), 0u) << refusal(size);
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

// --------------------------------------------------------------------------

// Run-length bitmaps (8 and 4 bits per pixel) decoded by hand.

HRESULT ReadRle(DecodedImage& image, std::int32_t width, std::int32_t height, std::uint32_t compression,
                const Bytes& data) {
    DibSpec spec;
    spec.width = width, spec.height = height, spec.compression = compression;
    spec.bitCount = compression == 1 ? 8 : 4;
    const std::vector<std::uint32_t> colours(compression == 1 ? 256 : 16, 0);
    return ReadBitmap(image, Bmp(Dib(spec, colours, data)));
}

void ExpectRow(const DecodedImage& image, UINT y, std::initializer_list<BYTE> expected) {
    EXPECT_EQ(std::memcmp(Row(image, y), expected.begin(), expected.size()), 0) << "row " << y;
}

TEST(BmpRunLength, DeltaMovesRightAndDownAndEndOfLineContinuesFromThePositionsLine) {
    const Bytes data = {
        2, 5,              // line 0: two pixels of 5
        0, 2, 1, 1,        // delta: one right, one line on -> line 1, column 3
        1, 9,              // line 1, column 3
        0, 0,              // end of line: on to line 2 (not back to line 1)
        0, 3, 1, 2, 3, 0,  // absolute block of three, padded
        0, 1,              // end of bitmap
    };
    DecodedImage image;
    ASSERT_EQ(ReadRle(image, 4, 3, 1, data), S_OK);
    EXPECT_EQ(image.format, D3DFMT_P8);
    EXPECT_TRUE(image.ownsPixels);
    // Bottom-up: line 0 is the image's last row.
    ExpectRow(image, 0, {1, 2, 3, 0});
    ExpectRow(image, 1, {0, 0, 0, 9});
    ExpectRow(image, 2, {5, 5, 0, 0});
}

TEST(BmpRunLength, FourBitAbsoluteBlockOfFiveConsumesTwoPlusFourBytes) {
    const Bytes data = {0, 5, 0x12, 0x34, 0x50, 0x00, 3, 0xAB, 0, 1};
    DecodedImage image;
    ASSERT_EQ(ReadRle(image, 8, 1, 2, data), S_OK);
    ExpectRow(image, 0, {1, 2, 3, 4, 5, 0xA, 0xB, 0xA});
}

TEST(BmpRunLength, TopDownWritesFirstLineAtTheTop) {
    const Bytes data = {1, 7, 0, 0, 1, 8, 0, 1};
    DecodedImage image;
    ASSERT_EQ(ReadRle(image, 1, -2, 1, data), S_OK);
    ExpectRow(image, 0, {7});
    ExpectRow(image, 1, {8});
}

TEST(BmpRunLength, EndingAfterTheLastLineSucceedsAndUnreachedPixelsAreZero) {
    const Bytes data = {1, 4, 0, 0, 0, 0};  // two lines, no end-of-bitmap code
    DecodedImage image;
    ASSERT_EQ(ReadRle(image, 2, 2, 1, data), S_OK);
    ExpectRow(image, 1, {4, 0});
    ExpectRow(image, 0, {0, 0});
}

TEST(BmpRunLength, RunsPastTheLineEndAreCutAndNothingIsWrittenOutside) {
    const Bytes data = {255, 3, 0, 2, 255, 255, 255, 4, 0, 1};
    DecodedImage image;
    ASSERT_EQ(ReadRle(image, 3, 2, 1, data), S_OK);
    ExpectRow(image, 1, {3, 3, 3});
    ExpectRow(image, 0, {0, 0, 0});
}

TEST(BmpRunLength, DataEndingTooSoonFails) {
    const Bytes cases[] = {
        {2, 5},                // lines left and no more codes
        {2},                   // half a code
        {0, 2, 1},             // delta without its second byte
        {0, 5, 1, 2},          // absolute block cut short
        {0, 0},                // end of line, then nothing for the second line
    };
    for (const Bytes& data : cases) {
        DecodedImage image;
        EXPECT_EQ(ReadRle(image, 5, 2, 1, data), E_FAIL) << data.size();
    }
}

TEST(BmpRunLength, RunLengthNeedsPaletteBitCounts) {
    DibSpec spec;
    spec.compression = 1, spec.bitCount = 24;
    const Bytes file = Bmp(Dib(spec, {}, {1, 1, 0, 1}));
    DecodedImage image;
    EXPECT_EQ(ReadBitmap(image, file), E_FAIL);
}

// --------------------------------------------------------------------------

// The bitmap writer: exact bytes of a small file, and round trips through the
// reader for every format the writer stores.

struct Written {
    HRESULT result;
    Bytes bytes;
};

Written WriteToMemory(const DecodedImage& image, bool withFileHeader) {
    ImageOutput output;
    EXPECT_EQ(output.Open(nullptr, OutputKind::Memory), S_OK);
    const ImageCodec* codec = FindImageCodec(withFileHeader ? ImageFileFormat::Bmp : ImageFileFormat::Dib);
    Written w{codec->write(image, output), {}};
    w.bytes.assign(output.MemoryBytes(), output.MemoryBytes() + output.TotalBytes());
    return w;
}

TEST(BmpWriter, TwentyFourBitFileByteForByte) {
    std::vector<BYTE> pixels = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    DecodedImage image;
    Describe(image, D3DFMT_R8G8B8, pixels, 2, 2, 8);
    const Written w = WriteToMemory(image, true);
    ASSERT_EQ(w.result, S_OK);
    // 14 + 40 + 2 rows of 8 = 70, rounded up to 72.
    ASSERT_EQ(w.bytes.size(), 72u);
    EXPECT_EQ(w.bytes[0], 'B');
    EXPECT_EQ(w.bytes[1], 'M');
    EXPECT_EQ(w.bytes[2], 72);
    EXPECT_EQ(w.bytes[10], 54);  // bfOffBits
    EXPECT_EQ(w.bytes[14], 40);
    EXPECT_EQ(w.bytes[18], 2);   // width
    EXPECT_EQ(w.bytes[22], 2);   // height, positive: bottom-up
    EXPECT_EQ(w.bytes[28], 24);
    EXPECT_EQ(w.bytes[38], 0x12);  // 2834 pixels per metre
    EXPECT_EQ(w.bytes[39], 0x0B);
    const Bytes rows = {7, 8, 9, 10, 11, 12, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(w.bytes.begin() + 54, w.bytes.end()), rows);
}

TEST(BmpWriter, DibEndsWithTheSameTwoZeroBytesAsTheBmp) {
    std::vector<BYTE> pixels(16, 0x5A);
    DecodedImage image;
    Describe(image, D3DFMT_A8R8G8B8, pixels, 2, 2, 8);
    const Written bmp = WriteToMemory(image, true);
    const Written dib = WriteToMemory(image, false);
    ASSERT_EQ(dib.result, S_OK);
    EXPECT_EQ(dib.bytes.size() + 14, bmp.bytes.size());
    EXPECT_EQ(Bytes(bmp.bytes.begin() + 14, bmp.bytes.end()), dib.bytes);
    EXPECT_EQ(dib.bytes[dib.bytes.size() - 1], 0);
    EXPECT_EQ(dib.bytes[dib.bytes.size() - 2], 0);
}

TEST(BmpWriter, BoxSelectsTheRegionWritten) {
    std::vector<BYTE> pixels(4 * 4 * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<BYTE>(i);
    DecodedImage image;
    Describe(image, D3DFMT_A8R8G8B8, pixels, 2, 1, 16);
    image.box = D3DBOX{1, 2, 3, 3, 0, 1};
    const Written w = WriteToMemory(image, false);
    ASSERT_EQ(w.result, S_OK);
    const Bytes row(pixels.begin() + 2 * 16 + 4, pixels.begin() + 2 * 16 + 12);
    const std::size_t bits = w.bytes[0];  // the header's size: the pixels follow it
    EXPECT_EQ(Bytes(w.bytes.begin() + bits, w.bytes.begin() + bits + 8), row);
}

// Found by the round-trip fuzz target: an image whose alpha is 0 everywhere
// was written uncompressed, and all-zero fourth bytes read as no alpha, so
// the transparent image came back opaque. With an alpha mask it comes back.
TEST(BmpWriter, TransparentImagesReadBackTransparent) {
    std::vector<BYTE> pixels = {1, 2, 3, 0, 4, 5, 6, 0};
    DecodedImage image;
    Describe(image, D3DFMT_A8R8G8B8, pixels, 2, 1, 8);
    for (const bool withFileHeader : {true, false}) {
        const Written w = WriteToMemory(image, withFileHeader);
        ASSERT_EQ(w.result, S_OK);
        DecodedImage back;
        ASSERT_EQ(back.ReadImage(w.bytes.data(), static_cast<UINT>(w.bytes.size()), nullptr, TRUE), S_OK);
        EXPECT_EQ(back.format, D3DFMT_A8R8G8B8) << withFileHeader;
        EXPECT_EQ(Bytes(back.pixels, back.pixels + 8), Bytes(pixels.begin(), pixels.end()));
    }
}

// Bit fields go out in the version-4 header, which Pillow reads (it refuses
// the 52- and 56-byte ones): alpha and colour as written.
TEST(BmpWriter, BitFieldFilesReadInPillow) {
    if (!testing::HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    std::vector<BYTE> pixels = {1, 2, 3, 0, 4, 5, 6, 128, 7, 8, 9, 255, 10, 11, 12, 64};
    DecodedImage image;
    Describe(image, D3DFMT_A8R8G8B8, pixels, 2, 2, 8);
    const Written w = WriteToMemory(image, true);
    ASSERT_EQ(w.result, S_OK);
    EXPECT_EQ(w.bytes[14] | w.bytes[15] << 8 | w.bytes[16] << 16 | w.bytes[17] << 24, 108);
    const testing::ScratchDirectory scratch;
    const std::string path = scratch.PathOf("alpha.bmp");
    { std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(w.bytes.data()), std::streamsize(w.bytes.size())); }
    testing::Rgba theirs;
    ASSERT_TRUE(testing::ReadWithPillow(path, theirs));
    ASSERT_EQ(theirs.width, 2u);
    // Pillow gives red, green, blue, alpha; ours are blue, green, red, alpha.
    for (std::size_t p = 0; p < 4; ++p) {
        EXPECT_EQ(theirs.bytes[4 * p + 0], pixels[4 * p + 2]) << p;
        EXPECT_EQ(theirs.bytes[4 * p + 1], pixels[4 * p + 1]) << p;
        EXPECT_EQ(theirs.bytes[4 * p + 2], pixels[4 * p + 0]) << p;
        EXPECT_EQ(theirs.bytes[4 * p + 3], pixels[4 * p + 3]) << p;
    }
}

TEST(BmpWriter, RefusesFormatsWithoutAHeaderAndPalettedImagesWithoutPalette) {
    std::vector<BYTE> pixels(16);
    DecodedImage image;
    Describe(image, D3DFMT_A16B16G16R16, pixels, 1, 1, 8);
    EXPECT_EQ(WriteToMemory(image, true).result, E_FAIL);
    Describe(image, D3DFMT_P8, pixels, 1, 1, 4);
    EXPECT_EQ(WriteToMemory(image, true).result, E_FAIL);
}

struct RoundTrip {
    D3DFORMAT written;
    UINT bytesPerPixel;
    D3DFORMAT read;  // the reader's format for what was written
};

TEST(BmpWriter, EveryWriterFormatRoundTripsThroughTheReader) {
    const RoundTrip cases[] = {
        {D3DFMT_R8G8B8, 3, D3DFMT_R8G8B8},           {D3DFMT_A8R8G8B8, 4, D3DFMT_A8R8G8B8},
        {D3DFMT_X1R5G5B5, 2, D3DFMT_X1R5G5B5},       {D3DFMT_R5G6B5, 2, D3DFMT_R5G6B5},
        {D3DFMT_A1R5G5B5, 2, D3DFMT_A1R5G5B5},       {D3DFMT_A4R4G4B4, 2, D3DFMT_A4R4G4B4},
        {D3DFMT_X4R4G4B4, 2, D3DFMT_X4R4G4B4},       {D3DFMT_A8R3G3B2, 2, D3DFMT_A8R3G3B2},
        {D3DFMT_A8L8, 2, D3DFMT_A8L8},               {D3DFMT_L16, 2, D3DFMT_L16},
        {D3DFMT_A2B10G10R10, 4, D3DFMT_A2B10G10R10}, {D3DFMT_A2R10G10B10, 4, D3DFMT_A2R10G10B10},
        {D3DFMT_A8B8G8R8, 4, D3DFMT_A8B8G8R8},       {D3DFMT_X8B8G8R8, 4, D3DFMT_X8B8G8R8},
        {D3DFMT_G16R16, 4, D3DFMT_G16R16},           {D3DFMT_P8, 1, D3DFMT_P8},
        {D3DFMT_L8, 1, D3DFMT_P8},                   {D3DFMT_R3G3B2, 1, D3DFMT_P8},
    };
    const UINT width = 5, height = 3;
    for (const RoundTrip& c : cases) {
        const UINT pitch = width * c.bytesPerPixel + 3;  // an odd pitch, wider than the row
        std::vector<BYTE> pixels(pitch * height);
        for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<BYTE>(i * 37 + 11);
        std::vector<PALETTEENTRY> palette(256);
        for (int i = 0; i < 256; ++i) palette[i] = PALETTEENTRY{BYTE(i), BYTE(255 - i), BYTE(i * 3), 255};
        DecodedImage image;
        Describe(image, c.written, pixels, width, height, pitch);
        if (c.written == D3DFMT_P8) image.palette = palette.data();
        const Written w = WriteToMemory(image, true);
        ASSERT_EQ(w.result, S_OK) << c.written;

        DecodedImage back;
        ASSERT_EQ(back.ReadImage(w.bytes.data(), static_cast<UINT>(w.bytes.size()), nullptr, TRUE), S_OK);
        EXPECT_EQ(back.format, c.read) << c.written;
        ASSERT_EQ(back.width, width);
        ASSERT_EQ(back.height, height);
        // The unused top byte of X8B8G8R8 is written as 255 (see below).
        const bool unusedTopByte = c.written == D3DFMT_X8B8G8R8;
        for (UINT y = 0; y < height; ++y)
            for (UINT i = 0; i < width * c.bytesPerPixel; ++i)
                if (!unusedTopByte || i % 4 != 3) {
                    ASSERT_EQ(back.pixels[y * back.rowPitch + i], pixels[y * pitch + i]) << c.written << " row " << y;
                }
        if (c.written == D3DFMT_P8) {
            EXPECT_EQ(back.palette[200].peRed, 200);
            EXPECT_EQ(back.palette[200].peGreen, 55);
        }
        if (c.written == D3DFMT_L8) {
            EXPECT_EQ(back.palette[77].peGreen, 77);
        }
        if (c.written == D3DFMT_R3G3B2) {
            // Entry 0b101'011'10: red L[5], green L[3], blue K[2].
            EXPECT_EQ(back.palette[0xAE].peRed, 182);
            EXPECT_EQ(back.palette[0xAE].peGreen, 109);
            EXPECT_EQ(back.palette[0xAE].peBlue, 170);
        }
    }
}

TEST(BmpWriter, UnusedFourthBytesAreWrittenOpaqueAndReadBackWithoutAlpha) {
    // 255 in a .bmp file, 0 in a DIB (see the ImageMagick tests below for why).
    for (const bool withFileHeader : {true, false}) {
        for (const D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_X8B8G8R8}) {
            std::vector<BYTE> pixels = {1, 2, 3, 0, 4, 5, 6, 77};
            DecodedImage image;
            Describe(image, format, pixels, 2, 1, 8);
            const Written w = WriteToMemory(image, withFileHeader);
            ASSERT_EQ(w.result, S_OK);
            const std::size_t bits = (withFileHeader ? 14 : 0) + w.bytes[withFileHeader ? 14 : 0];
            const BYTE unused = withFileHeader ? 255 : 0;
            EXPECT_EQ(Bytes(w.bytes.begin() + bits, w.bytes.begin() + bits + 8),
                      Bytes({1, 2, 3, unused, 4, 5, 6, unused}))
                << format << " " << withFileHeader;
            DecodedImage back;
            ASSERT_EQ(back.ReadImage(w.bytes.data(), static_cast<UINT>(w.bytes.size()), nullptr, TRUE), S_OK);
            EXPECT_EQ(back.format, format);
            EXPECT_EQ(pixels[7], 77) << "the image itself is left alone";
        }
    }
    // A format with alpha keeps its fourth bytes.
    std::vector<BYTE> pixels = {1, 2, 3, 0, 4, 5, 6, 77};
    DecodedImage image;
    Describe(image, D3DFMT_A8R8G8B8, pixels, 2, 1, 8);
    const Written w = WriteToMemory(image, false);
    EXPECT_EQ(Bytes(w.bytes.begin() + w.bytes[0], w.bytes.begin() + w.bytes[0] + 8),
              Bytes(pixels.begin(), pixels.end()));
}

// --------------------------------------------------------------------------

// Truncated and corrupted bitmaps: every one is refused or read within its
// bytes, never a crash (run these under the sanitizer build). Each input is
// copied into a block of exactly its size so that any read past it is caught.

// A copy of exactly the bytes, so that a read past them is seen.
HRESULT ReadExact(const Bytes& bytes, bool viaBmp) {
    const Bytes exact(bytes);
    DecodedImage image;
    return ReadBitmap(image, exact, viaBmp);
}

std::vector<Bytes> SampleDibs() {
    std::vector<Bytes> dibs;
    DibSpec paletted;
    paletted.width = 5, paletted.height = 3, paletted.bitCount = 8, paletted.clrUsed = 4;
    dibs.push_back(Dib(paletted, {1, 2, 3, 4}, Bytes(24, 2)));
    DibSpec core;
    core.headerSize = 12, core.width = 9, core.height = -2, core.bitCount = 1;
    dibs.push_back(Dib(core, {0, 0xFFFFFF}, Bytes(8, 0x55)));
    DibSpec fields;
    fields.headerSize = 56, fields.width = 3, fields.height = 2, fields.bitCount = 16, fields.compression = 3;
    fields.masks[0] = 0x7C00, fields.masks[1] = 0x3E0, fields.masks[2] = 0x1F, fields.masks[3] = 0x8001;
    dibs.push_back(Dib(fields, {}, Bytes(16, 0x81)));
    DibSpec rle;
    rle.width = 4, rle.height = 2, rle.bitCount = 8, rle.compression = 1, rle.clrUsed = 2;
    dibs.push_back(Dib(rle, {0, 1}, {3, 1, 0, 0, 0, 4, 1, 0, 1, 0, 0, 0, 0, 1}));
    DibSpec rle4;
    rle4.width = 6, rle4.height = -2, rle4.bitCount = 4, rle4.compression = 2;
    dibs.push_back(Dib(rle4, std::vector<std::uint32_t>(16, 7), {6, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 1}));
    return dibs;
}

TEST(BmpHostile, EveryCutOfABmpFileIsRefused) {
    for (const Bytes& dib : SampleDibs()) {
        const Bytes file = Bmp(dib);
        ASSERT_EQ(ReadExact(file, true), S_OK);
        for (std::size_t n = 0; n < file.size(); ++n) {
            const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_EQ(ReadExact(cut, true), E_FAIL) << "cut at " << n;
        }
    }
}

TEST(BmpHostile, EveryCutOfADibIsRefusedOrReadWithinItsBytes) {
    for (const Bytes& dib : SampleDibs()) {
        ASSERT_EQ(ReadExact(dib, false), S_OK);
        std::size_t firstAccepted = dib.size();
        for (std::size_t n = 1; n < dib.size(); ++n) {
            const Bytes cut(dib.begin(), dib.begin() + static_cast<std::ptrdiff_t>(n));
            if (SUCCEEDED(ReadExact(cut, false)) && firstAccepted == dib.size()) firstAccepted = n;
        }
        // Only the last row's padding or trailing codes after the last line may go.
        EXPECT_GE(firstAccepted + 4, dib.size());
    }
}

TEST(BmpHostile, AbsurdHeaderValuesAreRefused) {
    const Bytes base = SampleDibs()[0];
    const std::uint32_t absurd[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x40000000, 0x10000};
    for (std::size_t field = 0; field + 4 <= 40; field += 4) {
        for (std::uint32_t value : absurd) {
            Bytes bytes = base;
            testing::Set32(bytes, field, value);
            const HRESULT result = ReadExact(bytes, false);
            EXPECT_TRUE(result == S_OK || result == E_FAIL) << field << " " << value;
        }
    }
}

TEST(BmpHostile, RandomCorruptionNeverCrashes) {
    std::mt19937 random(1234);
    for (const Bytes& dib : SampleDibs()) {
        for (int round = 0; round < 3000; ++round) {
            Bytes bytes = Bmp(dib);
            const int flips = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] = static_cast<BYTE>(random());
            bytes.resize(bytes.size() - random() % 3);
            (void)ReadExact(bytes, random() % 2 == 0);
        }
    }
}

TEST(BmpHostile, RunLengthCodesPastTheEndAreRefused) {
    DibSpec spec;
    spec.width = 4, spec.height = 4, spec.bitCount = 8, spec.compression = 1, spec.clrUsed = 1;
    const Bytes streams[] = {
        {0, 200},           // absolute block of 200 with no bytes behind it
        {0, 2, 200},        // delta cut after dx
        {4, 1, 0},          // half a code after one line
    };
    for (const Bytes& data : streams) EXPECT_EQ(ReadExact(Dib(spec, {0}, data), false), E_FAIL);
}

// --------------------------------------------------------------------------

// Bitmaps exchanged with ImageMagick, an independent implementation: files we
// write read the same in ImageMagick, and files ImageMagick writes read the
// same in our reader. Skipped when ImageMagick is not installed.

class BmpImageMagickTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::HaveImageMagick()) GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
    }
    std::string PathOf(const std::string& name) const { return scratch_.PathOf(name); }
    int Run(const std::string& command) const { return std::system((command + " 2>/dev/null").c_str()); }

    testing::ScratchDirectory scratch_;
};

// A 37 x 23 picture with every channel varying, alpha across the width.
DWORD Picture(UINT x, UINT y) {
    const DWORD alpha = x * 255 / 36, red = (x * 7 + y * 3) & 0xFF, green = (y * 11) & 0xFF, blue = (x * y) & 0xFF;
    return alpha << 24 | red << 16 | green << 8 | blue;
}

struct WrittenFormat {
    D3DFORMAT format;
    UINT bytesPerPixel;
    testing::ChannelBits stored;  // what the file holds of red, green, blue, alpha
};

// The picture converted into `format` with the library's conversion.
std::vector<BYTE> PictureIn(const WrittenFormat& f, UINT width, UINT height) {
    std::vector<DWORD> argb(width * height);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) argb[y * width + x] = Picture(x, y);
    std::vector<BYTE> out(width * height * f.bytesPerPixel);
    SurfaceDesc source, destination;
    source.Data = reinterpret_cast<BYTE*>(argb.data());
    source.Format = D3DFMT_A8R8G8B8;
    source.RowPitch = static_cast<INT>(width * 4);
    source.Extent = source.Box = destination.Extent = destination.Box = D3DBOX{0, 0, width, height, 0, 1};
    destination.Data = out.data();
    destination.Format = f.format;
    destination.RowPitch = static_cast<INT>(width * f.bytesPerPixel);
    EXPECT_EQ(RunConversion(destination, source, RESAMPLE_NONE), S_OK) << f.format;
    return out;
}

TEST_F(BmpImageMagickTest, FilesWeWriteReadTheSameInImageMagick) {
    const UINT width = 37, height = 23;
    std::vector<PALETTEENTRY> palette(256);
    for (int i = 0; i < 256; ++i) palette[i] = PALETTEENTRY{BYTE(i), BYTE(i * 5), BYTE(255 - i), 255};
    std::vector<BYTE> indices(width * height);
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<BYTE>(i * 13);

    // A 32-bit file with a 40-byte header has no alpha mask: its fourth bytes
    // are not compared. Palettes carry no alpha either.
    const testing::ChannelBits rgb8{{8, 8, 8, 0}}, rgba8{{8, 8, 8, 8}};
    const WrittenFormat formats[] = {
        {D3DFMT_R8G8B8, 3, rgb8},           {D3DFMT_X8R8G8B8, 4, rgb8},         {D3DFMT_A8R8G8B8, 4, rgb8},
        {D3DFMT_X1R5G5B5, 2, {{5, 5, 5, 0}}}, {D3DFMT_R5G6B5, 2, {{5, 6, 5, 0}}}, {D3DFMT_A1R5G5B5, 2, {{5, 5, 5, 1}}},
        {D3DFMT_A4R4G4B4, 2, {{4, 4, 4, 4}}}, {D3DFMT_X4R4G4B4, 2, {{4, 4, 4, 0}}}, {D3DFMT_A8B8G8R8, 4, rgba8},
        {D3DFMT_X8B8G8R8, 4, rgb8},         {D3DFMT_L8, 1, rgb8},               {D3DFMT_R3G3B2, 1, rgb8},
        {D3DFMT_P8, 1, rgb8},
    };
    for (const WrittenFormat& f : formats) {
        std::vector<BYTE> pixels = f.format == D3DFMT_P8 ? indices : PictureIn(f, width, height);
        DecodedImage image;
        image.format = f.format;
        image.pixels = pixels.data();
        image.rowPitch = width * f.bytesPerPixel;
        image.palette = f.format == D3DFMT_P8 ? palette.data() : nullptr;
        image.width = width, image.height = height, image.depth = 1;
        image.box = D3DBOX{0, 0, width, height, 0, 1};
        const std::string path = PathOf("ours_" + std::to_string(f.format) + ".bmp");
        ASSERT_EQ(image.WriteImage(path.c_str(), ImageFileFormat::Bmp, OutputKind::AnsiPath), S_OK) << f.format;

        // The image itself, as 8-bit RGBA, is what ImageMagick must see.
        testing::Rgba ours, theirs;
        ASSERT_TRUE(testing::ToRgba(image, ours)) << f.format;
        ASSERT_TRUE(testing::ReadWithImageMagick(path, theirs)) << f.format;
        EXPECT_EQ(testing::CountFieldDifferences(ours, theirs, f.stored), 0u) << f.format;
    }
}

// A surface without alpha holds anything in its unused fourth bytes;
// ImageMagick takes a 32-bit bitmap's fourth byte for alpha in a .bmp file
// (all 0: none) and for opacity in a DIB, so files written from such a
// surface must read as opaque there whatever those bytes held.
TEST_F(BmpImageMagickTest, ImagesWithoutAlphaReadOpaqueInImageMagick) {
    const UINT width = 3, height = 2;
    std::vector<BYTE> pixels(width * height * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<BYTE>(i * 19);
    DecodedImage image;
    image.format = D3DFMT_X8R8G8B8;
    image.pixels = pixels.data();
    image.rowPitch = width * 4;
    image.width = width, image.height = height, image.depth = 1;
    image.box = D3DBOX{0, 0, width, height, 0, 1};
    for (const auto& [fileFormat, prefix] : {std::pair{ImageFileFormat::Dib, "dib:"}, {ImageFileFormat::Bmp, ""}}) {
        const std::string path = PathOf(std::string("opaque.") + (fileFormat == ImageFileFormat::Dib ? "dib" : "bmp"));
        ASSERT_EQ(image.WriteImage(path.c_str(), fileFormat, OutputKind::AnsiPath), S_OK);
        testing::Rgba ours, theirs;
        ASSERT_TRUE(testing::ToRgba(image, ours));
        ASSERT_TRUE(testing::ReadWithImageMagick(prefix + path, theirs)) << path;
        EXPECT_EQ(testing::CountDifferences(ours, theirs, 0, true), 0u) << path;
    }
}

TEST_F(BmpImageMagickTest, FilesImageMagickWritesReadTheSameInOurReader) {
    const std::string source = PathOf("source.png");
    ASSERT_EQ(Run("convert -size 37x23 gradient:red-blue -fill green -draw 'circle 10,10 15,15' " + source), 0);
    const std::string alpha = " -alpha set -channel A -fx 'i/w' +channel ";
    struct Variant {
        const char* name;
        std::string options;
        testing::ChannelBits stored;
    };
    const testing::ChannelBits rgb8{{8, 8, 8, 0}};
    const Variant variants[] = {
        {"1-bit", "-colors 2 -type palette BMP3:", rgb8},
        {"4-bit", "-colors 16 -type palette BMP3:", rgb8},
        {"8-bit", "-colors 200 -type palette -compress none BMP3:", rgb8},
        {"8-bit RLE", "-colors 200 -type palette -compress RLE BMP3:", rgb8},
        {"16-bit 5-5-5", "-define bmp:subtype=RGB555 BMP:", {{5, 5, 5, 0}}},
        {"16-bit 5-6-5", "-define bmp:subtype=RGB565 BMP:", {{5, 6, 5, 0}}},
        {"16-bit 4-4-4-4", alpha + "-define bmp:subtype=ARGB4444 BMP:", {{4, 4, 4, 4}}},
        {"24-bit", "-type truecolor BMP3:", rgb8},
        {"32-bit", alpha + "-type truecoloralpha BMP:", {{8, 8, 8, 8}}},
    };
    int index = 0;
    for (const auto& [name, options, stored] : variants) {
        const std::string path = PathOf("theirs" + std::to_string(index++) + ".bmp");
        const std::string command = "convert " + source + " " + options;
        ASSERT_EQ(Run(command + path), 0) << name;
        MappedFile file;
        DecodedImage image;
        ASSERT_EQ(Decode(path, file, image), S_OK) << name;
        testing::Rgba ours, theirs;
        ASSERT_TRUE(testing::ToRgba(image, ours)) << name;
        ASSERT_TRUE(testing::ReadWithImageMagick(path, theirs)) << name;
        EXPECT_EQ(testing::CountFieldDifferences(ours, theirs, stored), 0u) << name;
    }
}

TEST_F(BmpImageMagickTest, FileWithAGapBeforeThePixelsReadsTheSame) {
    testing::DibSpec spec;
    spec.width = 5, spec.height = 3, spec.bitCount = 24;
    testing::Bytes bits;
    for (UINT y = 0; y < 3; ++y) {
        for (UINT x = 0; x < 15; ++x) bits.push_back(static_cast<std::uint8_t>(x * 17 + y * 40));
        bits.push_back(0);  // padding to 16 bytes
    }
    const testing::Bytes file = testing::BmpWithGap(testing::Dib(spec, {}, bits), bits.size(), 10, 0xAB);
    const std::string path = PathOf("gap.bmp");
    { std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size()); }
    DecodedImage image;
    ASSERT_EQ(image.ReadImage(file.data(), static_cast<UINT>(file.size()), nullptr, TRUE), S_OK);
    testing::Rgba ours, theirs;
    ASSERT_TRUE(testing::ToRgba(image, ours));
    ASSERT_TRUE(testing::ReadWithImageMagick(path, theirs));
    EXPECT_EQ(testing::CountFieldDifferences(ours, theirs, {{8, 8, 8, 0}}), 0u);
}

// --------------------------------------------------------------------------

// Bitmaps made by other programs: each decodes to the reference reading of
// an independent decoder, except the layouts this reader refuses by design;
// damaged files are refused or read, never a crash.

const fs::path kBmpDir = fs::path(QUILLMARK_CORPUS_DIR) / "bmp";

// Layouts refused on purpose: 2 bits per pixel, compressions beyond the
// bit-field one (24-bit run lengths, alpha bit fields), and a core header
// whose short colour table is found only through bfOffBits (the pixels are
// always taken after a full table).
const std::set<std::string> kRefused = {
    "pal2.bmp", "pal2color.bmp", "rgb24rle24.bmp", "rgba32abf.bmp", "pal8os2sp.bmp",
};

// Pixels read differently on purpose: those that run-length data never
// reaches are palette index 0 here (black in the reference), and indices past
// a short colour table are opaque white here (black in the reference).
const std::set<std::string> kDifferInUnreachedPixels = {"pal4rlecut.bmp", "pal4rletrns.bmp"};
const std::set<std::string> kDifferPastColourTable = {"pal8badindex.bmp"};

// Counts pixels that differ from the reference other than in the ways above:
// a difference is allowed only where the reference is opaque black and ours
// is `allowed`.
std::size_t UnexplainedDifferences(const testing::Rgba& ours, const testing::Rgba& reference,
                                   const PALETTEENTRY& allowed) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < ours.bytes.size(); i += 4) {
        bool same = true;
        for (int c = 0; c < 4; ++c) same = same && std::abs(int(ours.bytes[i + c]) - int(reference.bytes[i + c])) <= 2;
        if (same) continue;
        const bool referenceBlack = reference.bytes[i] == 0 && reference.bytes[i + 1] == 0 &&
                                    reference.bytes[i + 2] == 0 && reference.bytes[i + 3] == 255;
        const bool oursAllowed = ours.bytes[i] == allowed.peRed && ours.bytes[i + 1] == allowed.peGreen &&
                                 ours.bytes[i + 2] == allowed.peBlue && ours.bytes[i + 3] == 255;
        if (!referenceBlack || !oursAllowed) ++count;
    }
    return count;
}

std::vector<fs::path> BitmapsIn(const fs::path& dir) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".bmp") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(BmpCorpus, EveryBitmapMatchesItsReferenceOrIsRefusedByDesign) {
    if (!fs::exists(kBmpDir)) GTEST_SKIP() << "no corpus at " << kBmpDir;
    if (!testing::HaveImageMagick()) GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
    int compared = 0;
    for (const fs::path& path : BitmapsIn(kBmpDir)) {
        const std::string name = path.filename().string();
        MappedFile file;
        DecodedImage image;
        const HRESULT result = Decode(path, file, image);
        if (kRefused.count(name) != 0) {
            EXPECT_EQ(result, TEXERR_UNREADABLE) << name;
            continue;
        }
        const fs::path referencePng = kBmpDir / "reference" / (name + ".png");
        if (!fs::exists(referencePng)) continue;  // no reference reading: only must not crash
        ASSERT_EQ(result, S_OK) << name;
        testing::Rgba ours, reference;
        ASSERT_TRUE(testing::ToRgba(image, ours)) << name;
        ASSERT_TRUE(testing::ReadWithImageMagick(referencePng.string(), reference))
            << name;
        if (kDifferInUnreachedPixels.count(name) != 0)
            EXPECT_EQ(UnexplainedDifferences(ours, reference, image.palette[0]), 0u) << name;
        else if (kDifferPastColourTable.count(name) != 0)
            EXPECT_EQ(UnexplainedDifferences(ours, reference, PALETTEENTRY{255, 255, 255, 255}), 0u) << name;
        else
            EXPECT_EQ(testing::CountDifferences(ours, reference, 2, true), 0u) << name;
        ++compared;
    }
    EXPECT_GT(compared, 40);
}

TEST(BmpCorpus, DamagedFilesAreRefusedOrReadWithoutCrashing) {
    const fs::path lenient = kBmpDir / "lenient";
    if (!fs::exists(lenient)) GTEST_SKIP() << "no corpus at " << lenient;
    for (const fs::path& path : BitmapsIn(lenient)) {
        MappedFile file;
        DecodedImage image;
        const HRESULT result = Decode(path, file, image);
        EXPECT_TRUE(result == S_OK || result == TEXERR_UNREADABLE) << path.filename();
        if (SUCCEEDED(result)) {
            testing::Rgba ours;
            EXPECT_TRUE(testing::ToRgba(image, ours)) << path.filename();
        }
    }
}

}  // namespace
}  // namespace quillmark
