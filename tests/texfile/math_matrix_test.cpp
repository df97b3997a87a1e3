// Matrix functions: hand-worked products, rotations, camera matrices and the
// two normalisations.
#include "texfile/library_switches.h"
#include "texfile/math/math_dispatch.h"
#include "platform/processor/processor_features.h"
#include "platform/win32/system_override.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace quillmark {
namespace {

Matrix FromRows(std::initializer_list<std::initializer_list<float>> rows) {
    Matrix m{};
    int r = 0;
    for (auto row : rows) {
        int c = 0;
        for (float v : row) m.m[r][c++] = v;
        ++r;
    }
    return m;
}

void ExpectNear(const Matrix& actual, const Matrix& expected, float tolerance) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(actual.m[r][c], expected.m[r][c], tolerance) << r << "," << c;
}

TEST(MatMultiply, HandWorkedProductAndAliasing) {
    const Matrix a = FromRows({{1, 2, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {3, 0, 0, 1}});
    const Matrix b = FromRows({{2, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {0, 0, 5, 1}});
    const Matrix expected = FromRows({{2, 6, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {6, 0, 5, 1}});
    Matrix out;
    MatMultiply(&out, &a, &b);
    ExpectNear(out, expected, 0);

    Matrix m = a;
    EXPECT_EQ(MatMultiply(&m, &m, &b), &m);
    ExpectNear(m, expected, 0);

    Matrix n = b;
    MatMultiply(&n, &a, &n);
    ExpectNear(n, expected, 0);
}

TEST(MatMultiply, SseAndPortableAgreeBitForBit) {
    Matrix a, b;
    for (int i = 0; i < 16; ++i) {
        a.m[i / 4][i % 4] = std::sin(static_cast<float>(i) * 1.7f) * 3.1f;
        b.m[i / 4][i % 4] = std::cos(static_cast<float>(i) * 0.9f) / 1.3f;
    }
    Matrix portable, sse;
    math_impl::MultiplyPortable(&portable, &a, &b);
    math_impl::MultiplySse(&sse, &a, &b);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(portable.m[i / 4][i % 4], sse.m[i / 4][i % 4]);
}

TEST(MatRotate, QuarterTurnAboutZAndX) {
    Matrix z;
    MatRotateZ(&z, 3.14159265f / 2);
    ExpectNear(z, FromRows({{0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}), 1e-6f);

    Matrix x;
    MatRotateX(&x, 3.14159265f / 2);
    ExpectNear(x, FromRows({{1, 0, 0, 0}, {0, 0, 1, 0}, {0, -1, 0, 0}, {0, 0, 0, 1}}), 1e-6f);
}

TEST(MatLookAtLeft, CameraOnNegativeZLookingAtOrigin) {
    const Vector3 eye{0, 0, -5}, at{0, 0, 0}, up{0, 1, 0};
    Matrix view;
    MatLookAtLeft(&view, &eye, &at, &up);
    ExpectNear(view, FromRows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 5, 1}}), 1e-4f);
}

// fovY pi/2: half is 0.7853982, whose sine and cosine both round to
// 0x3F3504F3, so yScale is 1 exactly (in double and rounded once it would
// be 0x3F7FFFFF); Q = 101 / 100.
TEST(MatPerspectiveLeft, RightAngleFieldOfView) {
    Matrix projection;
    MatPerspectiveLeft(&projection, 3.14159265f / 2, 1.0f, 1.0f, 101.0f);
    EXPECT_EQ(projection.m[0][0], 1.0f);
    EXPECT_EQ(projection.m[1][1], 1.0f);
    EXPECT_EQ(projection.m[2][2], 1.01f);
    EXPECT_EQ(projection.m[2][3], 1.0f);
    EXPECT_EQ(projection.m[3][2], -1.01f);
    EXPECT_EQ(projection.m[3][3], 0.0f);
}

// fovY 1 and 2: the rounded sine and cosine of 0.5 and of 1 divided in
// single precision give 0x3FEA4D6B and 0x3F24602E; the quotient taken in
// double and rounded once would give 0x3FEA4D6C and 0x3F24602F.
TEST(MatPerspectiveLeft, QuotientOfRoundedSineAndCosine) {
    Matrix projection;
    MatPerspectiveLeft(&projection, 1.0f, 1.0f, 1.0f, 2.0f);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(projection.m[1][1]), 0x3FEA4D6Bu);
    MatPerspectiveLeft(&projection, 2.0f, 1.0f, 1.0f, 2.0f);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(projection.m[1][1]), 0x3F24602Eu);
}

