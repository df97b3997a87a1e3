// TGA, PPM, PFM and HDR files exchanged with independent programs: files
// that ImageMagick, Pillow and oiiotool write read in our readers as those
// programs read them, and oiiotool reads the PFM and HDR files we write as we
// meant them. Each program's part is skipped when it is not installed.
#include "codec_test_support.h"
#include "imagecodec/mapped_file.h"
#include "rgba_helpers.h"

#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

class FormatExchange : public ::testing::Test {
protected:
    std::string PathOf(const std::string& name) const { return scratch_.PathOf(name); }

    // Our decode of the file at `path` through ReadImage.
    static HRESULT Decode(const std::string& path, MappedFile& file, DecodedImage& image) {
        const HRESULT opened = file.Open(path.c_str(), false);
        return FAILED(opened) ? opened : image.ReadImage(file.Data(), file.Size(), nullptr, TRUE);
    }

    // Our decode and Pillow's (or ImageMagick's) of the file at `path` as 8-bit RGBA.
    static void ExpectSameAs(bool pillow, const std::string& path, int tolerance, bool compareAlpha) {
        MappedFile file;
        DecodedImage image;
        ASSERT_EQ(Decode(path, file, image), S_OK) << path;
        testing::Rgba ours, theirs;
        ASSERT_TRUE(testing::ToRgba(image, ours)) << path;
        if (pillow) ASSERT_TRUE(testing::ReadWithPillow(path, theirs)) << path;
        else ASSERT_TRUE(testing::ReadWithImageMagick(path, theirs)) << path;
        EXPECT_EQ(testing::CountDifferences(ours, theirs, tolerance, compareAlpha), 0u) << path;
    }

    // Our decode and oiiotool's of the float file at `path`.
    static void ExpectSameAsOiio(const std::string& path, float relative) {
        MappedFile file;
        DecodedImage image;
        ASSERT_EQ(Decode(path, file, image), S_OK) << path;
        std::vector<float> theirs;
        ASSERT_TRUE(testing::ReadFloatsWithOiio(path, image.width, image.height, theirs)) << path;
        EXPECT_EQ(testing::CountFloatDifferences(image, theirs, relative, 1e-8f), 0u) << path;
    }

    // A 37 x 23 picture with shapes and, when `alpha`, a ramp in alpha.
    std::string Source(bool alpha) {
        const std::string path = PathOf(alpha ? "source_alpha.png" : "source.png");
        const std::string ramp = alpha ? " -alpha set -channel A -fx 'i/w' +channel" : "";
        EXPECT_EQ(testing::RunQuietly("convert -size 37x23 gradient:red-blue -fill green -draw 'circle 10,10 15,15'" +
                                      ramp + " " + path),
                  0);
        return path;
    }

    testing::ScratchDirectory scratch_;
};

// ImageMagick keeps a TGA's rows in file order when converting to raw RGBA
// (it records the origin instead of applying it), so Pillow's reading is the
// reference for TGA files, whoever wrote them.
TEST_F(FormatExchange, TgaFilesOthersWriteReadAsPillowReadsThem) {
    if (!testing::HaveImageMagick() || !testing::HavePillow())
        GTEST_SKIP() << "ImageMagick or Pillow (python3-pil) is not installed";
    const std::string source = Source(false), alpha = Source(true);
    const std::pair<std::string, std::string> magick[] = {
        {source, "-compress none"}, {source, "-compress RLE"}, {source, "-orient TopLeft"},
        {source, "-type palette"},  {source, "-type palette -compress RLE"},
        {source, "-colorspace gray -type grayscale -compress RLE"}, {alpha, "-type truecoloralpha -compress RLE"},
    };
    int index = 0;
    for (const auto& [input, options] : magick) {
        const std::string path = PathOf("magick" + std::to_string(index++) + ".tga");
        ASSERT_EQ(testing::RunQuietly("convert " + input + " " + options + " " + path), 0) << options;
        ExpectSameAs(true, path, 0, true);
    }
    const char* pillow[] = {"'RGB', orientation=1", "'RGB', compression='tga_rle'",
                            "'RGB', orientation=1, compression='tga_rle'", "'RGBA', compression='tga_rle'",
                            "'P'", "'L', orientation=1", "'LA'"};
    for (const char* variant : pillow) {
        const std::string path = PathOf("pillow" + std::to_string(index++) + ".tga");
        const std::string mode = std::string(variant).substr(0, std::string(variant).find(','));
        const std::string options = std::string(variant).substr(mode.size());
        const std::string script = "from PIL import Image; Image.open('" + alpha + "').convert(" + mode + ").save('" +
                                   path + "'" + options + ")";
        ASSERT_EQ(testing::RunQuietly(std::string(testing::kSystemPython) + " -c \"" + script + "\""), 0) << variant;
        ExpectSameAs(true, path, 0, true);
    }
}

