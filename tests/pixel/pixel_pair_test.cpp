// The packed-pair formats: YUV and RGBG decoding, pair encoding and the row
// cache that keeps the other pixel of a cut pair.
#include "codec_test_support.h"

namespace quillmark {
namespace {

using testing::DescOver;
using testing::ExpectColor;
using testing::MustCreate;

TEST(PixelPair, Yuy2BlackAndWhite) {
    BYTE pixels[4] = {16, 128, 235, 128};
    auto codec = MustCreate(DescOver(pixels, D3DFMT_YUY2, 2, 1, 4));
    EXPECT_FALSE(codec->LinearLayout());
    FloatColor out[2];
    ASSERT_EQ(codec->DecodeRow(0, 0, out), S_OK);
    ExpectColor(out[0], {0, 0, 0, 1});
    ExpectColor(out[1], {1, 1, 1, 1}, 1e-6f);
}

TEST(PixelPair, PureRedEncodesToTheDocumentedYuv) {
    BYTE yuy2[4] = {};
    BYTE uyvy[4] = {};
    FloatColor red[2] = {{1, 0, 0, 1}, {1, 0, 0, 1}};
    {
        auto codec = MustCreate(DescOver(yuy2, D3DFMT_YUY2, 2, 1, 4));
        ASSERT_EQ(codec->EncodeRow(0, 0, red), S_OK);
    }  // the destructor writes the cached row back
    EXPECT_EQ(yuy2[0], 81);   // Y0
    EXPECT_EQ(yuy2[1], 91);   // U
    EXPECT_EQ(yuy2[2], 81);   // Y1
    EXPECT_EQ(yuy2[3], 240);  // V
    {
        auto codec = MustCreate(DescOver(uyvy, D3DFMT_UYVY, 2, 1, 4));
        codec->EncodeRow(0, 0, red);
    }
    EXPECT_EQ(uyvy[0], 91);
    EXPECT_EQ(uyvy[1], 81);
    EXPECT_EQ(uyvy[2], 240);
    EXPECT_EQ(uyvy[3], 81);
}

TEST(PixelPair, RgbgSharesRedAndBlue) {
    BYTE rgbg[4] = {51, 255, 102, 0};  // G8R8_G8B8: R, G0, B, G1
    auto codec = MustCreate(DescOver(rgbg, D3DFMT_G8R8_G8B8, 2, 1, 4));
    FloatColor out[2];
    codec->DecodeRow(0, 0, out);
    ExpectColor(out[0], {0.2f, 1.0f, 0.4f, 1.0f}, 1e-6f);
    ExpectColor(out[1], {0.2f, 0.0f, 0.4f, 1.0f}, 1e-6f);

    BYTE r8g8[4] = {};
    {
        auto writer = MustCreate(DescOver(r8g8, D3DFMT_R8G8_B8G8, 2, 1, 4));
        FloatColor in[2] = {{0.2f, 0.4f, 0.6f, 1}, {0.8f, 1.0f, 0.0f, 1}};
        writer->EncodeRow(0, 0, in);
    }
    // R8G8_B8G8: G0, R, G1, B
    EXPECT_EQ(r8g8[0], 102);  // G0
    EXPECT_EQ(r8g8[1], 51);   // R (from pixel 0)
    EXPECT_EQ(r8g8[2], 255);  // G1
    EXPECT_EQ(r8g8[3], 153);  // B (from pixel 0)
}

// A box starting at an odd column cuts the first pair: writing its right
// pixel keeps the left one.
TEST(PixelPair, OddLeftKeepsTheNeighbourPixel) {
    // UYVY bytes U, Y0, V, Y1: a red pair, then a black pair.
    BYTE uyvy[8] = {91, 81, 240, 81, 128, 16, 128, 16};
    SurfaceDesc desc = DescOver(uyvy, D3DFMT_UYVY, 4, 1, 8);
    desc.Box = {1, 0, 3, 1, 0, 1};
    FloatColor before[4];
    {
        auto whole = MustCreate(DescOver(uyvy, D3DFMT_UYVY, 4, 1, 8));
        whole->DecodeRow(0, 0, before);
    }
    {
        auto codec = MustCreate(desc);
        ASSERT_EQ(codec->Width(), 2u);
        FloatColor in[2] = {before[1], before[2]};
        ASSERT_EQ(codec->EncodeRow(0, 0, in), S_OK);
    }
    EXPECT_EQ(uyvy[1], 81);  // Y0 of the first pair survives
    EXPECT_EQ(uyvy[5], 16);  // Y0 of the second pair
    auto whole = MustCreate(DescOver(uyvy, D3DFMT_UYVY, 4, 1, 8));
    FloatColor after[4];
    whole->DecodeRow(0, 0, after);
    ExpectColor(after[0], before[0], 0.01f);
}

}  // namespace
}  // namespace quillmark
