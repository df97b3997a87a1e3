// Half-precision values as the float formats store them: 1 sign bit,
// 5 exponent bits (bias 15), 10 fraction bits. Exponent 31 is an ordinary
// exponent: no infinities or NaNs, largest magnitude 131008.
#pragma once

#include <cstdint>

namespace quillmark {

float HalfToFloat(std::uint16_t half);
// Rounds to nearest, ties to even; magnitudes beyond 131008 (and NaN and
// infinities) give the largest half of their sign, magnitudes too small
// for the smallest denormal give signed zero.
std::uint16_t FloatToHalf(float value);

}  // namespace quillmark
