// Descriptions of image files: shapes, level sizes and bytes, the DDS
// header's facts and what in them disagrees, worked out by hand; channel
// statistics against hand-worked values and Pillow's own.
#include "image_file_test_support.h"
#include "scratch_directory.h"
#include "texfile/describe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace quillmark {
namespace {

using testing::Bytes;
using testing::DdsFile;
using testing::DdsSpec;

bool Names(const std::vector<std::string>& found, const std::string& text) {
    return std::any_of(found.begin(), found.end(), [&](const std::string& s) { return s.find(text) != std::string::npos; });
}

std::string Joined(const std::vector<std::string>& found) {
    std::string all;
    for (const std::string& s : found) all += s + "; ";
    return all;
}

// 8 x 4 A8R8G8B8 with a chain claiming 5 levels (the size holds 4) and a
// pitch of 40 bytes (8 pixels take 32). Top-level pixel i: blue 8i, green 0,
// red 255 for the first half, alpha 255 for even i.
Bytes EightByFourWithFaults() {
    Bytes data;
    for (int i = 0; i < 32; ++i) data.insert(data.end(), {BYTE(8 * i), 0, BYTE(i < 16 ? 255 : 0), BYTE(i % 2 ? 0 : 255)});
    data.resize(128 + 32 + 8 + 4, 7);
    return DdsFile({.width = 8, .height = 4, .flags = 0x1007 | 0x8 | 0x20000, .pitchOrLinearSize = 40, .mipCount = 5},
                   data);
}

TEST(DescribeImage, DdsLevelsAndTheHeadersDisagreements) {
    const Bytes file = EightByFourWithFaults();
    ImageDescription d;
    ASSERT_EQ(DescribeImage(file.data(), static_cast<UINT>(file.size()), false, d), S_OK);
    EXPECT_EQ(d.fileFormatName, "DDS");
    EXPECT_EQ(d.formatName, "A8R8G8B8");
    EXPECT_EQ(d.resourceType, D3DRTYPE_TEXTURE);
    EXPECT_EQ(d.width, 8u);
    EXPECT_EQ(d.height, 4u);
    EXPECT_EQ(d.depth, 1u);
    EXPECT_EQ(d.levels, 4u);
    EXPECT_EQ(d.faces, 1u);
    const UINT sizes[4][3] = {{8, 4, 128}, {4, 2, 32}, {2, 1, 8}, {1, 1, 4}};
    ASSERT_EQ(d.levelFacts.size(), 4u);
    for (int l = 0; l < 4; ++l) {
        EXPECT_EQ(d.levelFacts[l].width, sizes[l][0]) << l;
        EXPECT_EQ(d.levelFacts[l].height, sizes[l][1]) << l;
        EXPECT_EQ(d.levelFacts[l].bytes, sizes[l][2]) << l;
    }
    EXPECT_EQ(d.totalBytes, 172u);
    ASSERT_TRUE(d.dds.has_value());
    EXPECT_EQ(d.dds->pitchOrLinearSize, 40u);
    EXPECT_EQ(d.dds->mipMapCount, 5u);
    EXPECT_EQ(d.dds->masks[3], 0xFF000000u);
    EXPECT_FALSE(d.dds->hasDx10);
    const auto& found = d.dds->inconsistencies;
    EXPECT_EQ(found.size(), 2u) << Joined(found);
    EXPECT_TRUE(Names(found, "the pitch 40 disagrees with the width 8 (32 bytes a row in A8R8G8B8)")) << Joined(found);
    EXPECT_TRUE(Names(found, "it gives 5 levels, but 8 x 4 holds at most 4")) << Joined(found);
    EXPECT_TRUE(d.statistics.empty());
}

TEST(DescribeImage, TopLevelStatisticsWorkedOutByHand) {
    const Bytes file = EightByFourWithFaults();
    ImageDescription d;
    ASSERT_EQ(DescribeImage(file.data(), static_cast<UINT>(file.size()), true, d), S_OK);
    ASSERT_EQ(d.statistics.size(), 4u);
    const struct {
        char channel;
        double minimum, maximum, mean;
    } expected[] = {{'R', 0, 1, 0.5}, {'G', 0, 0, 0}, {'B', 0, 248 / 255.0, 124 / 255.0}, {'A', 0, 1, 0.5}};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(d.statistics[c].channel, expected[c].channel);
        EXPECT_NEAR(d.statistics[c].minimum, expected[c].minimum, 1e-6) << expected[c].channel;
        EXPECT_NEAR(d.statistics[c].maximum, expected[c].maximum, 1e-6) << expected[c].channel;
        EXPECT_NEAR(d.statistics[c].mean, expected[c].mean, 1e-6) << expected[c].channel;
    }
}

