// The Radiance HDR reader and writer on files built by hand: header lines and
// exposure, every orientation, both scanline encodings, the repeat chains of
// flat scanlines, and the bytes the writer produces.
#include "codec_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>

namespace quillmark {
namespace {

using testing::Bytes;
using testing::BytesOf;
using testing::ExactInput;

const std::string kHeader = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n";

HRESULT ReadHdr(const Bytes& file, DecodedImage& image) {
    const ExactInput input(file);
    return testing::ReadWith(FindImageCodec(ImageFileFormat::Hdr)->read, input, image);
}

Bytes File(const std::string& text, const Bytes& data) {
    Bytes b = BytesOf(text);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// Red of pixel (x, y) as the mantissa it was stored with under exponent 136.
int Mantissa(const DecodedImage& image, UINT x, UINT y) {
    return static_cast<int>(testing::FloatPixel(image, x, y)[0]);
}

TEST(HdrReader, EveryOrientationPlacesTheScanlines) {
    // Six flat pixels, mantissas 10..15 in file order, exponent 136 (scale 1).
    Bytes data;
    for (BYTE m = 10; m < 16; ++m) data.insert(data.end(), {m, 0, 0, 136});
    const struct {
        const char* resolution;
        const char* rows;  // file index - 10 of each pixel, rows top-down
    } cases[] = {
        {"-Y 2 +X 3", "012/345"}, {"+Y 2 +X 3", "345/012"}, {"-Y 2 -X 3", "210/543"}, {"+Y 2 -X 3", "543/210"},
        {"+X 3 -Y 2", "024/135"}, {"+X 3 +Y 2", "135/024"}, {"-X 3 -Y 2", "420/531"}, {"-X 3 +Y 2", "531/420"},
    };
    for (const auto& c : cases) {
        DecodedImage image;
        ASSERT_EQ(ReadHdr(File(kHeader + c.resolution + "\n", data), image), S_OK) << c.resolution;
        ASSERT_EQ(image.width, 3u);
        ASSERT_EQ(image.height, 2u);
        std::string rows;
        for (UINT y = 0; y < 2; ++y)
            for (UINT x = 0; x < 3; ++x) rows += char('0' + Mantissa(image, x, y) - 10);
        EXPECT_EQ(rows.substr(0, 3) + "/" + rows.substr(3), c.rows) << c.resolution;
    }
}

TEST(HdrReader, RunLengthAndFlatScanlinesDecodeAlike) {
    // Eight pixels: mantissas 7 7 7 7 7 1 2 3 in red, 0 in green, 5 in blue, exponent 137.
    const Bytes runLength = {2, 2, 0, 8, 133, 7, 3, 1, 2, 3, 136, 0, 136, 5, 136, 137};
    Bytes flat = {7, 0, 5, 137, 1, 1, 1, 4, 1, 0, 5, 137, 2, 0, 5, 137, 3, 0, 5, 137};
    for (const Bytes& data : {runLength, flat}) {
        DecodedImage image;
        ASSERT_EQ(ReadHdr(File(kHeader + "-Y 1 +X 8\n", data), image), S_OK);
        const float expected[] = {7, 7, 7, 7, 7, 1, 2, 3};
        for (UINT x = 0; x < 8; ++x) {
            const float* p = testing::FloatPixel(image, x, 0);
            EXPECT_EQ(p[0], (expected[x] + 0.5f) * 2) << x;
            EXPECT_EQ(p[1], 1.0f) << x;
            EXPECT_EQ(p[2], 11.0f) << x;
            EXPECT_EQ(p[3], 1.0f) << x;
        }
    }
    // A flat first pixel whose second byte is not 2 is not a run-length header.
    DecodedImage old;
    ASSERT_EQ(ReadHdr(File(kHeader + "-Y 1 +X 2\n", {2, 5, 0, 136, 2, 2, 0, 136}), old), S_OK);
    EXPECT_EQ(Mantissa(old, 0, 0), 2);
    // A run-length header announcing another length fails the read.
    EXPECT_EQ(ReadHdr(File(kHeader + "-Y 1 +X 8\n", {2, 2, 0, 9, 136, 1, 136, 1, 136, 1, 136, 1}), old), E_FAIL);
}

TEST(HdrReader, RepeatChainsShiftBy8AndStopBeforeTheWordEnds) {
    // 1 pixel, then 1 + (2 << 8) repeats: 514 pixels in all.
    DecodedImage image;
    ASSERT_EQ(ReadHdr(File(kHeader + "-Y 1 +X 514\n", {9, 0, 0, 136, 1, 1, 1, 1, 1, 1, 1, 2}), image), S_OK);
    EXPECT_EQ(Mantissa(image, 513, 0), 9);
    // Zero repeats keep the chain going; it is refused once the shift reaches
    // 32, rather than shifting past the word (where a count of 1 << 64 could
    // come out as 1 and the chain be taken).
    Bytes chain = {9, 0, 0, 136};
    for (int i = 0; i < 8; ++i) chain.insert(chain.end(), {1, 1, 1, 0});
    chain.insert(chain.end(), {1, 1, 1, 1});
    EXPECT_EQ(ReadHdr(File(kHeader + "-Y 1 +X 2\n", chain), image), E_FAIL);
}

TEST(HdrReader, ExposureDividesAndUnusableValuesAreIgnored) {
    const Bytes pixel = {1, 2, 3, 137};  // (1.5 2.5 3.5) * 2
    const struct {
        const char* lines;
        float divisor;
    } cases[] = {
        {"EXPOSURE=2.0\nEXPOSURE= \t4\n", 8}, {"EXPOSURE=0\n", 1},         {"EXPOSURE=-2\n", 1},
        {"EXPOSURE=bright\n", 1},             {"EXPOSURE=1e30\nEXPOSURE=1e30\n", 1e30f},
    };
    for (const auto& c : cases) {
        DecodedImage image;
        ASSERT_EQ(ReadHdr(File("#?RADIANCE\n" + std::string(c.lines) + "FORMAT=32-bit_rle_xyze\n\n-Y 1 +X 1\n", pixel),
                          image),
                  S_OK)
            << c.lines;
        EXPECT_FLOAT_EQ(testing::FloatPixel(image, 0, 0)[2], 7.0f / c.divisor) << c.lines;
    }
    DecodedImage zero;  // all zero: a tiny positive value, not 0
    ASSERT_EQ(ReadHdr(File(kHeader + "-Y 1 +X 1\n", {0, 0, 0, 0}), zero), S_OK);
    EXPECT_EQ(testing::FloatPixel(zero, 0, 0)[0], std::ldexp(1.0f, -137));
}

TEST(HdrReader, MalformedOrOversizedFilesAreRefused) {
    const Bytes pixel = {1, 2, 3, 137};
    const std::string refused[] = {
        "#?RADIANCE\n\n-Y 1 +X 1\n",                       // no FORMAT line
        "#?RADIANCE\nFORMAT=32-bit_rle_rgbx\n\n-Y 1 +X 1\n",
        kHeader + "-Y 16384 +X 16384\n",                   // past the size limit
        kHeader + "-Y 2000 +X 2000\n",                     // more scanlines than the data holds
        kHeader + "-Y 0 +X 1\n", kHeader + "-Y -1 +X 1\n", kHeader + "Y 1 +X 1\n", kHeader + "-Z 1 +X 1\n",
        kHeader + "-Y 1 -Y 1\n", kHeader + "-Y 1 X 1\n", kHeader + "-Y 1 +X 1", "#?RADIANCE",
        "#?RADIANCE no line feed anywhere FORMAT=32-bit_rle_rgbe",
    };
    for (const std::string& header : refused) {
        DecodedImage image;
        EXPECT_EQ(ReadHdr(File(header, pixel), image), E_FAIL) << header;
    }
}

// Writes `pixels` (RGBA floats, `width` per row) and returns the file.
Bytes WriteHdr(std::vector<float> pixels, UINT width) {
    DecodedImage image;
    testing::DescribeFloats(image, pixels, width);
    return testing::WriteToMemory(image, ImageFileFormat::Hdr);
}

// The bytes after the resolution line.
Bytes Scanlines(const Bytes& file) {
    const std::string text(file.begin(), file.end());
    const std::size_t at = text.find("+X ");
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(text.find('\n', at) + 1), file.end());
}

TEST(HdrWriter, HeaderAndPixelBytes) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const Bytes file = WriteHdr({1.0f, 0.5f, 0.25f, 1, 0x1p127f, 1, 0, 1, inf, inf, -inf, 1, nan, 2, 0, 1}, 2);
    const std::string text(file.begin(), file.end());
    EXPECT_TRUE(std::regex_search(text, std::regex("^#\\?RADIANCE\n#File created by Quillmark texture library\n"
                                                   "FORMAT=32-bit_rle_rgbe\n#Timestamp: \\d\\d:\\d\\d:\\d\\d "
                                                   "\\d\\d/\\d\\d/\\d\\d\n\n-Y 2 \\+X 2\n")));
    // Narrower than 8: flat pixels. Values of 2^127 and more saturate; NaN is 0.
    EXPECT_EQ(Scanlines(file), (Bytes{128, 64, 32, 129, 255, 0, 0, 255, 255, 255, 0, 255, 0, 128, 0, 130}));
}

TEST(HdrWriter, ScanlinesOf8AndMoreAreRunLengthCoded) {
    std::vector<float> row;
    for (int x = 0; x < 200; ++x) row.insert(row.end(), {1.0f, 0.5f, x < 100 ? 0.25f : 0.125f, 1});
    const Bytes lines = Scanlines(WriteHdr(row, 200));
    // 200 equal bytes are the runs 127 and 73; blue is two runs of 100.
    EXPECT_EQ(lines, (Bytes{2, 2, 0, 200, 255, 128, 201, 128, 255, 64, 201, 64, 228, 32, 228, 16, 255, 129, 201, 129}));
    DecodedImage back;
    ASSERT_EQ(ReadHdr(File(kHeader + "-Y 1 +X 200\n", lines), back), S_OK);
    EXPECT_FLOAT_EQ(testing::FloatPixel(back, 99, 0)[2], 0.25f * (32.5f / 32));
    EXPECT_FLOAT_EQ(testing::FloatPixel(back, 100, 0)[2], 0.125f * (16.5f / 16));
}

}  // namespace
}  // namespace quillmark
