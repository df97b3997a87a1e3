// LibraryLog2(x): the C library's log2f(x), bit for bit, mostly without
// calling it.
//
// The level of detail takes a log2f per quad, and frames must keep their
// bits, so a faster log2 has to return exactly what the library returns.
// The library's result is not always the float nearest to log2(x): it is
// the rounding of an inner value that strays from log2(x) by up to 2^-29
// (measured on this machine over every positive float: a result is
// misrounded where log2(x) lies that close to a midpoint between floats).
// Wherever every value within the stray of log2(x) rounds to one float,
// that float is the library's answer, whatever its inner value.
//
// So log2(x) is worked out in double to within 2^-33, and where every
// value within a rounding margin of it rounds to the same float, that
// float is the answer; otherwise the library is called (about 3 % of the
// tunnel's level-of-detail inputs, and every input whose log2 is below
// about 2^-6 in size). Zero, negative, subnormal, infinite and NaN inputs
// go to the library too. The margin is set per interval of z (below): the
// stray reaches 2^-29 for z near 1.086 and 2^-30 near 1.02, and stays
// within 2^-31 elsewhere. tests/platform/reference/library_log2_test.cpp
// checks the agreement on every positive float when
// QUILLMARK_EXHAUSTIVE_LOG2 is set.
//
// The double evaluation: x = 2^e · z with z in [0.70, 1.40), split from the
// float's bits. z falls in one of kIntervals intervals, each with a
// reciprocal r of its middle short enough that z · r is exact; then
// log2(x) = e − log2(r) + log2(1 + t), t = z · r − 1, |t| <= 2^-8, and
// log2(1 + t) is its series to t^3 (error below t^4 / (4 ln 2) <= 2^-33.5).
// The interval around 1 has r = 1 exactly.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

