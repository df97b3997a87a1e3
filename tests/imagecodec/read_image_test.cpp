// The reader dispatcher: arguments, recognition by content, the summary it
// reports and the numeric locale around the readers.
#include "bmp_test_files.h"
#include "imagecodec/decoded_image.h"
#include "imagecodec/read_failure.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

namespace quillmark {
namespace {

using testing::Bmp;
using testing::Bytes;
using testing::Dib;
using testing::DibSpec;

Bytes SmallBmp() {
    DibSpec spec;
    spec.width = 3, spec.height = 2, spec.bitCount = 24;
    return Bmp(Dib(spec, {}, Bytes(24, 9)));
}

TEST(ReadImage, NoBytesIsAnInvalidCall) {
    const Bytes file = SmallBmp();
    DecodedImage image;
    EXPECT_EQ(image.ReadImage(nullptr, 10, nullptr, TRUE), D3DERR_INVALIDCALL);
    EXPECT_EQ(image.ReadImage(file.data(), 0, nullptr, TRUE), D3DERR_INVALIDCALL);
}

TEST(ReadImage, NothingToDoReadsNothing) {
    const Bytes garbage(64, 0xEE);
    DecodedImage image;
    EXPECT_EQ(image.ReadImage(garbage.data(), 64, nullptr, FALSE), S_OK);
    EXPECT_EQ(image.pixels, nullptr);
}

TEST(ReadImage, UnrecognisedBytesAreUnreadable) {
    const Bytes garbage(64, 0xEE);
    DecodedImage image;
    ImageInfo info{};
    EXPECT_EQ(image.ReadImage(garbage.data(), 64, &info, TRUE), TEXERR_UNREADABLE);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.palette, nullptr);
}

// The first codec that recognises the bytes decides: a damaged file is not
// handed on to the readers after it (a bitmap whose header is cut also
// passes the headerless reader's first test), and the reason names it.
TEST(ReadImage, TheFirstFormatThatRecognisesTheBytesDecidesAndSaysWhy) {
    const Bytes whole = SmallBmp();
    Bytes lying = whole;
    lying[2] = 0xFF;  // a file size past the bytes
    DecodedImage image;
    EXPECT_EQ(image.ReadImage(lying.data(), static_cast<UINT>(lying.size()), nullptr, TRUE), TEXERR_UNREADABLE);
    EXPECT_EQ(LastReadFailure(), "it is a BMP file, but its file header gives 255 bytes where the file has " +
                                     std::to_string(lying.size()));
    // A reader's own reason comes with the format's name; a later read clears it.
    const Bytes ddsMagic = {'D', 'D', 'S', ' ', 1, 2, 3};
    EXPECT_EQ(image.ReadImage(ddsMagic.data(), static_cast<UINT>(ddsMagic.size()), nullptr, TRUE), TEXERR_UNREADABLE);
    EXPECT_EQ(LastReadFailure(), "it is a damaged or unsupported DDS file");
    const Bytes garbage(64, 0xEE);
    EXPECT_EQ(image.ReadImage(garbage.data(), 64, nullptr, TRUE), TEXERR_UNREADABLE);
    EXPECT_TRUE(LastReadFailure().empty());
    ASSERT_EQ(image.ReadImage(whole.data(), static_cast<UINT>(whole.size()), nullptr, TRUE), S_OK);
    EXPECT_TRUE(LastReadFailure().empty());
}

TEST(ReadImage, BitmapIsRecognisedAndSummarised) {
    const Bytes file = SmallBmp();
    DecodedImage image;
    ImageInfo info;
    std::memset(&info, 0xCD, sizeof(info));
    ASSERT_EQ(image.ReadImage(file.data(), static_cast<UINT>(file.size()), &info, TRUE), S_OK);
    EXPECT_EQ(info.Width, 3u);
    EXPECT_EQ(info.Height, 2u);
    EXPECT_EQ(info.Depth, 1u);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(info.Format, D3DFMT_R8G8B8);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
    EXPECT_EQ(info.ImageFileFormat, ImageFileFormat::Bmp);
    EXPECT_EQ(image.box.Right, 3u);
    EXPECT_EQ(image.box.Bottom, 2u);
    EXPECT_EQ(image.box.Back, 1u);
}

TEST(ReadImage, HeaderlessBitmapIsReadAsDib) {
    DibSpec spec;
    spec.width = 2, spec.height = 1, spec.bitCount = 32;
    const Bytes dib = Dib(spec, {}, Bytes(8, 0));
    DecodedImage image;
    ImageInfo info{};
    ASSERT_EQ(image.ReadImage(dib.data(), static_cast<UINT>(dib.size()), &info, FALSE), S_OK);
    EXPECT_EQ(info.ImageFileFormat, ImageFileFormat::Dib);
    EXPECT_EQ(info.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(image.pixels, nullptr);
}

TEST(ReadImage, NumericLocaleIsCDuringAndRestoredAfter) {
    const char* before = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = before != nullptr ? before : "C";
    const char* other = std::setlocale(LC_NUMERIC, "C.UTF-8");
    if (other == nullptr) GTEST_SKIP() << "no C.UTF-8 locale to switch from";
    const std::string expected = other;
    const Bytes file = SmallBmp();
    DecodedImage image;
    ImageInfo info{};
    EXPECT_EQ(image.ReadImage(file.data(), static_cast<UINT>(file.size()), &info, TRUE), S_OK);
    EXPECT_EQ(std::string(std::setlocale(LC_NUMERIC, nullptr)), expected);
    const Bytes garbage(8, 1);
    EXPECT_EQ(image.ReadImage(garbage.data(), 8, &info, TRUE), TEXERR_UNREADABLE);
    EXPECT_EQ(std::string(std::setlocale(LC_NUMERIC, nullptr)), expected);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace quillmark
