// DDS files with the DX10 header and the block formats Direct3D 9 lacks: the
// DXGI formats with a Direct3D 9 twin read as that format, BC4 to BC7 are
// decoded (checked by hand and against the shared corpus's reference
// decodes), and everything else is refused by name.
#include "codec_test_support.h"
#include "dds_test_files.h"
#include "imagecodec/decoded_image.h"
#include "imagecodec/read_failure.h"
#include "rgba_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using testing::DdsFile;
using testing::Dx10;
using testing::kDx10;
using Read = testing::DdsRead;

std::vector<BYTE> Counting(std::size_t count) {
    std::vector<BYTE> bytes(count);
    std::iota(bytes.begin(), bytes.end(), BYTE{0});
    return bytes;
}

TEST(DdsDx10, FormatsWithADirect3D9TwinReadAsThatFormatInPlace) {
    const struct {
        DWORD dxgi;
        D3DFORMAT format;
        UINT bytesPerPixel;
    } cases[] = {{28, D3DFMT_A8B8G8R8, 4}, {29, D3DFMT_A8B8G8R8, 4}, {87, D3DFMT_A8R8G8B8, 4},
                 {88, D3DFMT_X8R8G8B8, 4}, {24, D3DFMT_A2B10G10R10, 4}, {10, D3DFMT_A16B16G16R16F, 8},
                 {2, D3DFMT_A32B32G32R32F, 16}, {34, D3DFMT_G16R16F, 4}, {41, D3DFMT_R32F, 4},
                 {61, D3DFMT_L8, 1}, {11, D3DFMT_A16B16G16R16, 8}, {35, D3DFMT_G16R16, 4},
                 {54, D3DFMT_R16F, 2}, {56, D3DFMT_L16, 2}, {65, D3DFMT_A8, 1}, {85, D3DFMT_R5G6B5, 2},
                 {86, D3DFMT_A1R5G5B5, 2}, {16, D3DFMT_G32R32F, 8}, {115, D3DFMT_A4R4G4B4, 2}};
    for (const auto& c : cases) {
        const Dx10 dx10{.dxgi = c.dxgi};
        const std::vector<BYTE> data = Counting((16 + 4 + 1) * c.bytesPerPixel);
        const std::vector<BYTE> file = DdsFile(4, 4, 3, kDx10, &dx10, data);
        Read read(file);
        ASSERT_EQ(read.result, S_OK) << c.dxgi;
        EXPECT_EQ(read.image.format, c.format) << c.dxgi;
        EXPECT_EQ(read.info.MipLevels, 3u);
        EXPECT_EQ(read.image.pixels, read.file.data() + 148) << "the pixels follow the DX10 header";
        ASSERT_NE(read.image.nextLevel, nullptr);
        EXPECT_EQ(read.image.nextLevel->pixels, read.file.data() + 148 + 16 * c.bytesPerPixel);
        // One byte short of the last level.
        const std::vector<BYTE> cut(file.begin(), file.end() - 1);
        EXPECT_EQ(Read(cut).result, TEXERR_UNREADABLE) << c.dxgi;
    }
}

