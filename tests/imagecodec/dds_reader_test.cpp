// DDS files made by hand: the reader's edge cases, files that lie about
// their sizes, and chains that the writer and reader pass back and forth
// unchanged.
#include "dds_test_files.h"
#include "imagecodec/decoded_image.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/memory_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

namespace quillmark {
namespace {

struct PixelFormatBlock {
    DWORD size = 32, flags = 0, fourCC = 0, bits = 0, red = 0, green = 0, blue = 0, alpha = 0;
};

constexpr PixelFormatBlock kArgb = {32, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
constexpr PixelFormatBlock kDxt1 = {32, 0x4, MAKEFOURCC('D', 'X', 'T', '1')};

// The 128-byte prefix of a file followed by `dataBytes` bytes counting up.
std::vector<BYTE> DdsFile(UINT width, UINT height, PixelFormatBlock pf, std::size_t dataBytes, DWORD mipCount = 0,
                          DWORD depth = 0, DWORD caps2 = 0) {
    const DWORD flags = 0x1007 | (depth != 0 ? 0x800000u : 0u);
    const DWORD fields[32] = {0x20534444, 124,      flags,    height,   width,   0,       depth,    mipCount,
                              0,          0,        0,        0,        0,       0,       0,        0,
                              0,          0,        0,        pf.size,  pf.flags, pf.fourCC, pf.bits, pf.red,
                              pf.green,   pf.blue,  pf.alpha, 0x1000,   caps2,   0,       0,        0};
    std::vector<BYTE> file(128 + dataBytes);
    std::memcpy(file.data(), fields, sizeof fields);
    std::iota(file.begin() + 128, file.end(), BYTE{0});
    return file;
}

using Read = testing::DdsRead;

std::vector<const DecodedImage*> Levels(const DecodedImage& face) {
    std::vector<const DecodedImage*> levels;
    for (const DecodedImage* level = &face; level != nullptr; level = level->nextLevel) levels.push_back(level);
    return levels;
}

TEST(DdsReader, LevelsOfTinyAndVolumeChains) {
    Read tiny(DdsFile(1, 1, kDxt1, 24, 3));
    ASSERT_EQ(tiny.result, S_OK);
    EXPECT_EQ(tiny.info.Format, D3DFMT_DXT1);
    EXPECT_EQ(tiny.info.MipLevels, 1u);  // a 1 x 1 image has no further levels

    Read chain(DdsFile(16, 8, kArgb, (16 * 8 + 8 * 4 + 4 * 2 + 2 + 1) * 4, 5));  // no DDSD_MIPMAPCOUNT flag
    ASSERT_EQ(chain.result, S_OK);
    const auto levels = Levels(chain.image);
    ASSERT_EQ(levels.size(), 5u);
    EXPECT_EQ(levels[4]->width, 1u);
    EXPECT_EQ(levels[4]->pixels - levels[0]->pixels, (16 * 8 + 8 * 4 + 4 * 2 + 2) * 4);

    Read volume(DdsFile(4, 4, kArgb, (64 + 8 + 1) * 4, 3, 4, 0x200000));
    ASSERT_EQ(volume.result, S_OK);
    EXPECT_EQ(volume.info.ResourceType, D3DRTYPE_VOLUMETEXTURE);
    const auto slices = Levels(volume.image);
    ASSERT_EQ(slices.size(), 3u);
    EXPECT_EQ(slices[0]->depth, 4u);
    EXPECT_EQ(slices[1]->depth, 2u);
    EXPECT_EQ(slices[2]->depth, 1u);
}

TEST(DdsReader, RefusesFilesThatDoNotHoldWhatTheyClaim) {
    // A partial cube map.
    EXPECT_EQ(Read(DdsFile(4, 4, kArgb, 6 * 64, 1, 0, 0x200 | 0x400 | 0x800)).result, TEXERR_UNREADABLE);
    // A pixel-format block of the wrong size.
    PixelFormatBlock shortBlock = kArgb;
    shortBlock.size = 24;
    EXPECT_EQ(Read(DdsFile(4, 4, shortBlock, 64)).result, TEXERR_UNREADABLE);
    // A palette that the file is too short to hold.
    const PixelFormatBlock p8 = {32, 0x20, 0, 8};
    EXPECT_EQ(Read(DdsFile(2, 2, p8, 1000)).result, TEXERR_UNREADABLE);
    // Sizes whose products pass 32 bits, in a file with no pixels at all.
    EXPECT_EQ(Read(DdsFile(65536, 65536, kArgb, 0)).result, TEXERR_UNREADABLE);
    EXPECT_EQ(Read(DdsFile(32768, 32768, kArgb, 0)).result, TEXERR_UNREADABLE);
    EXPECT_EQ(Read(DdsFile(4096, 4096, kArgb, 16, 1, 256, 0x200000)).result, TEXERR_UNREADABLE);
}

// A huge level count on a 1 x 1 file creates one record, not billions.
TEST(DdsReader, LevelCountIsBoundedByTheFullChain) {
    Read read(DdsFile(1, 1, kArgb, 4, 0xFFFFFFFF));
    ASSERT_EQ(read.result, S_OK);
    EXPECT_EQ(read.info.MipLevels, 1u);
}

TEST(DdsReader, PalettesAndLuminance) {
    const PixelFormatBlock p8 = {32, 0x20, 0, 8};
    Read palettized(DdsFile(2, 2, p8, 1024 + 4 + 1, 2));
    ASSERT_EQ(palettized.result, S_OK);
    const auto levels = Levels(palettized.image);
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[0]->palette, levels[1]->palette);
    EXPECT_EQ(reinterpret_cast<const BYTE*>(levels[0]->palette) + 1024, levels[0]->pixels);

    const PixelFormatBlock luminance = {32, 0x20000, 0, 16, 0xFF};  // the bit count is not consulted
    Read l8(DdsFile(2, 2, luminance, 4));
    ASSERT_EQ(l8.result, S_OK);
    EXPECT_EQ(l8.image.format, D3DFMT_L8);
}

std::vector<BYTE> Written(DecodedImage& image) {
    MemoryBuffer* buffer = nullptr;
    EXPECT_EQ(image.WriteImage(&buffer, ImageFileFormat::Dds, OutputKind::Memory), S_OK);
    if (buffer == nullptr) return {};
    const auto* bytes = static_cast<const BYTE*>(buffer->GetBufferPointer());
    std::vector<BYTE> file(bytes, bytes + buffer->GetBufferSize());
    buffer->Release();
    return file;
}

// Files written here read back as the same chain: written again, they are
// the same bytes.
TEST(DdsWriter, ChainsTravelUnchanged) {
    const PixelFormatBlock a2r10g10b10 = {32, 0x41, 0, 32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000};
    const PixelFormatBlock dxt5 = {32, 0x4, MAKEFOURCC('D', 'X', 'T', '5')};
    const std::vector<BYTE> files[] = {
        DdsFile(8, 4, kArgb, (32 + 8 + 2 + 1) * 4, 4),
        DdsFile(8, 8, kDxt1, 6 * (32 + 8 + 8 + 8), 4, 0, 0xFE00),
        DdsFile(4, 4, dxt5, 16 * (4 + 2 + 1), 3, 4, 0x200000),
        DdsFile(6, 6, a2r10g10b10, 36 * 4),
    };
    for (const std::vector<BYTE>& file : files) {
        Read read(file);
        ASSERT_EQ(read.result, S_OK);
        const std::vector<BYTE> again = Written(read.image);
        const std::size_t header = 128;
        ASSERT_EQ(again.size(), file.size());
        EXPECT_TRUE(std::equal(file.begin() + header, file.end(), again.begin() + header));
        Read reread(again);
        ASSERT_EQ(reread.result, S_OK);
        EXPECT_EQ(reread.image.format, read.image.format);
        EXPECT_EQ(reread.info.MipLevels, read.info.MipLevels);
        EXPECT_EQ(reread.info.ResourceType, read.info.ResourceType);
        EXPECT_EQ(Written(reread.image), again);
    }
}

// The header has one level count for every face and either one face or all
// six: a cube whose faces differ is refused rather than written wrong.
TEST(DdsWriter, CubesWhoseFacesDifferAreRefused) {
    Read cube(DdsFile(8, 8, kDxt1, 6 * (32 + 8 + 8 + 8), 4, 0, 0xFE00));
    ASSERT_EQ(cube.result, S_OK);
    MemoryBuffer* buffer = nullptr;
    DecodedImage* third = cube.image.nextFace->nextFace;
    DecodedImage* lastLevel = third->nextLevel->nextLevel->nextLevel;
    third->nextLevel->nextLevel->nextLevel = nullptr;
    EXPECT_EQ(cube.image.WriteImage(&buffer, ImageFileFormat::Dds, OutputKind::Memory), E_FAIL);
    third->nextLevel->nextLevel->nextLevel = lastLevel;
    DecodedImage* fourth = cube.image.nextFace->nextFace->nextFace;
    DecodedImage* fifth = fourth->nextFace;
    fourth->nextFace = nullptr;  // four faces
    EXPECT_EQ(cube.image.WriteImage(&buffer, ImageFileFormat::Dds, OutputKind::Memory), E_FAIL);
    fourth->nextFace = fifth;
    ASSERT_EQ(cube.image.WriteImage(&buffer, ImageFileFormat::Dds, OutputKind::Memory), S_OK);
    buffer->Release();
}

}  // namespace
}  // namespace quillmark