// A DXT1 cube map: six faces of one 8-byte level, a linear size that
// disagrees (16 for 8 bytes); with the right one nothing is named.
TEST(DescribeImage, CubeFacesAndTheLinearSize) {
    for (const DWORD linearSize : {16u, 8u}) {
        const Bytes file = DdsFile({.flags = 0x1007 | 0x80000, .pitchOrLinearSize = linearSize,
                                    .fourCC = MAKEFOURCC('D', 'X', 'T', '1'), .caps2 = 0xFE00},
                                   Bytes(48, 0x55));
        ImageDescription d;
        ASSERT_EQ(DescribeImage(file.data(), static_cast<UINT>(file.size()), true, d), S_OK);
        EXPECT_EQ(d.formatName, "DXT1");
        EXPECT_EQ(d.resourceType, D3DRTYPE_CUBETEXTURE);
        EXPECT_EQ(d.faces, 6u);
        EXPECT_EQ(d.levels, 1u);
        ASSERT_EQ(d.levelFacts.size(), 1u);
        EXPECT_EQ(d.levelFacts[0].bytes, 8u);
        EXPECT_EQ(d.totalBytes, 48u);
        ASSERT_TRUE(d.dds.has_value());
        if (linearSize == 16) {
            EXPECT_TRUE(Names(d.dds->inconsistencies, "the linear size 16 disagrees with the 4 x 4 top level's 8 bytes"))
                << Joined(d.dds->inconsistencies);
        } else {
            EXPECT_TRUE(d.dds->inconsistencies.empty()) << Joined(d.dds->inconsistencies);
        }
    }
}

TEST(DescribeImage, UnreadableBytesAreRefused) {
    const Bytes junk = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    ImageDescription d;
    EXPECT_EQ(DescribeImage(junk.data(), static_cast<UINT>(junk.size()), true, d), TEXERR_UNREADABLE);
    // A DDS file one byte short of its top level.
    Bytes cut = EightByFourWithFaults();
    cut.resize(128 + 127);
    EXPECT_EQ(DescribeImage(cut.data(), static_cast<UINT>(cut.size()), false, d), TEXERR_UNREADABLE);
    EXPECT_EQ(DescribeImage(nullptr, 0, false, d), D3DERR_INVALIDCALL);
}

// The extrema and means of the bands of files Pillow writes, as Pillow reads
// them back (its ImageStat gives grey-with-alpha files the grey band twice).
TEST(DescribeImage, StatisticsAgreeWithPillow) {
    if (!testing::HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    const testing::ScratchDirectory scratch;
    const std::string script =
        "import sys, random\n"
        "from PIL import Image\n"
        "random.seed(5)\n"
        "im = Image.new(sys.argv[2], (23, 17))\n"
        "n = len(im.getbands())\n"
        "im.putdata([tuple(random.randrange(256) for _ in range(n)) if n > 1 else random.randrange(256)"
        " for _ in range(23 * 17)])\n"
        "im.save(sys.argv[1])\n"
        "back = Image.open(sys.argv[1])\n"
        "for band in range(n):\n"
        "    v = [p[band] if n > 1 else p for p in back.getdata()]\n"
        "    print(min(v), max(v), repr(sum(v) / len(v)))\n";
    for (const auto& [mode, channels] : {std::pair{"RGBA", "RGBA"}, {"L", "L"}, {"LA", "LA"}}) {
        const std::string path = scratch.PathOf(std::string(mode) + ".png");
        std::istringstream theirs(testing::RunPython(scratch.Path(), script, path + " " + mode));
        const Bytes file = testing::FileBytes(path);
        ASSERT_FALSE(file.empty()) << mode;
        ImageDescription d;
        ASSERT_EQ(DescribeImage(file.data(), static_cast<UINT>(file.size()), true, d), S_OK) << mode;
        ASSERT_EQ(d.statistics.size(), std::string(channels).size()) << mode;
        for (std::size_t c = 0; c < d.statistics.size(); ++c) {
            double lo = -1, hi = -1, mean = -1;
            ASSERT_TRUE(theirs >> lo >> hi >> mean) << mode;
            EXPECT_EQ(d.statistics[c].channel, channels[c]) << mode;
            EXPECT_NEAR(d.statistics[c].minimum * 255, lo, 1e-3) << mode << c;
            EXPECT_NEAR(d.statistics[c].maximum * 255, hi, 1e-3) << mode << c;
            EXPECT_NEAR(d.statistics[c].mean * 255, mean, 1e-3) << mode << c;
        }
    }
}

}  // namespace
}  // namespace quillmark
