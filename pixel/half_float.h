// Half-precision values as the float formats store them: 1 sign bit,
// 5 exponent bits (bias 15), 10 fraction bits. Exponent 31 is an ordinary
// exponent: no infinities or NaNs, largest magnitude 131008.
#pragma once

#include <bit>
#include <cstdint>

namespace quillmark {

// Normal halves rebias their exponent by 112 (exponent 31 included: it is
// an ordinary exponent); denormals are their fraction times 2^-24, exact in
// a float. Both are computed and one is selected, so the loop vectorises.
inline float HalfToFloat(std::uint16_t half) {
    const std::uint32_t sign = static_cast<std::uint32_t>(half & 0x8000u) << 16;
    const std::uint32_t magnitude = half & 0x7FFFu;
    const std::uint32_t normal = (magnitude << 13) + (112u << 23);
    const std::uint32_t denormal = std::bit_cast<std::uint32_t>(static_cast<float>(magnitude) * 0x1p-24f);
    return std::bit_cast<float>(sign | (magnitude < 0x400u ? denormal : normal));
}

// Rounds to nearest, ties to even; magnitudes beyond 131008 (and NaN and
// infinities) give the largest half of their sign, magnitudes too small
// for the smallest denormal give signed zero.
inline std::uint16_t FloatToHalf(float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const auto sign = static_cast<std::uint16_t>((bits >> 16) & 0x8000u);
    const std::uint32_t a = bits & 0x7FFFFFFFu;
    if (a > 0x47FFEFFFu) return static_cast<std::uint16_t>(sign | 0x7FFFu);
    if (a >= 0x38800000u) return static_cast<std::uint16_t>(sign | ((a - 0x37FFF001u + ((a >> 13) & 1u)) >> 13));
    // Below 2^-25 nothing survives the rounding; stop before the shift
    // below grows past the width of the value.
    if (a < 0x33000000u) return sign;
    const std::uint32_t exponent = a >> 23;
    const std::uint32_t m = ((a & 0x7FFFFFu) | 0x800000u) >> (113 - exponent);
    return static_cast<std::uint16_t>(sign | ((m + 0xFFFu + ((m >> 13) & 1u)) >> 13));
}

}  // namespace quillmark
