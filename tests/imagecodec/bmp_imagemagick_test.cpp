// Bitmaps exchanged with ImageMagick, an independent implementation: files we
// write read the same in ImageMagick, and files ImageMagick writes read the
// same in our reader. Skipped when ImageMagick is not installed.
#include "bmp_test_files.h"
#include "decoded_image.h"
#include "mapped_file.h"
#include "rgba_helpers.h"

#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

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
        ASSERT_EQ(file.Open(path.c_str(), false), S_OK) << name;
        DecodedImage image;
        ASSERT_EQ(image.ReadImage(file.Data(), file.Size(), nullptr, TRUE), S_OK) << name;
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

}  // namespace
}  // namespace quillmark
