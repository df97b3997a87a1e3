// Differences of two images: hand-worked figures, the reasons images cannot
// be compared, and the figures of files Pillow writes against Pillow's own
// arithmetic and ImageMagick's `compare -metric`.
#include "image_file_test_support.h"
#include "scratch_directory.h"
#include "texfile/difference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace quillmark {
namespace {

using testing::Bytes;
using testing::DdsFile;
using testing::DdsSpec;
using testing::ReadFile;

// 2 x 1 A8R8G8B8 DDS files of the given pixels (blue, green, red, alpha each).
Bytes TwoPixels(std::initializer_list<BYTE> pixels) { return DdsFile({.width = 2, .height = 1}, Bytes(pixels)); }

TEST(CompareImages, FiguresWorkedOutByHand) {
    const ReadFile a(TwoPixels({0, 0, 0, 255, 10, 20, 30, 255})), b(TwoPixels({0, 0, 51, 255, 10, 20, 30, 255}));
    ASSERT_EQ(a.result, S_OK);
    ASSERT_EQ(b.result, S_OK);
    ImageDifference d;
    ASSERT_EQ(CompareImages(a.image, b.image, d), S_OK);
    EXPECT_TRUE(d.incomparable.empty());
    ASSERT_EQ(d.levels.size(), 1u);
    const LevelDifference& level = d.levels[0];
    EXPECT_EQ(level.width, 2u);
    // Red differs by 51/255 = 0.2 in one of two pixels.
    const ChannelDifference& red = level.channels[0];
    EXPECT_NEAR(red.maximum, 0.2, 1e-6);
    EXPECT_NEAR(red.meanAbsolute, 0.1, 1e-6);
    EXPECT_NEAR(red.rootMeanSquare, std::sqrt(0.02), 1e-6);
    EXPECT_NEAR(red.peakSignalToNoise, -10 * std::log10(0.02), 1e-4);  // 16.99 dB
    EXPECT_DOUBLE_EQ(red.differingShare, 0.5);
    for (int c = 1; c < 4; ++c) {
        EXPECT_EQ(level.channels[c].maximum, 0.0) << c;
        EXPECT_TRUE(std::isinf(level.channels[c].peakSignalToNoise)) << c;
        EXPECT_EQ(level.channels[c].differingShare, 0.0) << c;
    }
    EXPECT_DOUBLE_EQ(level.differingShare, 0.5);
    EXPECT_NEAR(d.LargestDifference(), 0.2, 1e-6);
    // An image against itself: nothing differs.
    ImageDifference same;
    ASSERT_EQ(CompareImages(a.image, a.image, same), S_OK);
    EXPECT_EQ(same.LargestDifference(), 0.0);
    EXPECT_EQ(same.levels[0].differingShare, 0.0);
}

TEST(CompareImages, EveryLevelOfEveryFaceAndWhyShapesCannotBeCompared) {
    // 4 x 4 DXT1 files: two levels, one level, and a cube of one level.
    const DWORD dxt1 = MAKEFOURCC('D', 'X', 'T', '1');
    const ReadFile chain(DdsFile({.flags = 0x21007, .mipCount = 2, .fourCC = dxt1}, Bytes(16, 0x33)));
    const ReadFile other(DdsFile({.flags = 0x21007, .mipCount = 2, .fourCC = dxt1}, Bytes(16, 0x34)));
    const ReadFile single(DdsFile({.fourCC = dxt1}, Bytes(8, 0x33)));
    const ReadFile cube(DdsFile({.fourCC = dxt1, .caps2 = 0xFE00}, Bytes(48, 0x33)));
    const ReadFile wide(DdsFile({.width = 8, .fourCC = dxt1}, Bytes(16, 0x33)));
    for (const ReadFile* f : {&chain, &other, &single, &cube, &wide}) ASSERT_EQ(f->result, S_OK);
    ImageDifference d;
    ASSERT_EQ(CompareImages(chain.image, other.image, d), S_OK);
    ASSERT_EQ(d.levels.size(), 2u);
    EXPECT_EQ(d.levels[1].level, 1u);
    EXPECT_EQ(d.levels[1].width, 2u);
    EXPECT_GT(d.LargestDifference(), 0.0);
    const struct {
        const ReadFile& first;
        const ReadFile& second;
        const char* reason;
    } cases[] = {{chain, single, "the first has 2 levels, the second 1 level"},
                 {single, cube, "the first has 1 face, the second 6 faces"},
                 {single, wide, "the first is 4 x 4, the second 8 x 4"}};
    for (const auto& c : cases) {
        ASSERT_EQ(CompareImages(c.first.image, c.second.image, d), S_OK);
        EXPECT_EQ(d.incomparable, c.reason);
        EXPECT_TRUE(d.levels.empty());
    }
    ASSERT_EQ(CompareImages(cube.image, cube.image, d), S_OK);
    EXPECT_EQ(d.levels.size(), 6u);
    EXPECT_EQ(d.levels[5].face, 5u);
}

// Two RGBA files from Pillow: every channel's figures as Pillow's pixels
// give them in Python, and, for grey files, ImageMagick's PSNR, RMSE and MAE.
TEST(CompareImages, FiguresAgreeWithPillowAndImageMagick) {
    if (!testing::HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
    const testing::ScratchDirectory scratch;
    const std::string script =
        "import sys, random, math\n"
        "from PIL import Image\n"
        "random.seed(11)\n"
        "mode = sys.argv[3]\n"
        "a = Image.new(mode, (31, 19)); b = Image.new(mode, (31, 19))\n"
        "n = len(a.getbands())\n"
        "pa = [tuple(random.randrange(256) for _ in range(n)) for _ in range(31 * 19)]\n"
        "pb = [tuple(min(255, max(0, v + random.choice([0, 0, 1, -3, 17]))) for v in p) for p in pa]\n"
        "a.putdata(pa if n > 1 else [p[0] for p in pa]); b.putdata(pb if n > 1 else [p[0] for p in pb])\n"
        "a.save(sys.argv[1]); b.save(sys.argv[2])\n"
        "for c in range(n):\n"
        "    d = [abs(p[c] - q[c]) / 255 for p, q in zip(pa, pb)]\n"
        "    mse = sum(x * x for x in d) / len(d)\n"
        "    print(max(d), sum(d) / len(d), math.sqrt(mse), -10 * math.log10(mse), sum(1 for x in d if x) / len(d))\n";
    for (const char* mode : {"RGBA", "L"}) {
        const std::string pathA = scratch.PathOf(std::string(mode) + "_a.png");
        const std::string pathB = scratch.PathOf(std::string(mode) + "_b.png");
        std::istringstream theirs(testing::RunPython(scratch.Path(), script, pathA + " " + pathB + " " + mode));
        const ReadFile a(testing::FileBytes(pathA)), b(testing::FileBytes(pathB));
        ASSERT_EQ(a.result, S_OK) << mode;
        ASSERT_EQ(b.result, S_OK) << mode;
        ImageDifference d;
        ASSERT_EQ(CompareImages(a.image, b.image, d), S_OK);
        ASSERT_EQ(d.levels.size(), 1u);
        const int channels = std::string(mode) == "L" ? 1 : 4;
        for (int c = 0; c < channels; ++c) {
            double maximum, meanAbsolute, rms, psnr, share;
            ASSERT_TRUE(theirs >> maximum >> meanAbsolute >> rms >> psnr >> share) << mode;
            const ChannelDifference& ours = d.levels[0].channels[c];
            EXPECT_NEAR(ours.maximum, maximum, 1e-6) << mode << c;
            EXPECT_NEAR(ours.meanAbsolute, meanAbsolute, 1e-6) << mode << c;
            EXPECT_NEAR(ours.rootMeanSquare, rms, 1e-6) << mode << c;
            EXPECT_NEAR(ours.peakSignalToNoise, psnr, 1e-4) << mode << c;
            EXPECT_NEAR(ours.differingShare, share, 1e-9) << mode << c;
        }
        if (channels != 1 || !testing::HaveImageMagickCompare()) continue;
        // ImageMagick prints "PSNR" alone, "RMSE (normalised)" and "MAE (normalised)".
        const ChannelDifference& grey = d.levels[0].channels[0];
        const auto metric = [&](const char* name) {
            return testing::OutputOf("compare -metric " + std::string(name) + " " + pathA + " " + pathB + " null:",
                                     true);
        };
        EXPECT_NEAR(std::stod(metric("PSNR")), grey.peakSignalToNoise, 1e-3);
        const std::string rmse = metric("RMSE"), mae = metric("MAE");
        EXPECT_NEAR(std::stod(rmse.substr(rmse.find('(') + 1)), grey.rootMeanSquare, 1e-5) << rmse;
        EXPECT_NEAR(std::stod(mae.substr(mae.find('(') + 1)), grey.meanAbsolute, 1e-5) << mae;
    }
}

}  // namespace
}  // namespace quillmark
