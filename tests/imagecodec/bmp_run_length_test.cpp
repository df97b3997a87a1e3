// Run-length bitmaps (8 and 4 bits per pixel) decoded by hand.
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

HRESULT ReadRle(DecodedImage& image, std::int32_t width, std::int32_t height, std::uint32_t compression,
                const Bytes& data) {
    DibSpec spec;
    spec.width = width, spec.height = height, spec.compression = compression;
    spec.bitCount = compression == 1 ? 8 : 4;
    const std::vector<std::uint32_t> colours(compression == 1 ? 256 : 16, 0);
    return testing::ReadBitmap(image, Bmp(Dib(spec, colours, data)));
}

void ExpectRow(const DecodedImage& image, UINT y, std::initializer_list<BYTE> expected) {
    EXPECT_EQ(std::memcmp(image.pixels + y * image.rowPitch, expected.begin(), expected.size()), 0) << "row " << y;
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
    EXPECT_EQ(testing::ReadBitmap(image, file), E_FAIL);
}

}  // namespace
}  // namespace quillmark