TEST(DdsDx10, CubesFromTheFlagArraysAndUnknownFormatsRefusedByName) {
    const Dx10 cube{.miscFlags = 0x4};
    Read cubeRead(DdsFile(2, 2, 1, kDx10, &cube, Counting(6 * 16)));
    ASSERT_EQ(cubeRead.result, S_OK);
    EXPECT_EQ(cubeRead.info.ResourceType, D3DRTYPE_CUBETEXTURE);
    int faces = 0;
    for (const DecodedImage* face = &cubeRead.image; face != nullptr; face = face->nextFace) ++faces;
    EXPECT_EQ(faces, 6);

    const Dx10 array{.arraySize = 2};
    EXPECT_EQ(Read(DdsFile(2, 2, 1, kDx10, &array, Counting(2 * 16))).result, TEXERR_UNREADABLE);
    EXPECT_NE(LastReadFailure().find("array of 2"), std::string_view::npos) << LastReadFailure();
    for (const auto& [dxgi, name] : {std::pair{26u, "DXGI_FORMAT_R11G11B10_FLOAT"}, {1000u, "DXGI format 1000"}}) {
        const Dx10 unknown{.dxgi = dxgi};
        EXPECT_EQ(Read(DdsFile(4, 4, 1, kDx10, &unknown, Counting(64))).result, TEXERR_UNREADABLE);
        EXPECT_NE(LastReadFailure().find(std::string("it holds ") + name + " pixels,"), std::string_view::npos)
            << LastReadFailure();
    }
    // A DX10 header cut short.
    const std::vector<BYTE> file = DdsFile(4, 4, 1, kDx10, &array, {});
    EXPECT_EQ(Read(std::vector<BYTE>(file.begin(), file.begin() + 140)).result, TEXERR_UNREADABLE);
}

// Typeless block formats read as their UNORM forms: the same bytes give the
// same pixels.
TEST(DdsDx10, TypelessBlocksReadAsTheirUnormForms) {
    const std::vector<BYTE> blocks = Counting(4 * 16);
    for (const auto& [typeless, unorm] :
         {std::pair{70u, 71u}, {73u, 74u}, {76u, 77u}, {79u, 80u}, {82u, 83u}, {94u, 95u}, {97u, 98u}}) {
        const Dx10 typelessHeader{.dxgi = typeless}, unormHeader{.dxgi = unorm};
        Read a(DdsFile(8, 8, 1, kDx10, &typelessHeader, blocks)), b(DdsFile(8, 8, 1, kDx10, &unormHeader, blocks));
        ASSERT_EQ(a.result, S_OK) << typeless << " " << LastReadFailure();
        ASSERT_EQ(b.result, S_OK) << unorm;
        EXPECT_EQ(a.image.format, b.image.format) << typeless;
        const UINT bytes = a.image.slicePitch;
        ASSERT_EQ(bytes, b.image.slicePitch);
        EXPECT_EQ(std::memcmp(a.image.pixels, b.image.pixels, bytes), 0) << typeless;
    }
}

// R8G8 pixels keep red in red and green in green, as BC5 blocks do: blue 0,
// opaque alpha; the same values through a BC5 block of constant channels
// give the same pixel.
TEST(DdsDx10, RedGreenPixelsDecodeAsBc5Does) {
    const Dx10 rg{.dxgi = 49};
    Read read(DdsFile(2, 1, 1, kDx10, &rg, {200, 30, 7, 255}));
    ASSERT_EQ(read.result, S_OK) << LastReadFailure();
    EXPECT_EQ(read.image.format, D3DFMT_A8R8G8B8);
    const BYTE expected[8] = {0, 30, 200, 255, 0, 255, 7, 255};  // blue, green, red, alpha
    EXPECT_EQ(std::memcmp(read.image.pixels, expected, 8), 0);
    // A BC5 block whose channels are 200 and 30 everywhere (both endpoints equal).
    std::vector<BYTE> bc5 = {200, 200, 0, 0, 0, 0, 0, 0, 30, 30, 0, 0, 0, 0, 0, 0};
    const Dx10 bc5Header{.dxgi = 83};
    Read block(DdsFile(4, 4, 1, kDx10, &bc5Header, bc5));
    ASSERT_EQ(block.result, S_OK);
    EXPECT_EQ(std::memcmp(block.image.pixels, expected, 4), 0);
}

