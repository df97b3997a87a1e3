// The writer dispatcher: which formats and file types it takes, conversion
// to a format the file type holds, and file and memory destinations.
#include "codec_test_support.h"
#include "file_size_limit.h"
#include "imagecodec/decoded_image.h"
#include "imagecodec/memory_buffer.h"
#include "platform/win32/winbase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

using testing::Describe;

// Writes to memory and reads the result back.
HRESULT WriteAndReadBack(DecodedImage& image, ImageFileFormat fileFormat, DecodedImage& back, DWORD* size = nullptr) {
    MemoryBuffer* buffer = nullptr;
    HRESULT result = image.WriteImage(&buffer, fileFormat, OutputKind::Memory);
    if (FAILED(result)) return result;
    if (size != nullptr) *size = buffer->GetBufferSize();
    std::vector<BYTE> bytes(static_cast<BYTE*>(buffer->GetBufferPointer()),
                            static_cast<BYTE*>(buffer->GetBufferPointer()) + buffer->GetBufferSize());
    buffer->Release();
    // The record may point into the bytes: keep them alive in a static.
    static std::vector<BYTE> keep;
    keep = std::move(bytes);
    return back.ReadImage(keep.data(), static_cast<UINT>(keep.size()), nullptr, TRUE);
}

TEST(WriteImage, FileTypesWithoutWriterAreRefusedAndCreateNothing) {
    const fs::path path = fs::temp_directory_path() / ("qm_refused_" + std::to_string(getpid()) + ".tga");
    std::vector<BYTE> pixels(4);
    DecodedImage image;
    Describe(image, D3DFMT_X8R8G8B8, pixels, 1, 1, 4);
    for (ImageFileFormat f : {ImageFileFormat::Tga, ImageFileFormat::Ppm, static_cast<ImageFileFormat>(99)}) {
        EXPECT_EQ(image.WriteImage(path.string().c_str(), f, OutputKind::AnsiPath), D3DERR_INVALIDCALL);
        EXPECT_FALSE(fs::exists(path));
    }
}

TEST(WriteImage, MemoryBufferHoldsExactlyTheBytesWritten) {
    std::vector<BYTE> pixels(3 * 4 * 2, 0x21);
    DecodedImage image;
    Describe(image, D3DFMT_X8R8G8B8, pixels, 3, 2, 12);
    DecodedImage back;
    DWORD size = 0;
    ASSERT_EQ(WriteAndReadBack(image, ImageFileFormat::Dib, back, &size), S_OK);
    EXPECT_EQ(size, 40u + 2 * 12 + 2);
    EXPECT_EQ(back.fileFormat, ImageFileFormat::Dib);
}

TEST(WriteImage, FailedSaveLeavesTheMemoryDestinationAlone) {
    std::vector<BYTE> pixels(4);
    DecodedImage image;
    Describe(image, D3DFMT_X8R8G8B8, pixels, 1, 1, 4);
    auto* sentinel = reinterpret_cast<MemoryBuffer*>(0x1234);
    MemoryBuffer* buffer = sentinel;
    EXPECT_EQ(image.WriteImage(&buffer, ImageFileFormat::Tga, OutputKind::Memory), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer, sentinel);
}

