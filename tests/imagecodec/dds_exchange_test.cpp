// DDS files exchanged with other programs: block decoding against Pillow's
// decoder, our files read by Pillow and ImageMagick, files written by
// ImageMagick (the shared corpus and fresh ones) read here, and the block
// encoder's ordering invariant over photographs. Skipped, saying so, where a
// program or the corpus is missing.
#include "imagecodec/decoded_image.h"
#include "imagecodec/mapped_file.h"
#include "pixel/resample.h"
#include "pillow.h"

#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <unistd.h>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(QUILLMARK_CORPUS_DIR);

class DdsExchangeTest : public ::testing::Test {
protected:
    std::string PathOf(const std::string& name) const { return scratch_.PathOf(name); }

    testing::ScratchDirectory scratch_;
};

std::vector<BYTE> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Loaded {
    std::vector<BYTE> bytes;
    DecodedImage image;
    ImageInfo info{};
    HRESULT result = E_FAIL;
    explicit Loaded(const fs::path& path) : bytes(FileBytes(path)) {
        result = image.ReadImage(bytes.data(), static_cast<UINT>(bytes.size()), &info, TRUE);
    }
};

// A record over `pixels` in `format` (no chain).
void Describe(DecodedImage& image, D3DFORMAT format, UINT width, UINT height, UINT rowPitch, std::vector<BYTE>& pixels) {
    image.format = format;
    image.pixels = pixels.data();
    image.width = width;
    image.height = height;
    image.depth = 1;
    image.box = {0, 0, width, height, 0, 1};
    image.rowPitch = rowPitch;
    image.slicePitch = static_cast<UINT>(pixels.size());
}

// Random blocks cover both colour orders of DXT1 and both alpha modes of
// DXT5; Pillow's decoder and ours agree within one step.
TEST_F(DdsExchangeTest, RandomBlocksDecodeAsPillowDecodesThem) {
    if (!testing::HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    std::mt19937 random(11);
    for (const D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}) {
        const UINT blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
        std::vector<BYTE> blocks(16 * 16 * blockBytes);
        for (BYTE& b : blocks) b = static_cast<BYTE>(random());
        DecodedImage image;
        Describe(image, format, 64, 64, 16 * blockBytes, blocks);
        testing::Rgba ours, pillow;
        ASSERT_TRUE(testing::ToRgba(image, ours));
        const std::string path = PathOf("random.dds");
        ASSERT_EQ(image.WriteImage(path.c_str(), ImageFileFormat::Dds, OutputKind::AnsiPath), S_OK);
        ASSERT_TRUE(testing::ReadWithPillow(path, pillow)) << format;
        EXPECT_EQ(testing::CountDifferences(ours, pillow, 1, true), 0u) << format;
        image.pixels = nullptr;
    }
}

DWORD Picture(UINT x, UINT y) {
    const DWORD alpha = (x * 255 / 47) & 0xFF, red = (x * 5 + y * 3) & 0xFF, green = (y * 9) & 0xFF, blue = (x * y) & 0xFF;
    return alpha << 24 | red << 16 | green << 8 | blue;
}

// A 48 x 40 picture converted into `format` (with three further levels
// chained when `mips`), owned by the records.
void MakePicture(DecodedImage& top, D3DFORMAT format, bool mips) {
    std::vector<DWORD> argb(48 * 40);
    for (UINT y = 0; y < 40; ++y)
        for (UINT x = 0; x < 48; ++x) argb[y * 48 + x] = Picture(x, y);
    DecodedImage* level = &top;
    for (UINT l = 0; l < (mips ? 4u : 1u); ++l) {
        const UINT w = 48 >> l, h = 40 >> l;
        const UINT rowPitch = format == D3DFMT_A8R8G8B8 ? w * 4 : (w + 3) / 4 * (format == D3DFMT_DXT1 ? 8 : 16);
        const UINT rows = format == D3DFMT_A8R8G8B8 ? h : (h + 3) / 4;
        level->pixels = static_cast<BYTE*>(std::calloc(rows, rowPitch));
        level->ownsPixels = TRUE;
        level->format = format;
        level->width = w, level->height = h, level->depth = 1;
        level->box = {0, 0, w, h, 0, 1};
        level->rowPitch = rowPitch;
        level->slicePitch = rowPitch * rows;
        SurfaceDesc to, from;
        to.Data = level->pixels, to.Format = format, to.RowPitch = static_cast<INT>(rowPitch);
        to.Box = to.Extent = level->box;
        from.Data = reinterpret_cast<BYTE*>(argb.data()), from.Format = D3DFMT_A8R8G8B8, from.RowPitch = 48 * 4;
        from.Box = from.Extent = {0, 0, 48, 40, 0, 1};
        ASSERT_EQ(RunConversion(to, from, RESAMPLE_BOX), S_OK);
        if (l + 1 < (mips ? 4u : 1u)) level = level->nextLevel = new DecodedImage;
    }
}

