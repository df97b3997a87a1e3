// The rounding thresholds of the integer encoders: 4 rows of 8 floats, read
// at [y mod 4][(z + i) mod 4] for the i-th pixel in processing order. The
// plain table rounds to nearest; the ordered table is a 4 x 4 ordered dither
// with each row stored twice over.
#pragma once

namespace quillmark {

inline constexpr float kPlainThresholds[4][8] = {
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
};

// (2b + 1) / 32 for the ordered-dither index b: 15 7 13 5 / 3 11 1 9 /
// 12 4 14 6 / 0 8 2 10.
inline constexpr float kOrderedThresholds[4][8] = {
    {0.96875f, 0.46875f, 0.84375f, 0.34375f, 0.96875f, 0.46875f, 0.84375f, 0.34375f},
    {0.21875f, 0.71875f, 0.09375f, 0.59375f, 0.21875f, 0.71875f, 0.09375f, 0.59375f},
    {0.78125f, 0.28125f, 0.90625f, 0.40625f, 0.78125f, 0.28125f, 0.90625f, 0.40625f},
    {0.03125f, 0.53125f, 0.15625f, 0.65625f, 0.03125f, 0.53125f, 0.15625f, 0.65625f},
};

// Floyd-Steinberg shares: behind-below, below, ahead-below, ahead.
inline constexpr float kDiffuseBehindBelow = 0.1875f;
inline constexpr float kDiffuseBelow = 0.3125f;
inline constexpr float kDiffuseAheadBelow = 0.0625f;
inline constexpr float kDiffuseAhead = 0.4375f;

}  // namespace quillmark