TEST(MatPerspectiveLeft, EqualPlanesGiveInfinity) {
    Matrix projection;
    MatPerspectiveLeft(&projection, 1.0f, 1.0f, 2.0f, 2.0f);
    EXPECT_TRUE(std::isinf(projection.m[2][2]));
}

TEST(Normalize, PortableForm) {
    Vector3 v{0, 3, 4};
    math_impl::NormalizePortable(&v, &v);
    EXPECT_FLOAT_EQ(v.y, 0.6f);
    EXPECT_FLOAT_EQ(v.z, 0.8f);

    Vector3 zero{0, 0, 0}, out{9, 9, 9};
    math_impl::NormalizePortable(&out, &zero);
    EXPECT_EQ(out.x, 0.0f);
    EXPECT_EQ(out.y, 0.0f);
    EXPECT_EQ(out.z, 0.0f);

    // Below the smallest normal float the result is zero, not a huge vector.
    Vector3 tiny{1e-20f, 0, 0};
    math_impl::NormalizePortable(&out, &tiny);
    EXPECT_EQ(out.x, 0.0f);

    // Within 2^-23 of unit length the vector is kept bit for bit.
    Vector3 unit{1.0f, 1e-4f, 0};
    math_impl::NormalizePortable(&out, &unit);
    EXPECT_EQ(out.x, 1.0f);
    EXPECT_EQ(out.y, 1e-4f);
}

TEST(Normalize, PlainX86FormUsesTheSegmentTable) {
    Vector3 v{0, 3, 4};
    math_impl::NormalizePlainX86(&v, &v);
    EXPECT_NEAR(v.y, 0.6f, 1e-4f);
    EXPECT_NEAR(v.z, 0.8f, 1e-4f);

    Vector3 zero{0, 0, 0};
    math_impl::NormalizePlainX86(&zero, &zero);
    EXPECT_EQ(zero.x + zero.y + zero.z, 0.0f);

    // Within 1e-5 of unit length the vector is kept unchanged.
    Vector3 nearUnit{1.000004f, 0, 0}, out;
    math_impl::NormalizePlainX86(&out, &nearUnit);
    EXPECT_EQ(out.x, 1.000004f);

    // Across many magnitudes the approximation stays within 1e-4 relative.
    for (float scale = 1e-15f; scale < 1e15f; scale *= 7.3f) {
        Vector3 w{scale, scale * 0.5f, -scale * 0.25f}, n;
        math_impl::NormalizePlainX86(&n, &w);
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        EXPECT_NEAR(length, 1.0f, 1e-4f) << scale;
    }
}

TEST(Normalize, SegmentTableHoldsItsFixedRows) {
    float slope, offset;
    math_impl::RsqrtSegment(0, &slope, &offset);
    EXPECT_EQ(slope, -1.4101f);
    EXPECT_EQ(offset, 2.11926f);
    math_impl::RsqrtSegment(256, &slope, &offset);
    EXPECT_EQ(slope, -0.49854f);
    EXPECT_EQ(offset, 1.49854f);
    math_impl::RsqrtSegment(511, &slope, &offset);
    EXPECT_EQ(slope, -0.17703f);
    EXPECT_EQ(offset, 1.06117f);
    // The rows between are chords of 1/sqrt(m): close to the curve at the
    // middle of their segment.
    for (unsigned i = 1; i < 511; ++i) {
        if (i == 256) continue;
        math_impl::RsqrtSegment(i, &slope, &offset);
        const double start = i < 256 ? 0.5 : 1.0;
        const double middle = start + (i % 256 + 0.5) * start / 256;
        EXPECT_NEAR(middle * slope + offset, 1 / std::sqrt(middle), 1e-5) << i;
    }
}

