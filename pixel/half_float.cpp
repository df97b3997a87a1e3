#include "half_float.h"

#include <bit>

namespace quillmark {

float HalfToFloat(std::uint16_t half) {
    const std::uint32_t sign = static_cast<std::uint32_t>(half & 0x8000u) << 16;
    int exponent = (half >> 10) & 0x1F;
    std::uint32_t fraction = half & 0x3FFu;
    if (exponent == 0) {
        if (fraction == 0) return std::bit_cast<float>(sign);
        // Denormal: shift the leading one into the implicit position.
        exponent = 1;
        while ((fraction & 0x400u) == 0) {
            fraction <<= 1;
            --exponent;
        }
        fraction &= 0x3FFu;
    }
    return std::bit_cast<float>(sign | (static_cast<std::uint32_t>(exponent + 112) << 23) | (fraction << 13));
}

std::uint16_t FloatToHalf(float value) {
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

void HalvesToFloats(const std::uint16_t* halves, float* floats, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) floats[i] = HalfToFloat(halves[i]);
}

void FloatsToHalves(const float* floats, std::uint16_t* halves, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) halves[i] = FloatToHalf(floats[i]);
}

}  // namespace quillmark
