// The PPM and PFM readers and the PFM writer on files built by hand: header
// fields, comments and separators, sample scaling, byte orders, and the
// headers whose sizes must be refused.
#include "codec_test_support.h"
#include "imagecodec/image_output.h"

#include <gtest/gtest.h>

#include <bit>

namespace quillmark {
namespace {

using testing::Bytes;
using testing::BytesOf;
using testing::ExactInput;

HRESULT ReadPpm(const Bytes& file, DecodedImage& image) {
    const ExactInput input(file);
    return testing::ReadWith(FindImageCodec(ImageFileFormat::Ppm)->read, input, image);
}

HRESULT ReadPfm(const Bytes& file, DecodedImage& image) {
    const ExactInput input(file);
    return testing::ReadWith(FindImageCodec(ImageFileFormat::Pfm)->read, input, image);
}

DWORD PixelAt(const DecodedImage& image, UINT i) { return reinterpret_cast<const DWORD*>(image.pixels)[i]; }

Bytes WithPixels(std::string header, const Bytes& samples) {
    Bytes b = BytesOf(header);
    b.insert(b.end(), samples.begin(), samples.end());
    return b;
}

TEST(PpmReader, BinarySamplesFollowOneSeparatorOrACarriageReturnAndLineFeed) {
    for (const char* header : {"P6\n2 1\n255\n", "P6 # comment\n2 # another 255\n1 255\r\n", "P6\t2\t1\t255 "}) {
        DecodedImage image;
        ASSERT_EQ(ReadPpm(WithPixels(header, {1, 2, 3, 250, 251, 252}), image), S_OK) << header;
        EXPECT_EQ(image.format, D3DFMT_X8R8G8B8);
        EXPECT_EQ(PixelAt(image, 0), 0xFF010203u);
        EXPECT_EQ(PixelAt(image, 1), 0xFFFAFBFCu);
    }
    DecodedImage scaled;  // maximum 15: 15 is 255, 7 is 119
    ASSERT_EQ(ReadPpm(WithPixels("P6 1 1 15\n", {15, 7, 0}), scaled), S_OK);
    EXPECT_EQ(PixelAt(scaled, 0), 0xFFFF7700u);
}

TEST(PpmReader, TextSamplesAreScaledAndClampedToTheMaximum) {
    DecodedImage image;
    ASSERT_EQ(ReadPpm(BytesOf("P3\n# two pixels\n2 1\n100\n100 50 0 # first\n200 0 7"), image), S_OK);
    EXPECT_EQ(PixelAt(image, 0), 0xFFFF7F00u);  // 50 * 255 / 100 = 127
    // A sample above the maximum counts as the maximum and stays in its channel.
    EXPECT_EQ(PixelAt(image, 1), 0xFFFF0011u);
    DecodedImage wide;  // any maximum, products in 64 bits
    ASSERT_EQ(ReadPpm(BytesOf("P3 1 1 4294967295 4294967295 2147483648 0\n"), wide), S_OK);
    EXPECT_EQ(PixelAt(wide, 0), 0xFFFF7F00u);
}

TEST(PpmReader, MalformedOrOversizedFilesAreRefused) {
    const char* refused[] = {
        "P3 2 1 255 1 2 3 4 5",      // one sample short
        "P3 1 1 255 1 2 x",          // not a digit
        "P3 1 1 255 1 2 3x",         // digits run into a letter
        "P3 1 1 -255 1 2 3",         // a sign
        "P3 0 1 255 ",               // zero width
        "P3 1 1 0 1 2 3",            // zero maximum
        "P6 1 1 65535 123456",       // 16-bit samples
        "P6 1 1 255 12",             // short data
        "P6 65536 65536 255 123",    // past the size limit
        "P6 30000 30000 255 123",    // larger than the data
        "P3 20000 20000 255 1 2 3",  // larger than the data
        "P5 1 1 255 1", "P4 1 1 1", "P",
    };
    for (const char* file : refused) {
        DecodedImage image;
        EXPECT_EQ(ReadPpm(BytesOf(file), image), E_FAIL) << file;
    }
}

Bytes FloatBytes(std::initializer_list<float> values, bool bigEndian) {
    Bytes b;
    for (float v : values) {
        std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
        if (bigEndian) bits = __builtin_bswap32(bits);
        for (int i = 0; i < 4; ++i) b.push_back(BYTE(bits >> (8 * i)));
    }
    return b;
}

TEST(PfmReader, BothByteOrdersBottomRowFirst) {
    for (const char* scale : {"-1.0", "-4.0", "1.0", "0", "+2.5e1"}) {
        const bool bigEndian = scale[0] != '-';
        const Bytes samples = FloatBytes({1, 2, 3, 4, 5, 6}, bigEndian);
        const Bytes file = WithPixels(std::string("PF\n1 2\n") + scale + "\n", samples);
        DecodedImage image;
        ASSERT_EQ(ReadPfm(file, image), S_OK) << scale;
        EXPECT_EQ(image.format, D3DFMT_A32B32G32R32F);
        const float* top = testing::FloatPixel(image, 0, 0);
        const float* bottom = testing::FloatPixel(image, 0, 1);
        EXPECT_EQ(std::vector<float>(top, top + 4), (std::vector<float>{4, 5, 6, 1})) << scale;
        EXPECT_EQ(std::vector<float>(bottom, bottom + 4), (std::vector<float>{1, 2, 3, 1})) << scale;
    }
    DecodedImage grey;
    ASSERT_EQ(ReadPfm(WithPixels("Pf\n1 1\n-1\n", FloatBytes({0.5f}, false)), grey), S_OK);
    const float* p = testing::FloatPixel(grey, 0, 0);
    EXPECT_EQ(std::vector<float>(p, p + 4), (std::vector<float>{0.5f, 0.5f, 0.5f, 1}));
}

TEST(PfmReader, MalformedOrOversizedHeadersAreRefused) {
    const Bytes twelve(12, 0);
    const char* refused[] = {
        "PF\n-1 -1\n-1\n",          // signed sizes
        "PF\n1 1 1\n-1\n",          // a third number
        "PF\n1\n-1\n",              // one number
        "PF\n0 1\n-1\n",            // zero width
        "PF\n1 1\nscale\n",         // not a number
        "PF\n1 1\nnan\n",           // no sign to take the byte order from
        "PF\n1 1\n-1",              // no line feed after the scale
        "PF\n40000 1\n-1\n",        // past the size limit
        "PF\n2 1\n-1\n",            // larger than the data
        "PF 1 1\n-1\n",
    };
    for (const char* header : refused) {
        DecodedImage image;
        EXPECT_EQ(ReadPfm(WithPixels(header, twelve), image), E_FAIL) << header;
    }
}

TEST(PfmWriter, WritesTheHeaderAndRowsBottomUpLittleEndian) {
    std::vector<float> pixels = {1, 2, 3, 9, 4, 5, 6, 9};  // a column of two
    DecodedImage image;
    testing::DescribeFloats(image, pixels, 1);
    const Bytes file = testing::WriteToMemory(image, ImageFileFormat::Pfm);
    EXPECT_EQ(file, WithPixels("PF\n1 2\n-1.000000\n", FloatBytes({4, 5, 6, 1, 2, 3}, false)));

    // R32F images are written as grey maps.
    image.format = D3DFMT_R32F;
    image.rowPitch = 16;
    ImageOutput output;
    ASSERT_EQ(output.Open(nullptr, OutputKind::Memory), S_OK);
    ASSERT_EQ(FindImageCodec(ImageFileFormat::Pfm)->write(image, output), S_OK);
    const Bytes greyFile(output.MemoryBytes(), output.MemoryBytes() + output.TotalBytes());
    EXPECT_EQ(greyFile, WithPixels("Pf\n1 2\n-1.000000\n", FloatBytes({4, 1}, false)));
}

}  // namespace
}  // namespace quillmark