// Our files read back identically here, and Pillow and ImageMagick decode
// their top level to our pixels.
TEST_F(DdsExchangeTest, OurFilesReadTheSameElsewhere) {
    const bool pillow = testing::HavePillow(), magick = testing::HaveImageMagick();
    if (!pillow && !magick) GTEST_SKIP() << "neither Pillow nor ImageMagick is installed";
    for (const D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_DXT1, D3DFMT_DXT5}) {
        DecodedImage image;
        MakePicture(image, format, true);
        const std::string path = PathOf("ours.dds");
        ASSERT_EQ(image.WriteImage(path.c_str(), ImageFileFormat::Dds, OutputKind::AnsiPath), S_OK);
        Loaded back(path);
        ASSERT_EQ(back.result, S_OK);
        EXPECT_EQ(back.info.MipLevels, 4u);
        EXPECT_EQ(back.image.format, format);
        EXPECT_EQ(std::memcmp(back.image.nextLevel->pixels, image.nextLevel->pixels, image.nextLevel->slicePitch), 0);
        testing::Rgba ours, theirs;
        ASSERT_TRUE(testing::ToRgba(back.image, ours));
        if (pillow) {
            ASSERT_TRUE(testing::ReadWithPillow(path, theirs)) << format;
            EXPECT_EQ(testing::CountDifferences(ours, theirs, 1, true), 0u) << "Pillow " << format;
        }
        if (magick) {
            ASSERT_TRUE(testing::ReadWithImageMagick(path, theirs)) << format;
            EXPECT_EQ(testing::CountDifferences(ours, theirs, 2, true), 0u) << "ImageMagick " << format;
        }
    }
}

struct CorpusFile {
    const char* name;
    D3DFORMAT format;
    UINT levels;
};

// ImageMagick's files: the right format and level count, the top level as
// ImageMagick decodes it, and same-format copies of every level unchanged.
TEST_F(DdsExchangeTest, CorpusFilesReadAsImageMagickReadsThem) {
    if (!fs::exists(kCorpus / "dds")) GTEST_SKIP() << "no shared corpus at " << kCorpus;
    if (!testing::HaveImageMagick()) GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
    for (const CorpusFile& file : {CorpusFile{"alpha_argb32_mips.dds", D3DFMT_A8R8G8B8, 6},
                                   CorpusFile{"alpha_dxt5_mips.dds", D3DFMT_DXT5, 7},
                                   CorpusFile{"cat_dxt1_mips.dds", D3DFMT_DXT1, 9},
                                   CorpusFile{"cat_rgb_nomips.dds", D3DFMT_R8G8B8, 1}}) {
        const fs::path path = kCorpus / "dds" / file.name;
        Loaded loaded(path);
        ASSERT_EQ(loaded.result, S_OK) << file.name;
        EXPECT_EQ(loaded.image.format, file.format) << file.name;
        EXPECT_EQ(loaded.info.MipLevels, file.levels) << file.name;
        testing::Rgba ours, theirs;
        ASSERT_TRUE(testing::ToRgba(loaded.image, ours));
        ASSERT_TRUE(testing::ReadWithImageMagick(path.string(), theirs));
        EXPECT_EQ(testing::CountDifferences(ours, theirs, 2, true), 0u) << file.name;

        for (DecodedImage* level = &loaded.image; level != nullptr; level = level->nextLevel) {
            std::vector<BYTE> copy(level->slicePitch);
            SurfaceDesc to, from;
            from.Data = level->pixels, to.Data = copy.data();
            from.Format = to.Format = level->format;
            from.RowPitch = to.RowPitch = static_cast<INT>(level->rowPitch);
            from.Box = from.Extent = to.Box = to.Extent = level->box;
            ASSERT_EQ(RunConversion(to, from, RESAMPLE_TRIANGLE), S_OK);
            EXPECT_EQ(std::memcmp(copy.data(), level->pixels, copy.size()), 0) << file.name << " " << level->width;
        }
    }
}