TEST_F(FormatExchange, PortableMapsImageMagickWritesReadAsItReadsThem) {
    if (!testing::HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    const std::string source = Source(false);
    // 8-bit samples exactly; other maxima within one step of rounding.
    const std::pair<std::string, int> variants[] = {
        {"-depth 8 -compress none", 0}, {"-depth 8", 0},         {"-depth 4", 1},
        {"-depth 4 -compress none", 1}, {"-depth 16 -compress none", 1},
    };
    int index = 0;
    for (const auto& [options, tolerance] : variants) {
        const std::string path = PathOf("magick" + std::to_string(index++) + ".ppm");
        ASSERT_EQ(testing::RunQuietly("convert " + source + " " + options + " " + path), 0) << options;
        ExpectSameAs(false, path, tolerance, false);
    }
    if (!testing::HaveProgram("oiiotool")) GTEST_SKIP() << "oiiotool (openimageio-tools) is not installed";
    for (const char* endian : {"LSB", "MSB"}) {
        const std::string path = PathOf(std::string(endian) + ".pfm");
        ASSERT_EQ(testing::RunQuietly("convert " + source + " -endian " + endian + " " + path), 0);
        ExpectSameAsOiio(path, 0);
    }
}

// oiiotool reads a mantissa m as m × 2^(E − 136), we read it as the middle of
// its step, (m + 0.5) × 2^(E − 136): at most 1/256 of the pixel's largest
// channel (whose mantissa is at least 128) apart.
TEST_F(FormatExchange, HdrFilesOthersWriteReadAsOiioReadsThem) {
    const float halfStep = 1.0f / 256;
    if (!testing::HaveProgram("oiiotool")) GTEST_SKIP() << "oiiotool (openimageio-tools) is not installed";
    // Run-length scanlines from width 8 on, flat ones below.
    for (const char* size : {"37x23", "5x3"}) {
        const std::string path = PathOf(std::string("oiio") + size + ".hdr");
        ASSERT_EQ(testing::RunQuietly(std::string("oiiotool --pattern fill:topleft=0.01,0.2,3:topright=400,5,0:") +
                                      "bottomleft=0,0,0:bottomright=1e-4,7e4,1 " + size + " 3 -o " + path),
                  0);
        ExpectSameAsOiio(path, halfStep);
    }
    if (!testing::HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    for (const char* size : {"37x23", "5x3"}) {
        const std::string path = PathOf(std::string("magick") + size + ".hdr");
        ASSERT_EQ(testing::RunQuietly("convert -size " + std::string(size) + " gradient:red-blue " + path), 0);
        ExpectSameAsOiio(path, halfStep);
    }
}

// Writes a `width` x 5 picture spanning many magnitudes as `fileFormat` and
// compares oiiotool's reading with the picture.
void ExpectOiioReadsWhatWeWrite(const std::string& path, ImageFileFormat fileFormat, UINT width, float relative) {
    const UINT height = 5;
    std::vector<float> pixels;
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x)
            pixels.insert(pixels.end(), {std::ldexp(1.0f + x % 7 * 0.1f, int(x % 40) - 20), y * 0.25f,
                                         (x + y) % 3 * 1e3f, 1.0f});
    DecodedImage image;  // already in the writers' format: written without conversion
    testing::DescribeFloats(image, pixels, width);
    ASSERT_EQ(image.WriteImage(path.c_str(), fileFormat, OutputKind::AnsiPath), S_OK) << path;
    std::vector<float> theirs;
    ASSERT_TRUE(testing::ReadFloatsWithOiio(path, width, height, theirs)) << path;
    EXPECT_EQ(testing::CountFloatDifferences(image, theirs, relative, 1e-8f), 0u) << path;
}

TEST_F(FormatExchange, OiioReadsThePfmAndHdrFilesWeWrite) {
    if (!testing::HaveProgram("oiiotool")) GTEST_SKIP() << "oiiotool (openimageio-tools) is not installed";
    for (UINT width : {1u, 7u, 8u, 300u}) {
        const std::string name = "ours" + std::to_string(width);
        ExpectOiioReadsWhatWeWrite(PathOf(name + ".pfm"), ImageFileFormat::Pfm, width, 1e-6f);
        // RGBE keeps 8 bits of the largest channel: the others lose up to 1/128 of it.
        ExpectOiioReadsWhatWeWrite(PathOf(name + ".hdr"), ImageFileFormat::Hdr, width, 1.0f / 128);
    }
}

}  // namespace
}  // namespace quillmark