// A texture cannot be a volume and a cube at once, nor an array of none.
TEST(DdsDx10, VolumeCubesAndEmptyArraysAreRefusedInWords) {
    const Dx10 volumeCube{.dimension = 4, .miscFlags = 0x4};
    EXPECT_EQ(Read(DdsFile(2, 2, 1, kDx10, &volumeCube, Counting(6 * 16))).result, TEXERR_UNREADABLE);
    EXPECT_NE(LastReadFailure().find("both a volume and a cube map"), std::string_view::npos) << LastReadFailure();
    const Dx10 empty{.arraySize = 0};
    EXPECT_EQ(Read(DdsFile(2, 2, 1, kDx10, &empty, Counting(16))).result, TEXERR_UNREADABLE);
    EXPECT_NE(LastReadFailure().find("array size of 0"), std::string_view::npos) << LastReadFailure();
    // The header's own flags: depth 2 (DDSD_DEPTH, caps2 volume) and all six cube faces.
    std::vector<BYTE> file = DdsFile(2, 2, 1, MAKEFOURCC('D', 'X', 'T', '1'), nullptr, Counting(12 * 8));
    const DWORD flags = 0x21007 | 0x800000, depth = 2, caps2 = 0xFE00 | 0x200000;
    std::memcpy(file.data() + 8, &flags, 4);
    std::memcpy(file.data() + 24, &depth, 4);
    std::memcpy(file.data() + 112, &caps2, 4);
    EXPECT_EQ(Read(file).result, TEXERR_UNREADABLE);
    EXPECT_NE(LastReadFailure().find("both a volume (depth) and a cube map"), std::string_view::npos)
        << LastReadFailure();
}

// One BC4 channel block: endpoints and 3-bit codes for pixels 0..15.
std::vector<BYTE> ChannelBlock(BYTE e0, BYTE e1, const std::vector<int>& codes) {
    std::uint64_t bits = 0;
    for (std::size_t p = 0; p < codes.size(); ++p) bits |= std::uint64_t(codes[p]) << (3 * p);
    std::vector<BYTE> block = {e0, e1};
    for (int i = 0; i < 6; ++i) block.push_back(BYTE(bits >> (8 * i)));
    return block;
}

// Values worked out by hand from the block rule: with e0 > e1 code k
// (2..7) is ((8 - k) e0 + (k - 1) e1) / 7; otherwise codes 2..5 are
// ((6 - k) e0 + (k - 1) e1) / 5 and 6, 7 the ends of the range.
TEST(DdsDx10, Bc4AndBc5BlocksDecodeToTheirValues) {
    const std::vector<int> codes = {0, 1, 2, 3, 4, 5, 6, 7, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<BYTE> eight = ChannelBlock(210, 0, codes);    // 210, 0, 180, 150, ..., 30
    const std::vector<BYTE> six = ChannelBlock(0, 100, codes);      // 0, 100, 20, 40, 60, 80, 0, 255
    for (const DWORD fourCC : {MAKEFOURCC('A', 'T', 'I', '1'), MAKEFOURCC('B', 'C', '4', 'U')}) {
        Read read(DdsFile(4, 4, 1, fourCC, nullptr, eight));
        ASSERT_EQ(read.result, S_OK);
        EXPECT_EQ(read.image.format, D3DFMT_L8);
        EXPECT_EQ(std::vector<BYTE>(read.image.pixels, read.image.pixels + 8),
                  std::vector<BYTE>({210, 0, 180, 150, 120, 90, 60, 30}));
    }
    // BC5: red from the first block, green from the second, blue 0, opaque.
    std::vector<BYTE> bc5 = eight;
    bc5.insert(bc5.end(), six.begin(), six.end());
    const Dx10 bc5Header{.dxgi = 83};
    for (const std::vector<BYTE>& file : {DdsFile(4, 4, 1, MAKEFOURCC('A', 'T', 'I', '2'), nullptr, bc5),
                                          DdsFile(4, 4, 1, kDx10, &bc5Header, bc5)}) {
        Read read(file);
        ASSERT_EQ(read.result, S_OK);
        EXPECT_EQ(read.image.format, D3DFMT_A8R8G8B8);
        const BYTE* p = read.image.pixels;
        const BYTE green[8] = {0, 100, 20, 40, 60, 80, 0, 255}, red[8] = {210, 0, 180, 150, 120, 90, 60, 30};
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(p[4 * i], 0) << i;
            EXPECT_EQ(p[4 * i + 1], green[i]) << i;
            EXPECT_EQ(p[4 * i + 2], red[i]) << i;
            EXPECT_EQ(p[4 * i + 3], 255) << i;
        }
    }
    // Signed: endpoints 127 and -127 (0x81); -128 counts as -127.
    const Dx10 signedBc4{.dxgi = 81};
    Read read(DdsFile(4, 4, 1, kDx10, &signedBc4, ChannelBlock(127, 0x80, codes)));
    ASSERT_EQ(read.result, S_OK);
    EXPECT_EQ(read.image.format, D3DFMT_V8U8);
    const signed char expected[8] = {127, -127, 91, 54, 18, -18, -54, -91};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(static_cast<signed char>(read.image.pixels[2 * i]), expected[i]) << i;
}

