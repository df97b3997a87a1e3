// Ordered dither and error diffusion against rows worked out by hand.
#include "codec_test_support.h"

namespace quillmark {
namespace {

using testing::DescOver;
using testing::MustCreate;

// Constant 0.5 grey into R5G6B5 with ordered dither: red and blue are
// 15.5 and green 31.5 before the threshold, so each field rounds up exactly
// where the threshold is at least 0.5. Odd rows run right to left, so the
// threshold of pixel x there is the one of position 3 - x.
TEST(OrderedDither, HalfGreyInto565) {
    std::uint16_t pixels[4][4] = {};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_R5G6B5, 4, 4, 8);
    desc.Dither = 1;
    auto codec = MustCreate(desc);
    for (UINT y = 0; y < 4; ++y) {
        std::vector<FloatColor> row(4, FloatColor{0.5f, 0.5f, 0.5f, 1.0f});
        codec->EncodeRow(y, 0, row.data());
    }
    const int wantRed[4][4] = {{16, 15, 16, 15}, {16, 15, 16, 15}, {16, 15, 16, 15}, {16, 15, 16, 15}};
    int roundedUp = 0;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const int red = pixels[y][x] >> 11;
            const int green = (pixels[y][x] >> 5) & 63;
            const int blue = pixels[y][x] & 31;
            EXPECT_EQ(red, wantRed[y][x]) << y << "," << x;
            EXPECT_EQ(green, wantRed[y][x] + 16) << y << "," << x;
            EXPECT_EQ(blue, wantRed[y][x]) << y << "," << x;
            roundedUp += red == 16 ? 1 : 0;
        }
    }
    EXPECT_EQ(roundedUp, 8);
}

// The slice index shifts the threshold column: slice 1 row 0 starts at the
// second threshold (0.46875), so pixel 0 rounds down.
TEST(OrderedDither, SliceShiftsTheThresholdColumn) {
    std::uint16_t pixels[2][4] = {};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_R5G6B5, 4, 1, 8, 2, 8);
    desc.Dither = 1;
    auto codec = MustCreate(desc);
    std::vector<FloatColor> row(4, FloatColor{0.5f, 0.5f, 0.5f, 1.0f});
    codec->EncodeRow(0, 1, row.data());
    const int want[4] = {15, 16, 15, 16};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(pixels[1][x] >> 11, want[x]) << x;
}

std::vector<FloatColor> AlphaRow(std::initializer_list<float> scaled) {
    std::vector<FloatColor> row;
    for (float v : scaled) row.push_back({0, 0, 0, v / 255.0f});
    return row;
}

// D3DFMT_A8 with diffusion; values given in steps of the 8-bit grid.
// Row 1 runs right to left: pixel 2 (127.5) rounds to 128 and hands -0.5 x
// 7/16 to pixel 1 (127.6 -> 127.38 -> 127), whose +0.38125 x 7/16 lifts
// pixel 0 (127.4 -> 127.57 -> 128). Left to right the result would be
// 127, 128, 127.
TEST(ErrorDiffusion, OddRowsRunRightToLeft) {
    BYTE pixels[3][3] = {};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_A8, 3, 3, 3);
    desc.DiffusionDither = 1;
    auto codec = MustCreate(desc);
    std::vector<FloatColor> row1 = AlphaRow({127.4f, 127.6f, 127.5f});
    codec->EncodeRow(1, 0, row1.data());
    EXPECT_EQ(pixels[1][0], 128);
    EXPECT_EQ(pixels[1][1], 127);
    EXPECT_EQ(pixels[1][2], 128);

    // The errors left below row 1 (in grid steps): pixel 0 -0.11155,
    // pixel 1 +0.00667, pixel 2 -0.08477. A flat 127.5 row then gives
    // 127, 128, 127 instead of the 128, 127, 128 it gives on its own.
    std::vector<FloatColor> row2 = AlphaRow({127.5f, 127.5f, 127.5f});
    codec->EncodeRow(2, 0, row2.data());
    EXPECT_EQ(pixels[2][0], 127);
    EXPECT_EQ(pixels[2][1], 128);
    EXPECT_EQ(pixels[2][2], 127);
}

TEST(ErrorDiffusion, FlatRowWithoutCarry) {
    BYTE pixels[3] = {};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_A8, 3, 1, 3);
    desc.DiffusionDither = 1;
    auto codec = MustCreate(desc);
    std::vector<FloatColor> row = AlphaRow({127.5f, 127.5f, 127.5f});
    codec->EncodeRow(0, 0, row.data());
    EXPECT_EQ(pixels[0], 128);
    EXPECT_EQ(pixels[1], 127);
    EXPECT_EQ(pixels[2], 128);
}

// Luminance carries its error as L: R, G and B each receive it, and their
// weights add up to one. 127.6 steps: 128 (error -0.4, 7/16 ahead),
// 127.425 -> 127 (error +0.425), 127.786 -> 128; without the carry along
// the row every pixel would be 128.
TEST(ErrorDiffusion, LuminanceCarriesTheErrorOfL) {
    BYTE pixels[3] = {};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_L8, 3, 1, 3);
    desc.DiffusionDither = 1;
    auto codec = MustCreate(desc);
    const float v = 127.6f / 255.0f;
    std::vector<FloatColor> row(3, FloatColor{v, v, v, 1.0f});
    codec->EncodeRow(0, 0, row.data());
    EXPECT_EQ(pixels[0], 128);
    EXPECT_EQ(pixels[1], 127);
    EXPECT_EQ(pixels[2], 128);
}

// The plain thresholds round halves up: A1R5G5B5 alpha 0.49 -> 0, 0.5 -> 1.
TEST(PlainRounding, OneBitAlpha) {
    std::uint16_t pixels[2] = {};
    auto codec = MustCreate(DescOver(pixels, D3DFMT_A1R5G5B5, 2, 1, 4));
    std::vector<FloatColor> row = {{0, 0, 0, 0.49f}, {0, 0, 0, 0.5f}};
    codec->EncodeRow(0, 0, row.data());
    EXPECT_EQ(pixels[0] >> 15, 0);
    EXPECT_EQ(pixels[1] >> 15, 1);
}

TEST(PlainRounding, OutOfRangeValuesClampWithoutSpilling) {
    std::uint32_t pixels[3] = {};
    auto codec = MustCreate(DescOver(pixels, D3DFMT_A8R8G8B8, 3, 1, 12));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<FloatColor> row = {{2.0f, -1.0f, 1e30f, -1e30f}, {nan, 0.5f, nan, 1.0f}, {1, 1, 1, 1}};
    codec->EncodeRow(0, 0, row.data());
    EXPECT_EQ(pixels[0], 0x00FF00FFu);
    EXPECT_EQ(pixels[1], 0xFF008000u);
    EXPECT_EQ(pixels[2], 0xFFFFFFFFu);
}

TEST(PlainRounding, XBitsAreWrittenAsZero) {
    std::uint32_t x8[1] = {0xFFFFFFFFu};
    std::uint16_t x1[1] = {0xFFFF};
    auto a = MustCreate(DescOver(x8, D3DFMT_X8R8G8B8, 1, 1, 4));
    auto b = MustCreate(DescOver(x1, D3DFMT_X1R5G5B5, 1, 1, 2));
    std::vector<FloatColor> row = {{1, 1, 1, 1}};
    a->EncodeRow(0, 0, row.data());
    b->EncodeRow(0, 0, row.data());
    EXPECT_EQ(x8[0], 0x00FFFFFFu);
    EXPECT_EQ(x1[0], 0x7FFF);
}

}  // namespace
}  // namespace quillmark
