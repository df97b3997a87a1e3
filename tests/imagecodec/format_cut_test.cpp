// Cut files: every file of TGA, PPM, PFM and HDR, cut anywhere before its
// last byte, is refused by its reader (each cut held in a block of exactly
// its size, so the sanitizer build sees any read past it).
#include "codec_test_support.h"

#include <gtest/gtest.h>

namespace quillmark {
namespace {

using testing::Bytes;
using testing::BytesOf;

Bytes Written(ImageFileFormat fileFormat, UINT width, UINT height) {
    std::vector<float> pixels;
    for (UINT i = 0; i < width * height; ++i) pixels.insert(pixels.end(), {i * 0.5f, 1.0f / (i + 1), 3, 1});
    DecodedImage image;
    testing::DescribeFloats(image, pixels, width);
    return testing::WriteToMemory(image, fileFormat);
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(FormatCuts, EveryCutOfAFileIsRefusedByItsReader) {
    const Bytes tgaHeader = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0};
    Bytes tgaRunLength = tgaHeader;
    tgaRunLength[2] = 10;
    const struct {
        ImageReadFunction reader;
        Bytes file;
    } files[] = {
        {FindImageCodec(ImageFileFormat::Tga)->read, Concat(tgaHeader, Bytes(18, 7))},
        {FindImageCodec(ImageFileFormat::Tga)->read, Concat(tgaRunLength, {0x82, 1, 2, 3, 0x02, 4, 5, 6, 7, 8, 9, 1, 2, 3})},
        {FindImageCodec(ImageFileFormat::Ppm)->read, BytesOf("P3\n# comment\n2 1\n255\n1 2 3\n4 5 6")},
        {FindImageCodec(ImageFileFormat::Ppm)->read, BytesOf("P6 2 1 255\n123456")},
        {FindImageCodec(ImageFileFormat::Pfm)->read, Written(ImageFileFormat::Pfm, 3, 2)},
        {FindImageCodec(ImageFileFormat::Hdr)->read, Written(ImageFileFormat::Hdr, 3, 2)},
        {FindImageCodec(ImageFileFormat::Hdr)->read, Written(ImageFileFormat::Hdr, 9, 2)},
    };
    for (const auto& [reader, file] : files) {
        DecodedImage whole;
        ASSERT_EQ(testing::ReadWith(reader, testing::ExactInput(file), whole), S_OK);
        for (std::size_t n = 0; n < file.size(); ++n) {
            const testing::ExactInput cut(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)));
            DecodedImage image;
            EXPECT_EQ(testing::ReadWith(reader, cut, image), E_FAIL)
                << std::string(file.begin(), file.begin() + 2) << " cut at " << n;
        }
    }
}

}  // namespace
}  // namespace quillmark
