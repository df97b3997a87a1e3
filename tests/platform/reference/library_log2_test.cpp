// LibraryLog2 against the C library's log2f, bit for bit, and its double
// evaluation against an independent long double log2.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "library_log2.h"
#include "sampler.h"

namespace quillmark::reference {
namespace {

constexpr std::uint32_t kInfinityBits = 0x7F800000u;

std::uint32_t Bits(float value) { return std::bit_cast<std::uint32_t>(value); }

// The library's log2f, called through a pointer so that the compiler cannot
// evaluate it at compile time.
float (*const volatile g_libraryLog2f)(float) = [](float x) { return std::log2(x); };

// Positive floats whose bits lie in [first, last), every `stride`-th one,
// where LibraryLog2 differs from log2f or log2f lies outside BracketLog2;
// the first few are named.
std::uint64_t Mismatches(std::uint32_t first, std::uint32_t last, std::uint32_t stride) {
    std::uint64_t mismatches = 0;
    for (std::uint64_t bits = first; bits < last; bits += stride) {
        const float x = std::bit_cast<float>(std::uint32_t(bits));
        const float expected = g_libraryLog2f(x), actual = LibraryLog2(x);
        const Log2Bracket bracket = BracketLog2(x);
        if (Bits(actual) == Bits(expected) && bracket.below <= expected && expected <= bracket.above) continue;
        if (++mismatches <= 5)
            ADD_FAILURE() << std::hexfloat << "log2(" << x << "): " << actual << " in [" << bracket.below << ", "
                          << bracket.above << "] instead of " << expected;
    }
    return mismatches;
}

TEST(LibraryLog2, MatchesTheLibraryOnAStridedSampleOfEveryPositiveFloat) {
    // An odd stride visits every exponent and many mantissa patterns.
    EXPECT_EQ(Mismatches(1, kInfinityBits, 257), 0u);
}

// The inputs that need the library most: those whose log2f is not the float
// nearest to log2(x), so its rounding strays past a midpoint; and all
// inputs near 1, where log2 is small and the library is always asked.
TEST(LibraryLog2, MatchesTheLibraryWhereTheLibraryIsNotCorrectlyRounded) {
    std::uint64_t misrounded = 0;
    for (std::uint32_t bits = Bits(1.0f); bits < Bits(2.0f); ++bits) {  // log2 from 2^-23 to 1
        const float x = std::bit_cast<float>(bits);
        const float expected = g_libraryLog2f(x);
        if (Bits(float(log2l(x))) == Bits(expected)) continue;
        ++misrounded;
        EXPECT_EQ(Bits(LibraryLog2(x)), Bits(expected)) << std::hexfloat << x;
    }
    RecordProperty("misrounded", std::to_string(misrounded));
    EXPECT_EQ(Mismatches(Bits(0.9f), Bits(1.1f), 1), 0u);
}

TEST(LibraryLog2, GivesExactExponentsForPowersOfTwo) {
    for (int exponent = -149; exponent <= 127; ++exponent) {
        const float x = std::ldexp(1.0f, exponent);
        EXPECT_EQ(LibraryLog2(x), float(exponent)) << exponent;
        EXPECT_EQ(Bits(LibraryLog2(x)), Bits(g_libraryLog2f(x))) << exponent;
    }
}

TEST(LibraryLog2, LeavesZeroNegativeInfiniteAndNaNInputsToTheLibrary) {
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    EXPECT_EQ(LibraryLog2(0.0f), -kInfinity);
    EXPECT_EQ(LibraryLog2(-0.0f), -kInfinity);
    EXPECT_EQ(LibraryLog2(kInfinity), kInfinity);
    EXPECT_TRUE(std::isnan(LibraryLog2(-1.0f)));
    EXPECT_TRUE(std::isnan(LibraryLog2(-kInfinity)));
    EXPECT_TRUE(std::isnan(LibraryLog2(std::numeric_limits<float>::quiet_NaN())));
    EXPECT_EQ(Mismatches(1, 0x00800000u, 127), 0u);  // subnormals
}

// The rounding margin is sound only while the double evaluation stays
// within 2^-33 of log2(x); a long double log2 is the judge.
TEST(LibraryLog2, EvaluatesLog2WithinTheErrorTheMarginAllowsFor) {
    long double worst = 0;
    for (std::uint64_t bits = 0x00800000u; bits < kInfinityBits; bits += 331) {
        const float x = std::bit_cast<float>(std::uint32_t(bits));
        const long double error = std::fabs(library_log2::Evaluate(std::uint32_t(bits)).value - log2l(x));
        if (error > worst) worst = error;
    }
    EXPECT_LT(worst, 0x1p-33L);
    EXPECT_LT(worst, library_log2::kRoundingMargin - 0x1p-31);  // the library strays up to 2^-31 in most intervals
}

// The level of detail's log2 through ChooseLod: with a 256-texel level 0
// and du/dx = rho / 256, the footprint's length is rho exactly (the square
// root of a correctly rounded square), so minification must come exactly
// when log2f(rho) + bias > 0, at lambda = log2f(rho) + bias. Inputs near
// 1 and 2 give log2 near 0 and 1, where the library is asked most.
TEST(LibraryLog2, GivesTheLevelOfDetailOfTheLibrarysLog2) {
    SampledTexture texture;
    for (std::uint32_t size = 256; size >= 1; size /= 2) texture.levels.push_back(MakeSampledLevel(size, size, size, nullptr, nullptr));
    std::array<DWORD, D3D_SAMPLER_STATE_COUNT> states{};
    states[D3DSAMP_MINFILTER] = D3DTEXF_LINEAR;
    states[D3DSAMP_MAGFILTER] = D3DTEXF_LINEAR;
    states[D3DSAMP_MIPFILTER] = D3DTEXF_LINEAR;
    std::uint64_t mismatches = 0;
    for (const float bias : {-3.0f, -0.7f, 0.0f, 1.3f}) {
        states[D3DSAMP_MIPMAPLODBIAS] = std::bit_cast<DWORD>(bias);
        const SamplerSetup setup = MakeSamplerSetup(states, texture);
        for (const float centre : {1.0f, 2.0f, 0.125f, 0.5f, 8.0f}) {
            for (std::uint32_t bits = Bits(centre) - 0x20000u; bits < Bits(centre) + 0x20000u; ++bits) {
                const float rho = std::bit_cast<float>(bits);
                const LodChoice lod = ChooseLod(setup, {0.5f, 0.5f, rho / 256, 0.0f, 0.0f, 0.0f});
                const float lambda = g_libraryLog2f(rho) + bias;
                const bool magnify = lambda <= 0.0f;
                if (lod.magnify == magnify && (magnify || Bits(lod.lambda) == Bits(lambda))) continue;
                if (++mismatches <= 5)
                    ADD_FAILURE() << std::hexfloat << "rho " << rho << ", bias " << bias << ": magnify " << lod.magnify
                                  << ", lambda " << lod.lambda << " instead of " << magnify << ", " << lambda;
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

// Every positive finite float: 2^31 inputs, about half a minute, so only
// when asked for.
TEST(LibraryLog2, MatchesTheLibraryOnEveryPositiveFloat) {
    if (!std::getenv("QUILLMARK_EXHAUSTIVE_LOG2"))
        GTEST_SKIP() << "set QUILLMARK_EXHAUSTIVE_LOG2=1 to compare every positive float";
    EXPECT_EQ(Mismatches(1, kInfinityBits, 1), 0u);
}

}  // namespace
}  // namespace quillmark::reference