// Fresh files from ImageMagick with mips, block-compressed and not.
TEST_F(DdsExchangeTest, ImageMagickFilesReadWithTheirLevels) {
    if (!testing::HaveImageMagick()) GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
    struct Case {
        const char* options;
        D3DFORMAT format;
    };
    for (const Case& c : {Case{"-define dds:compression=dxt1", D3DFMT_DXT1},
                          Case{"-define dds:compression=dxt5", D3DFMT_DXT5},
                          Case{"-define dds:compression=none", D3DFMT_A8R8G8B8}}) {
        const std::string path = PathOf("magick.dds");
        const std::string command = std::string("convert -size 64x32 gradient:red-blue -alpha set -channel A -fx 'i/w' ") +
                                    c.options + " -define dds:mipmaps=3 " + testing::Quoted(path) + " 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        Loaded loaded(path);
        ASSERT_EQ(loaded.result, S_OK) << c.options;
        EXPECT_EQ(loaded.image.format, c.format);
        EXPECT_EQ(loaded.info.MipLevels, 4u) << c.options;
        testing::Rgba ours, theirs;
        ASSERT_TRUE(testing::ToRgba(loaded.image, ours));
        ASSERT_TRUE(testing::ReadWithImageMagick(path, theirs));
        EXPECT_EQ(testing::CountDifferences(ours, theirs, 2, true), 0u) << c.options;
    }
}

// Every four-colour block our encoder writes from a photograph has colour0
// > colour1, or colour0 = colour1 with all codes 0.
TEST_F(DdsExchangeTest, PhotographsEncodeToOrderedBlocks) {
    const fs::path photographs[] = {kCorpus / "dds" / "cat_rgb_nomips.dds", kCorpus / "bmp" / "V5_24_Bit.bmp",
                                    kCorpus / "bmp" / "Info_R8_G8_B8.bmp"};
    if (!fs::exists(photographs[0])) GTEST_SKIP() << "no shared corpus at " << kCorpus;
    for (const fs::path& photograph : photographs) {
        Loaded loaded(photograph);
        ASSERT_EQ(loaded.result, S_OK) << photograph;
        const DecodedImage& image = loaded.image;
        for (const D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT5}) {
            const UINT blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
            const UINT across = (image.width + 3) / 4, down = (image.height + 3) / 4;
            std::vector<BYTE> blocks(std::size_t{across} * down * blockBytes);
            SurfaceDesc to, from;
            to.Data = blocks.data(), to.Format = format, to.RowPitch = static_cast<INT>(across * blockBytes);
            from.Data = image.pixels, from.Format = image.format, from.RowPitch = static_cast<INT>(image.rowPitch);
            from.Palette = image.palette;
            to.Box = to.Extent = from.Box = from.Extent = image.box;
            ASSERT_EQ(RunConversion(to, from, RESAMPLE_NONE | RESAMPLE_DITHER), S_OK);
            for (std::size_t at = blockBytes - 8; at < blocks.size(); at += blockBytes) {
                const BYTE* colour = blocks.data() + at;
                const UINT colour0 = colour[0] | colour[1] << 8, colour1 = colour[2] | colour[3] << 8;
                const bool allZero = colour[4] == 0 && colour[5] == 0 && colour[6] == 0 && colour[7] == 0;
                const bool threeColour = format == D3DFMT_DXT1 && colour0 < colour1;  // only where alpha < 0.5
                EXPECT_TRUE(colour0 > colour1 || (colour0 == colour1 && allZero) || threeColour)
                    << photograph << " block at " << at;
            }
        }
    }
}

}  // namespace
}  // namespace quillmark