// |(1, 0, -1)|^2 = 2 has mantissa 0.5 in segment 0 and factor 0.5:
// (0.5 x -1.4101 + 2.11926) x 0.5 = 0.707105 (0x3F3504D6).
TEST(Normalize, PlainX86FormOfAHandWorkedVector) {
    const Vector3 v{1, 0, -1};
    Vector3 out;
    math_impl::NormalizePlainX86(&out, &v);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(out.x), 0x3F3504D6u);
    EXPECT_EQ(out.z, -out.x);
}

class MathDispatch : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override {
        unsetenv("QUILLMARK_REG_DisablePSGP");
        unsetenv("QUILLMARK_REG_DisableTexLibPSGP");
        win32::ClearProcessorFeatureOverrides();
        Reset();
    }
    static void Reset() {
        testing::ResetMathDispatch();
        testing::ResetLibrarySwitchCaches();
    }
};

TEST_F(MathDispatch, FirstCallInitialisesAndStillComputes) {
    EXPECT_NE(LiveMathDispatch().multiply, &math_impl::MultiplyPortable);
    Matrix z;
    MatRotateZ(&z, 0.0f);  // goes through the first-call routine
    EXPECT_EQ(z.m[0][0], 1.0f);
    EXPECT_NE(InitializeMathDispatch(), MATH_DISPATCH_UNINITIALISED);
    EXPECT_EQ(LiveMathDispatch().normalize, &math_impl::NormalizePlainX86);
}

TEST_F(MathDispatch, DisablePsgpOneKeepsPortableSet) {
    setenv("QUILLMARK_REG_DisablePSGP", "1", 1);
    EXPECT_EQ(InitializeMathDispatch(), MATH_DISPATCH_PORTABLE);
    EXPECT_EQ(LiveMathDispatch().multiply, &math_impl::MultiplyPortable);
}

TEST_F(MathDispatch, LibrarySwitchOverridesTheGeneralOne) {
    setenv("QUILLMARK_REG_DisablePSGP", "1", 1);
    setenv("QUILLMARK_REG_DisableTexLibPSGP", "0", 1);
    const std::uint32_t state = InitializeMathDispatch();
    EXPECT_EQ(state, processor::Allows(processor::kSse2) ? MATH_DISPATCH_SSE2 : MATH_DISPATCH_PORTABLE);
}

// A processor reporting 3DNow! gets state 1 and the portable set (no 3DNow!
// set is built), unless the switch is 2, which passes on to SSE2 or SSE.
TEST_F(MathDispatch, ThreeDNowProcessorsGetStateOne) {
    win32::OverrideProcessorFeature(PF_3DNOW_INSTRUCTIONS_AVAILABLE, true);
    EXPECT_EQ(InitializeMathDispatch(), MATH_DISPATCH_3DNOW);
    EXPECT_EQ(LiveMathDispatch().multiply, &math_impl::MultiplyPortable);
    EXPECT_EQ(LiveMathDispatch().normalize, &math_impl::NormalizePlainX86);
    Reset();
    setenv("QUILLMARK_REG_DisablePSGP", "2", 1);
    EXPECT_NE(InitializeMathDispatch(), MATH_DISPATCH_3DNOW);
    Reset();
    setenv("QUILLMARK_REG_DisablePSGP", "1", 1);
    EXPECT_EQ(InitializeMathDispatch(), MATH_DISPATCH_PORTABLE);
}

TEST_F(MathDispatch, NonNumberSwitchReadsAsAbsent) {
    setenv("QUILLMARK_REG_DisablePSGP", "one", 1);
    EXPECT_EQ(InitializeMathDispatch(), processor::Allows(processor::kSse2) ? MATH_DISPATCH_SSE2 : MATH_DISPATCH_PORTABLE);
}

// The processor-specific set follows what the processor features allow.
TEST_F(MathDispatch, WithoutSseThePortableSetServes) {
    processor::Disallow(processor::kSse | processor::kSse2);
    EXPECT_EQ(InitializeMathDispatch(), MATH_DISPATCH_PORTABLE);
    EXPECT_EQ(LiveMathDispatch().multiply, &math_impl::MultiplyPortable);
    processor::Allow(processor::kSse | processor::kSse2);
}

}  // namespace
}  // namespace quillmark