// A 2 x 2 BC4 image still takes a whole block; its pixels are those of the
// block's top-left corner.
TEST(DdsDx10, BlocksOfSmallLevelsAreCut) {
    const std::vector<int> codes = {0, 1, 0, 0, 1, 0};
    Read read(DdsFile(2, 2, 1, MAKEFOURCC('B', 'C', '4', 'U'), nullptr, ChannelBlock(9, 4, codes)));
    ASSERT_EQ(read.result, S_OK);
    EXPECT_EQ(read.image.rowPitch, 2u);
    EXPECT_EQ(std::vector<BYTE>(read.image.pixels, read.image.pixels + 4), std::vector<BYTE>({9, 4, 4, 9}));
}

const fs::path kCorpus = fs::path(QUILLMARK_CORPUS_DIR) / "dds";

// The corpus's DX10 files against their reference decodes (top level, 8 bits
// per channel, made by another library).
TEST(DdsDx10, CorpusFilesMatchTheirReferences) {
    if (!fs::exists(kCorpus)) GTEST_SKIP() << "no corpus at " << kCorpus;
    if (!testing::HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    const struct {
        const char* name;
        D3DFORMAT format;
        UINT levels;
        int tolerance;  // steps of 1/255 per channel
    } files[] = {{"DXGI_FORMAT_R8G8B8A8_UNORM_SRGB.dds", D3DFMT_A8B8G8R8, 1, 0},
                 // The reference interpolates BC5 channels in integers
                 // (truncating), and rounds BC6H's half floats to 8 bits its
                 // own way (clamped to [0, 1]): one step apart at most.
                 {"bc5_unorm.dds", D3DFMT_A8R8G8B8, 9, 1},
                 {"ati2.dds", D3DFMT_A8R8G8B8, 9, 1},
                 {"bc6h.dds", D3DFMT_A16B16G16R16F, 8, 1},
                 {"bc7-argb-8bpp_MipMaps-1.dds", D3DFMT_A8R8G8B8, 1, 0}};
    for (const auto& f : files) {
        const std::vector<BYTE> bytes = testing::ReadFileBytes(kCorpus / f.name);
        Read read(bytes);
        ASSERT_EQ(read.result, S_OK) << f.name;
        EXPECT_EQ(read.image.format, f.format) << f.name;
        EXPECT_EQ(read.info.MipLevels, f.levels) << f.name;
        testing::Rgba ours, theirs;
        ASSERT_TRUE(testing::ToRgba(read.image, ours));
        ASSERT_TRUE(testing::ReadWithImageMagick((kCorpus / "reference" / (std::string(f.name) + ".png")).string(),
                                                 theirs));
        EXPECT_EQ(testing::CountDifferences(ours, theirs, f.tolerance, true), 0u) << f.name;
    }
}

}  // namespace
}  // namespace quillmark
