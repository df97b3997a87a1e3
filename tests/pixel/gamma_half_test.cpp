// The gamma curve (tables, interpolation, inputs outside [0, 1]) and the
// half-precision conversions.
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "codec_test_support.h"
#include "pixel/gamma_curve.h"
#include "pixel/half_float.h"

namespace quillmark {
namespace {

using testing::DescOver;
using testing::MustCreate;

TEST(Gamma, EndPointsAreExactInBothDirections) {
    for (bool unbounded : {false, true}) {
        EXPECT_EQ(GammaEncodeValue(0.0f, unbounded), 0.0f);
        EXPECT_EQ(GammaEncodeValue(1.0f, unbounded), 1.0f);
        EXPECT_EQ(GammaDecodeValue(0.0f, unbounded), 0.0f);
        EXPECT_EQ(GammaDecodeValue(1.0f, unbounded), 1.0f);
    }
}

TEST(Gamma, TablesFollowThePowerCurve) {
    EXPECT_FLOAT_EQ(GammaEncodeTable()[127], static_cast<float>(std::pow(127 / 254.0, 2 / 2.2)));
    EXPECT_FLOAT_EQ(GammaDecodeTable()[127], static_cast<float>(std::pow(127 / 254.0, 1.1)));
    EXPECT_EQ(GammaEncodeTable()[255], 1.0f);
    EXPECT_EQ(GammaDecodeTable()[255], 1.0f);
    for (float x : {0.01f, 0.2f, 0.5f, 0.73f, 0.99f}) {
        EXPECT_NEAR(GammaEncodeValue(x, false), std::pow(x, 1 / 2.2f), 2e-3f) << x;
        EXPECT_NEAR(GammaDecodeValue(x, false), std::pow(x, 2.2f), 2e-3f) << x;
    }
}

// Inputs the tables do not cover: NaN gives 0; bounded codecs clamp;
// float codecs use the exact power above 1 and 0 below 0.
TEST(Gamma, OutsideTheUnitInterval) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (bool unbounded : {false, true}) {
        EXPECT_EQ(GammaEncodeValue(nan, unbounded), 0.0f);
        EXPECT_EQ(GammaDecodeValue(nan, unbounded), 0.0f);
        EXPECT_EQ(GammaEncodeValue(-3.0f, unbounded), 0.0f);
        EXPECT_EQ(GammaDecodeValue(-0.5f, unbounded), 0.0f);
        EXPECT_EQ(SquareRootEncodeValue(-1.0f, unbounded), 0.0f);
    }
    EXPECT_EQ(GammaEncodeValue(4.0f, false), 1.0f);
    EXPECT_EQ(GammaDecodeValue(1e9f, false), 1.0f);
    EXPECT_FLOAT_EQ(GammaEncodeValue(4.0f, true), std::pow(4.0f, 1 / 2.2f));
    EXPECT_FLOAT_EQ(GammaDecodeValue(2.0f, true), std::pow(2.0f, 2.2f));
    EXPECT_FLOAT_EQ(SquareDecodeValue(3.0f, true), 9.0f);
    EXPECT_EQ(SquareDecodeValue(3.0f, false), 1.0f);
}

TEST(Gamma, MonotonicAcrossTheTableEnd) {
    float previous = -1.0f;
    for (float x = 0.0f; x < 3.0f; x += 0.001f) {
        const float y = GammaEncodeValue(x, true);
        EXPECT_GE(y, previous) << x;
        previous = y;
    }
}

TEST(Gamma, SourceCodecDecodesThroughTheCurve) {
    std::uint32_t pixels[1] = {0x80FF8000u};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_A8R8G8B8, 1, 1, 4);
    desc.Srgb = 1;
    auto codec = MustCreate(desc);
    FloatColor out;
    codec->DecodeRow(0, 0, &out);
    EXPECT_EQ(out.r, 1.0f);
    EXPECT_NEAR(out.g, std::pow(128 / 255.0f, 2.2f), 2e-3f);
    EXPECT_EQ(out.b, 0.0f);
    EXPECT_NEAR(out.a, 128 / 255.0f, 1e-6f);  // alpha stays linear
}

// Float sources may hold values the tables do not cover.
TEST(Gamma, FloatCodecsUseTheExactPowerOutsideTheTables) {
    const float values[4] = {4.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), 0.5f};
    float pixels[4];
    std::memcpy(pixels, values, sizeof pixels);
    SurfaceDesc desc = DescOver(pixels, D3DFMT_R32F, 4, 1, 16);
    desc.Srgb = 1;
    auto codec = MustCreate(desc);
    FloatColor out[4];
    codec->DecodeRow(0, 0, out);
    EXPECT_FLOAT_EQ(out[0].r, std::pow(4.0f, 2.2f));
    EXPECT_EQ(out[1].r, 0.0f);
    EXPECT_EQ(out[2].r, 0.0f);
    EXPECT_NEAR(out[3].r, std::pow(0.5f, 2.2f), 2e-3f);
    EXPECT_FLOAT_EQ(out[0].g, 1.0f);  // the filled channels pass through the curve at 1
}