namespace quillmark::reference {
namespace library_log2 {

// The top kIntervalBits bits of z's mantissa choose its interval.
inline constexpr int kIntervalBits = 7;
inline constexpr int kIntervals = 1 << kIntervalBits;
inline constexpr std::uint32_t kMantissaBits = 23;
inline constexpr std::uint32_t kIntervalStep = 1u << (kMantissaBits - kIntervalBits);  // in float bits
inline constexpr std::uint32_t kExponentMask = 0xFF800000u;                            // sign and exponent
inline constexpr std::uint32_t kOneBits = 0x3F800000u;                                 // 1.0f
inline constexpr std::uint32_t kLowestZBits = 0x3F333333u;                             // 0.7f
// The interval whose middle is 1, and the bits of z's lowest value: x's
// bits less kZOffset give e above the mantissa and z's interval at its top.
inline constexpr std::uint32_t kUnitInterval = (kOneBits - kLowestZBits - kIntervalStep / 2) / kIntervalStep;
inline constexpr std::uint32_t kZOffset = kOneBits - kUnitInterval * kIntervalStep - kIntervalStep / 2;
// Reciprocals carry this many bits after the point: with z's 24 bits the
// product z · r stays within a double's 53.
inline constexpr int kReciprocalBits = 20;
// Normal positive floats: bits in [kSmallestNormal, kSmallestNormal + kNormalSpan).
inline constexpr std::uint32_t kSmallestNormal = 0x00800000u;
inline constexpr std::uint32_t kNormalSpan = 0x7F800000u - kSmallestNormal;

// The rounding margin around the double evaluation: the library's stray
// plus ours (2^-33.5) and half as much again. Most intervals need 2^-31;
// the intervals holding kWiderMargins' z values need more.
inline constexpr double kRoundingMargin = 0x1.8p-31;
struct WiderMargin {
    float z;
    double margin;
};
inline constexpr WiderMargin kWiderMargins[] = {{1.02f, 0x1.8p-30}, {1.086f, 0x1.8p-29}};

// ln(r) by the series of 2 atanh((r − 1) / (r + 1)), for r in [0.7, 1.5]:
// its terms fall by at least 0.04 each, to below 2^-60 by the 30th.
constexpr double NaturalLog(double r) {
    const double s = (r - 1) / (r + 1), s2 = s * s;
    double term = s, sum = 0;
    for (int n = 1; n < 60; n += 2) {
        sum += term / n;
        term *= s2;
    }
    return 2 * sum;
}

// The interval of z's bits.
constexpr std::uint32_t IntervalOf(std::uint32_t zBits) { return (zBits - kZOffset) / kIntervalStep; }

// Per interval i: the reciprocal r of its middle, −log2(r) − i / kIntervals
// (the interval's share of the exponent-and-interval number j · 2^-kIntervalBits
// taken back out), and the rounding margin.
struct Intervals {
    std::array<double, kIntervals> reciprocal{};
    std::array<double, kIntervals> logLessIndex{};
    std::array<double, kIntervals> margin{};
};

constexpr Intervals MakeIntervals() {
    Intervals table;
    constexpr double scale = double(std::int64_t(1) << kReciprocalBits);
    for (std::uint32_t i = 0; i < kIntervals; ++i) {
        const double low = std::bit_cast<float>(kZOffset + i * kIntervalStep);
        const double high = std::bit_cast<float>(kZOffset + (i + 1) * kIntervalStep);
        const double r = i == kUnitInterval ? 1.0 : double(std::int64_t(2 / (low + high) * scale + 0.5)) / scale;
        table.reciprocal[i] = r;
        table.logLessIndex[i] = -NaturalLog(r) * std::numbers::log2e - double(i) / kIntervals;
        table.margin[i] = kRoundingMargin;
    }
    for (const WiderMargin& wider : kWiderMargins) table.margin[IntervalOf(std::bit_cast<std::uint32_t>(wider.z))] = wider.margin;
    return table;
}

inline constexpr Intervals kTable = MakeIntervals();

// log2 of a normal positive float's bits, in double, within 2^-33, and
// the rounding margin of its interval.
struct Evaluation {
    double value, margin;
};

[[gnu::always_inline]] inline Evaluation Evaluate(std::uint32_t bits) {
    const std::uint32_t shifted = bits - kZOffset;
    const std::int32_t j = std::int32_t(shifted) >> (kMantissaBits - kIntervalBits);  // e · kIntervals + i
    const std::uint32_t i = std::uint32_t(j) & (kIntervals - 1);
    const double z = std::bit_cast<float>(bits - (shifted & kExponentMask));
    const double t = z * kTable.reciprocal[i] - 1.0;
    const double exponentAndLog = double(j) * (1.0 / kIntervals) + kTable.logLessIndex[i];
    constexpr double c1 = std::numbers::log2e, c2 = -c1 / 2, c3 = c1 / 3;
    // The series' first term and the rest side by side, for a shorter chain.
    return {(exponentAndLog + c1 * t) + (t * t) * (c3 * t + c2), kTable.margin[i]};
}

[[gnu::cold, gnu::noinline]] inline float Library(float x) { return std::log2(x); }

}  // namespace library_log2

// The floats that log2(x) rounds to at either end of the rounding margin
// around the double evaluation. Equal, they are the library's log2f(x);
// otherwise log2f(x) lies between them. Inputs other than normal positive
// floats give (−infinity, +infinity).
struct Log2Bracket {
    float below, above;
    bool Known() const { return below == above; }
};

[[gnu::always_inline]] inline Log2Bracket BracketLog2(float x) {
    using namespace library_log2;
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
    if (bits - kSmallestNormal >= kNormalSpan) [[unlikely]]
        return {-std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity()};
    const Evaluation log2 = Evaluate(bits);
    return {float(log2.value - log2.margin), float(log2.value + log2.margin)};
}

// log2f(x) with the C library's bits for every x.
[[gnu::always_inline]] inline float LibraryLog2(float x) {
    const Log2Bracket bracket = BracketLog2(x);
    if (!bracket.Known()) [[unlikely]]
        return library_log2::Library(x);
    return bracket.above;
}

}  // namespace quillmark::reference
