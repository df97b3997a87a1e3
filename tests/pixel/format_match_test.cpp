// Closest-format scores and list searches, with the examples worked by hand.
#include "pixel/format_match.h"
#include "format_rows.h"
#include "pixel/pixel_format.h"

#include <gtest/gtest.h>

namespace quillmark {
namespace {

using testing::WithAlpha;

TEST(FormatMatchScore, WeighsMissingThenLostThenSurplusChannelsThenBits) {
    const PixelFormatInfo& x8r8g8b8 = LookupPixelFormat(D3DFMT_X8R8G8B8);
    const PixelFormatInfo& a8r8g8b8 = LookupPixelFormat(D3DFMT_A8R8G8B8);
    EXPECT_EQ(FormatMatchScore(x8r8g8b8, x8r8g8b8), 0u);
    EXPECT_EQ(FormatMatchScore(x8r8g8b8, a8r8g8b8), 0x100u);                             // surplus alpha
    EXPECT_EQ(FormatMatchScore(a8r8g8b8, x8r8g8b8), 0x1000000u);                         // missing alpha
    EXPECT_EQ(FormatMatchScore(a8r8g8b8, LookupPixelFormat(D3DFMT_A4R4G4B4)), 4u * 0x40000u);  // 4 lost bits x4
    EXPECT_EQ(FormatMatchScore(WithAlpha(D3DFMT_X8R8G8B8, 1), LookupPixelFormat(D3DFMT_A2B10G10R10)), 7u);
}

TEST(FormatMatchScore, UnusableWhenKindsDoNotMixOrNothingWantedSurvives) {
    const PixelFormatInfo& l8 = LookupPixelFormat(D3DFMT_L8);
    EXPECT_EQ(FormatMatchScore(LookupPixelFormat(D3DFMT_X8R8G8B8), l8), kUnusableScore);
    EXPECT_EQ(FormatMatchScore(LookupPixelFormat(D3DFMT_V8U8), LookupPixelFormat(D3DFMT_X8R8G8B8)), kUnusableScore);
    EXPECT_EQ(FormatMatchScore(LookupPixelFormat(D3DFMT_A8), LookupPixelFormat(D3DFMT_X8R8G8B8)), kUnusableScore);
    PixelFormatInfo nothing = LookupPixelFormat(D3DFMT_X8R8G8B8);
    nothing.redBits = nothing.greenBits = nothing.blueBits = 0;
    EXPECT_EQ(FormatMatchScore(nothing, LookupPixelFormat(D3DFMT_X8R8G8B8)), kUnusableScore);
}

TEST(MatchFormatInList, ExactIdTieBreakPalettesAndUnknownIds) {
    const D3DFORMAT list[] = {static_cast<D3DFORMAT>(0x12345678), D3DFMT_P8, D3DFMT_A8B8G8R8, D3DFMT_A8R8G8B8,
                              D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN};
    const PixelFormatInfo& p8 = LookupPixelFormat(D3DFMT_P8);
    EXPECT_EQ(MatchFormatInList(list, TRUE, p8), D3DFMT_P8);
    // Without palettes P8 is passed over; A8B8G8R8 and A8R8G8B8 tie at 32 bits: the first stays.
    EXPECT_EQ(MatchFormatInList(list, FALSE, p8), D3DFMT_A8B8G8R8);
    EXPECT_EQ(MatchFormatInList(list, FALSE, LookupPixelFormat(D3DFMT_X8R8G8B8)), D3DFMT_X8R8G8B8);
    const D3DFORMAT ties[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R8G8B8, D3DFMT_UNKNOWN};
    // R8G8B8 scores 0 like X8R8G8B8 but with fewer bits per pixel.
    EXPECT_EQ(MatchFormatInList(ties, FALSE, LookupPixelFormat(D3DFMT_X1R5G5B5)), D3DFMT_R8G8B8);
    const D3DFORMAT depths[] = {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_UNKNOWN};
    EXPECT_EQ(MatchFormatInList(depths, TRUE, LookupPixelFormat(D3DFMT_X8R8G8B8)), D3DFMT_UNKNOWN);
}

TEST(MapInternalFormat, PrivateSixteenBitFormatsMapToDeviceFormats) {
    EXPECT_EQ(MapInternalFormat(FORMAT_AL16), D3DFMT_A8L8);
    EXPECT_EQ(MapInternalFormat(FORMAT_R16), D3DFMT_R8G8B8);
    EXPECT_EQ(MapInternalFormat(D3DFMT_L16), D3DFMT_L16);
}

}  // namespace
}  // namespace quillmark