TEST(Gamma, SignedCodecsDropTheFlagExceptL6V5U5) {
    BYTE bytes[8] = {};
    SurfaceDesc desc = DescOver(bytes, D3DFMT_V8U8, 1, 1, 8);
    desc.Srgb = 1;
    EXPECT_FALSE(MustCreate(desc)->Gamma());
    desc.Format = D3DFMT_Q8W8V8U8;
    EXPECT_FALSE(MustCreate(desc)->Gamma());
    desc.Format = D3DFMT_L6V5U5;
    EXPECT_TRUE(MustCreate(desc)->Gamma());
    desc.Format = D3DFMT_R16F;
    EXPECT_TRUE(MustCreate(desc)->Gamma());
}

TEST(Gamma, BothSidesGammaUseTheSquarePair) {
    std::uint32_t source[1] = {0xFF808080u};
    std::uint32_t destination[1] = {};
    SurfaceDesc from = DescOver(source, D3DFMT_A8R8G8B8, 1, 1, 4);
    SurfaceDesc to = DescOver(destination, D3DFMT_A8R8G8B8, 1, 1, 4);
    from.Srgb = to.Srgb = 1;
    auto src = MustCreate(from);
    auto dst = MustCreate(to);
    dst->AttachSource(*src);
    EXPECT_TRUE(src->BothGamma());
    FloatColor c;
    src->DecodeRow(0, 0, &c);
    EXPECT_FLOAT_EQ(c.r, (128 / 255.0f) * (128 / 255.0f));
    dst->EncodeRow(0, 0, &c);
    EXPECT_EQ(destination[0], 0xFF808080u);
}

TEST(HalfFloat, EncodesTheDocumentedValues) {
    EXPECT_EQ(FloatToHalf(65504.0f), 0x7BFF);
    EXPECT_EQ(FloatToHalf(131008.0f), 0x7FFF);
    EXPECT_EQ(FloatToHalf(1e6f), 0x7FFF);
    EXPECT_EQ(FloatToHalf(-1e6f), 0xFFFF);
    EXPECT_EQ(FloatToHalf(1.0f), 0x3C00);
    EXPECT_EQ(FloatToHalf(-2.0f), 0xC000);
    EXPECT_EQ(FloatToHalf(0.0f), 0x0000);
    EXPECT_EQ(FloatToHalf(-0.0f), 0x8000);
    EXPECT_EQ(FloatToHalf(std::ldexp(1.0f, -24)), 0x0001);  // smallest denormal
    EXPECT_EQ(FloatToHalf(std::ldexp(3.0f, -24)), 0x0003);
    EXPECT_EQ(FloatToHalf(1.0f + std::ldexp(1.0f, -11)), 0x3C00);  // tie to even
    EXPECT_EQ(FloatToHalf(1.0f + std::ldexp(3.0f, -11)), 0x3C02);
}

// Magnitudes below the smallest denormal become signed zero, including
// those whose exponent would shift the fraction out of range.
TEST(HalfFloat, TinyMagnitudesBecomeSignedZero) {
    EXPECT_EQ(FloatToHalf(1e-15f), 0x0000);
    EXPECT_EQ(FloatToHalf(-1e-15f), 0x8000);
    EXPECT_EQ(FloatToHalf(1e-30f), 0x0000);
    EXPECT_EQ(FloatToHalf(std::numeric_limits<float>::denorm_min()), 0x0000);
    EXPECT_EQ(FloatToHalf(std::ldexp(1.0f, -25)), 0x0000);  // half of the smallest denormal, tie to even
    EXPECT_EQ(FloatToHalf(std::ldexp(1.0f, -26)), 0x0000);
}

TEST(HalfFloat, DecodesEveryExponentAsOrdinary) {
    EXPECT_EQ(HalfToFloat(0x7FFF), 131008.0f);
    EXPECT_EQ(HalfToFloat(0x7C00), 65536.0f);
    EXPECT_EQ(HalfToFloat(0x0001), std::ldexp(1.0f, -24));
    EXPECT_EQ(HalfToFloat(0x03FF), std::ldexp(1023.0f, -24));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(HalfToFloat(0x8000)), 0x80000000u);
}

TEST(HalfFloat, EveryHalfSurvivesTheRoundTrip) {
    for (std::uint32_t h = 0; h <= 0xFFFF; ++h) {
        ASSERT_EQ(FloatToHalf(HalfToFloat(static_cast<std::uint16_t>(h))), h) << std::hex << h;
    }
}

}  // namespace
}  // namespace quillmark