TEST(WriteImage, PalettedImageKeepsItsPaletteOnlyWhenItHasOne) {
    std::vector<BYTE> pixels = {0, 1, 2, 3};
    std::vector<PALETTEENTRY> palette(256, PALETTEENTRY{0, 0, 0, 255});
    palette[1] = PALETTEENTRY{255, 0, 0, 255};
    DecodedImage withPalette;
    Describe(withPalette, D3DFMT_P8, pixels, 4, 1, 4);
    withPalette.palette = palette.data();
    DecodedImage back;
    ASSERT_EQ(WriteAndReadBack(withPalette, ImageFileFormat::Bmp, back), S_OK);
    EXPECT_EQ(back.format, D3DFMT_P8);
    EXPECT_EQ(back.pixels[1], 1);
    EXPECT_EQ(back.palette[1].peRed, 255);

    DecodedImage without;
    Describe(without, D3DFMT_P8, pixels, 4, 1, 4);
    DecodedImage converted;
    ASSERT_EQ(WriteAndReadBack(without, ImageFileFormat::Bmp, converted), S_OK);
    EXPECT_EQ(converted.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(without.format, D3DFMT_A8R8G8B8);  // converted in place
    EXPECT_TRUE(without.ownsPixels);
    // Without a palette every index reads as opaque white.
    for (int i = 0; i < 16; ++i) EXPECT_EQ(converted.pixels[i], 255) << i;
}

TEST(WriteImage, FormatsABitmapCannotHoldAreConvertedToTheClosestOne) {
    // Alpha only: the closest listed format with an alpha channel and the
    // fewest bits per pixel is A8R3G3B2.
    std::vector<BYTE> pixels = {0x80, 0xFF, 0, 0};
    DecodedImage image;
    Describe(image, D3DFMT_A8, pixels, 2, 1, 4);
    DecodedImage back;
    ASSERT_EQ(WriteAndReadBack(image, ImageFileFormat::Bmp, back), S_OK);
    ASSERT_EQ(back.format, D3DFMT_A8R3G3B2);
    EXPECT_EQ(back.pixels[1], 0x80);
    EXPECT_EQ(back.pixels[3], 0xFF);
}

TEST(WriteImage, ExistingFileIsReplaced) {
    const fs::path path = fs::temp_directory_path() / ("qm_replace_" + std::to_string(getpid()) + ".bmp");
    { std::ofstream(path, std::ios::binary) << "not a bitmap at all"; }
    std::vector<BYTE> pixels(720 * 4 * 3, 0x7F);
    DecodedImage image;
    Describe(image, D3DFMT_X8R8G8B8, pixels, 720, 3, 720 * 4);
    ASSERT_EQ(image.WriteImage(path.string().c_str(), ImageFileFormat::Bmp, OutputKind::AnsiPath), S_OK);
    EXPECT_EQ(fs::file_size(path), 14u + 40 + 720 * 4 * 3 + 2);
    const std::string narrow = path.string();
    const std::u16string widePath(narrow.begin(), narrow.end());
    ASSERT_EQ(image.WriteImage(widePath.c_str(), ImageFileFormat::Dib, OutputKind::WidePath), S_OK);
    EXPECT_EQ(fs::file_size(path), 40u + 720 * 4 * 3 + 2);
    fs::remove(path);
}

// A save the system cannot complete fails with the system's reason, whatever
// the writer; the file that was there is kept.
TEST(WriteImage, FailedWritesGiveTheSystemsReason) {
    const fs::path path = fs::temp_directory_path() / ("qm_limit_" + std::to_string(getpid()) + ".bmp");
    { std::ofstream(path, std::ios::binary) << "kept"; }
    std::vector<BYTE> pixels(300 * 4 * 300, 0x3C);
    DecodedImage image;
    Describe(image, D3DFMT_X8R8G8B8, pixels, 300, 300, 300 * 4);
    for (const ImageFileFormat format : {ImageFileFormat::Bmp, ImageFileFormat::Dds, ImageFileFormat::Pfm}) {
        HRESULT result;
        {
            testing::FileSizeLimit limit(70000);
            result = image.WriteImage(path.string().c_str(), format, OutputKind::AnsiPath);
        }
        EXPECT_EQ(result, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)) << int(format);
        EXPECT_EQ(fs::file_size(path), 4u);
    }
    fs::remove(path);
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(image.WriteImage("/dev/full", ImageFileFormat::Bmp, OutputKind::AnsiPath),
                  HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE));
    }
}

TEST(WriteImage, EmptyImagesAndMissingDestinationsAreRefused) {
    std::vector<BYTE> pixels(4);
    DecodedImage image;
    Describe(image, D3DFMT_X8R8G8B8, pixels, 0, 1, 4);
    MemoryBuffer* buffer = nullptr;
    EXPECT_EQ(image.WriteImage(&buffer, ImageFileFormat::Bmp, OutputKind::Memory), D3DERR_INVALIDCALL);
    Describe(image, D3DFMT_X8R8G8B8, pixels, 1, 1, 4);
    EXPECT_EQ(image.WriteImage(nullptr, ImageFileFormat::Bmp, OutputKind::AnsiPath), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer, nullptr);
}

}  // namespace
}  // namespace quillmark

namespace quillmark {
namespace {

TEST(WriteImage, ConversionBufferSizeIsComputedIn64Bits) {
    // 65536 x 65536 at 2 bytes per pixel is 2^33 bytes: a 32-bit product
    // would wrap to 0 and the conversion would write far past a tiny block.
    std::vector<BYTE> pixels(16);
    DecodedImage image;
    image.format = D3DFMT_A8;  // converted to A8R3G3B2, 2 bytes per pixel
    image.pixels = pixels.data();
    image.width = image.height = 65536;
    image.depth = 1;
    image.rowPitch = 65536;
    image.box = D3DBOX{0, 0, 65536, 65536, 0, 1};
    MemoryBuffer* buffer = nullptr;
    EXPECT_EQ(image.WriteImage(&buffer, ImageFileFormat::Bmp, OutputKind::Memory), E_OUTOFMEMORY);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(image.pixels, pixels.data());
}

}  // namespace
}  // namespace quillmark
