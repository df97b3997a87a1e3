// Inputs the fuzz targets found (docs/fuzzing.md lists each beside its
// test), reduced to the pixels that reach the fault.
#include <gtest/gtest.h>

#include <array>
#include <limits>

#include "pixel/block_codec.h"

namespace quillmark {
namespace {

using EncodeFunction = void (*)(const FloatColor* in, BYTE* block, bool dither);

// A float map with NaN samples converted to DXT: every NaN channel must
// encode as 0 does. Before, a NaN reached the palette fits, whose positions
// became NaN and indexed the code tables far outside them.
TEST(FuzzFindings, NaNPixelsEncodeIntoBlocksAsZeroDoes) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    const EncodeFunction encoders[] = {EncodeDxt1Block, EncodeDxt3Block, EncodeDxt5Block};
    std::array<FloatColor, 16> withNaN, withZero;
    for (UINT p = 0; p < 16; ++p) {
        const float v = static_cast<float>(p) / 15.0f;
        withNaN[p] = withZero[p] = {v, 1.0f - v, 0.5f, p % 3 == 0 ? 0.25f : 1.0f};
        if (p % 4 == 1) withNaN[p].r = nan, withZero[p].r = 0.0f;
        if (p % 5 == 2) withNaN[p].a = nan, withZero[p].a = 0.0f;
    }
    for (EncodeFunction encode : encoders) {
        for (bool dither : {false, true}) {
            BYTE fromNaN[16] = {}, fromZero[16] = {};
            encode(withNaN.data(), fromNaN, dither);
            encode(withZero.data(), fromZero, dither);
            EXPECT_EQ(std::vector<BYTE>(fromNaN, fromNaN + 16), std::vector<BYTE>(fromZero, fromZero + 16))
                << "dither " << dither;
        }
    }
}

}  // namespace
}  // namespace quillmark
