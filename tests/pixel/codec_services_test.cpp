// The services of the codec base class: colour key, palette, range
// conversion between codecs, and the signed-field rules.
#include <cmath>

#include "codec_test_support.h"

namespace quillmark {
namespace {

using testing::DescOver;
using testing::ExpectColor;
using testing::MustCreate;

std::vector<FloatColor> DecodeAll(RowCodec& codec, UINT y = 0) {
    std::vector<FloatColor> out(codec.Width());
    EXPECT_EQ(codec.DecodeRow(y, 0, out.data()), S_OK);
    return out;
}

// Key bytes (10, 20, 30) land on the 5-6-5 grid point (1, 5, 4) = 0x08A4.
TEST(ColorKey, QuantisedToTheFormatBeforeComparison) {
    std::uint16_t pixels[3] = {0x08A4, 0x08A5, 0x0000};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_R5G6B5, 3, 1, 6);
    desc.ColorKey = 0xFF0A141E;
    auto codec = MustCreate(desc);
    ExpectColor(codec->ColorKeyValue(), {1.0f / 31, 5.0f / 63, 4.0f / 31, 1.0f}, 1e-6f);
    auto out = DecodeAll(*codec);
    EXPECT_EQ(out[0], (FloatColor{0, 0, 0, 0}));
    EXPECT_NE(out[1], (FloatColor{0, 0, 0, 0}));
    ExpectColor(out[2], {0, 0, 0, 1});
}

TEST(ColorKey, TinyKeyQuantisesToBlackOn565) {
    std::uint16_t pixels[2] = {0x0000, 0x0001};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_R5G6B5, 2, 1, 4);
    desc.ColorKey = 0xFF010203;
    auto codec = MustCreate(desc);
    auto out = DecodeAll(*codec);
    EXPECT_EQ(out[0], (FloatColor{0, 0, 0, 0}));
    EXPECT_NE(out[1], (FloatColor{0, 0, 0, 0}));
}

TEST(ColorKey, OpaqueBlackIsHonouredAndZeroMeansNoKey) {
    std::uint32_t pixels[2] = {0xFF000000u, 0xFF000001u};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_A8R8G8B8, 2, 1, 8);
    desc.ColorKey = 0xFF000000u;
    auto keyed = DecodeAll(*MustCreate(desc));
    EXPECT_EQ(keyed[0], (FloatColor{0, 0, 0, 0}));
    ExpectColor(keyed[1], {0, 0, 1.0f / 255, 1}, 1e-7f);

    std::uint32_t black[1] = {0};
    auto unkeyed = DecodeAll(*MustCreate(DescOver(black, D3DFMT_X8R8G8B8, 1, 1, 4)));
    EXPECT_EQ(unkeyed[0], (FloatColor{0, 0, 0, 1}));
}

// The key is compared with stored values, before gamma decoding, so a
// gamma-encoded source still matches its key exactly.
TEST(ColorKey, StillMatchesOnGammaEncodedSources) {
    std::uint32_t pixels[2] = {0xFF102030u, 0xFF102031u};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_A8R8G8B8, 2, 1, 8);
    desc.ColorKey = 0xFF102030u;
    desc.Srgb = 1;
    auto out = DecodeAll(*MustCreate(desc));
    EXPECT_EQ(out[0], (FloatColor{0, 0, 0, 0}));
    EXPECT_GT(out[1].a, 0.0f);
}

TEST(ColorKey, SignedFormatsKeyTheConvertedValue) {
    // Key bytes 0xFF -> 1.0 -> +1 in signed range: U = V = 127.
    std::uint16_t pixels[2] = {0x7F7F, 0x7F7E};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_V8U8, 2, 1, 4);
    desc.ColorKey = 0xFFFFFFFFu;
    auto out = DecodeAll(*MustCreate(desc));
    EXPECT_EQ(out[0], (FloatColor{0, 0, 0, 0}));
    EXPECT_NE(out[1], (FloatColor{0, 0, 0, 0}));
}

std::vector<BYTE> PaletteBytes(std::initializer_list<std::array<BYTE, 4>> entries) {
    std::vector<BYTE> bytes(256 * 4, 0);
    std::size_t i = 0;
    for (const auto& e : entries) {
        std::copy(e.begin(), e.end(), bytes.begin() + 4 * i++);
    }
    return bytes;
}

const PALETTEENTRY* AsPalette(const std::vector<BYTE>& bytes) {
    return reinterpret_cast<const PALETTEENTRY*>(bytes.data());
}

TEST(Palette, WithoutPaletteEveryIndexIsOpaqueWhite) {
    BYTE p8[3] = {0, 7, 255};
    std::uint16_t a8p8[2] = {0x8005, 0x00FF};
    for (const FloatColor& c : DecodeAll(*MustCreate(DescOver(p8, D3DFMT_P8, 3, 1, 3)))) {
        EXPECT_EQ(c, (FloatColor{1, 1, 1, 1}));
    }
    auto out = DecodeAll(*MustCreate(DescOver(a8p8, D3DFMT_A8P8, 2, 1, 4)));
    ExpectColor(out[0], {1, 1, 1, 128.0f / 255}, 1e-6f);
    ExpectColor(out[1], {1, 1, 1, 0});
}

// The key of a palettized source is the palette colour nearest to it.
TEST(Palette, ColourKeyIsMatchedAgainstThePalette) {
    auto bytes = PaletteBytes({{0, 0, 0, 255}, {250, 10, 10, 255}, {0, 0, 255, 255}});
    BYTE pixels[3] = {1, 2, 0};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_P8, 3, 1, 3);
    desc.Palette = AsPalette(bytes);
    desc.ColorKey = 0xFFFF0000u;  // pure red: nearest is entry 1
    auto out = DecodeAll(*MustCreate(desc));
    EXPECT_EQ(out[0], (FloatColor{0, 0, 0, 0}));
    ExpectColor(out[1], {0, 0, 1, 1});
    ExpectColor(out[2], {0, 0, 0, 1});
}

TEST(Palette, EntriesCarryFlagsAsAlpha) {
    auto bytes = PaletteBytes({{0, 0, 0, 0}, {255, 51, 0, 102}});
    BYTE pixels[2] = {1, 0};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_P8, 2, 1, 2);
    desc.Palette = AsPalette(bytes);
    auto out = DecodeAll(*MustCreate(desc));
    ExpectColor(out[0], {1.0f, 0.2f, 0.0f, 0.4f}, 1e-6f);
    ExpectColor(out[1], {0, 0, 0, 0});
}

TEST(Palette, P8PicksTheFirstOfEqualEntries) {
    auto bytes = PaletteBytes({{0, 0, 0, 255}, {200, 100, 50, 255}, {10, 10, 10, 255}, {200, 100, 50, 255}});
    BYTE pixels[3] = {};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_P8, 3, 1, 3);
    desc.Palette = AsPalette(bytes);
    auto codec = MustCreate(desc);
    std::vector<FloatColor> row = {
        {200 / 255.0f, 100 / 255.0f, 50 / 255.0f, 1}, {12 / 255.0f, 9 / 255.0f, 10 / 255.0f, 1}, {0, 0, 0, 0.9f}};
    codec->EncodeRow(0, 0, row.data());
    EXPECT_EQ(pixels[0], 1);
    EXPECT_EQ(pixels[1], 2);
    EXPECT_EQ(pixels[2], 0);
}

// A8P8 matches colour over R, G, B only and stores alpha as a field.
TEST(Palette, A8P8IgnoresAlphaWhenMatching) {
    auto bytes = PaletteBytes({{255, 0, 0, 0}, {0, 255, 0, 255}});
    std::uint16_t pixels[1] = {};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_A8P8, 1, 1, 2);
    desc.Palette = AsPalette(bytes);
    auto codec = MustCreate(desc);
    std::vector<FloatColor> row = {{0.9f, 0.1f, 0, 1.0f}};
    codec->EncodeRow(0, 0, row.data());
    EXPECT_EQ(pixels[0], 0xFF00);
}

TEST(SignedFields, MostNegativeCodeReadsAsMinusOne) {
    std::uint16_t v8u8[2] = {0x8180, 0x7F00};
    auto out = DecodeAll(*MustCreate(DescOver(v8u8, D3DFMT_V8U8, 2, 1, 4)));
    EXPECT_EQ(out[0].r, -1.0f);  // U = 0x80
    EXPECT_EQ(out[0].g, -1.0f);  // V = 0x81
    EXPECT_EQ(out[1].r, 0.0f);
    EXPECT_EQ(out[1].g, 1.0f);
    EXPECT_EQ(out[0].b, 1.0f);
    EXPECT_EQ(out[0].a, 1.0f);

    std::uint16_t l6v5u5[1] = {static_cast<std::uint16_t>(63u << 10 | 0x10u << 5 | 0x0Fu)};
    auto l6 = DecodeAll(*MustCreate(DescOver(l6v5u5, D3DFMT_L6V5U5, 1, 1, 2)));
    ExpectColor(l6[0], {1.0f, -1.0f, 1.0f, 1.0f});
}

TEST(SignedFields, CxV8U8DerivesZAndNormalisesOnEncode) {
    std::uint16_t pixels[2] = {0x0000, 0x007F};
    auto codec = MustCreate(DescOver(pixels, D3DFMT_CxV8U8, 2, 1, 4));
    auto out = DecodeAll(*codec);
    ExpectColor(out[0], {0, 0, 1, 1});
    ExpectColor(out[1], {1, 0, 0, 1});
    std::vector<FloatColor> row = {{3.0f, 4.0f, 0.0f, 1.0f}, {0, 0, 0, 1}};
    codec->EncodeRow(0, 0, row.data());
    EXPECT_EQ(pixels[0] & 0xFF, 76);  // 0.6 x 127 = 76.2
    EXPECT_EQ(pixels[0] >> 8, 102);   // 0.8 x 127 = 101.6
    EXPECT_EQ(pixels[1], 0);
}

// Range conversion between every pair of ranges, through the codecs of
// A8R8G8B8 (unsigned), V8U8 (signed RGB), Q8W8V8U8 (signed) and
// A32B32G32R32F (float).
struct RangeCase {
    D3DFORMAT source;
    D3DFORMAT destination;
    FloatColor in;
    FloatColor want;
};

TEST(RangeConversion, FollowsTheTable) {
    const RangeCase cases[] = {
        {D3DFMT_V8U8, D3DFMT_A8R8G8B8, {-1, 0, 0.5f, 0.25f}, {0, 0.5f, 0.75f, 0.25f}},
        {D3DFMT_Q8W8V8U8, D3DFMT_A8R8G8B8, {-1, 0, 0.5f, -0.5f}, {0, 0.5f, 0.75f, 0.25f}},
        {D3DFMT_A32B32G32R32F, D3DFMT_A8R8G8B8, {-2, 0.5f, 3, 1.5f}, {0, 0.5f, 1, 1}},
        {D3DFMT_A8R8G8B8, D3DFMT_V8U8, {0, 0.5f, 1, 0.25f}, {-1, 0, 1, 0.25f}},
        {D3DFMT_Q8W8V8U8, D3DFMT_V8U8, {-1, 0.5f, 1, -1}, {-1, 0.5f, 1, 0}},
        {D3DFMT_A32B32G32R32F, D3DFMT_V8U8, {-2, 0.5f, 3, -1}, {-1, 0.5f, 1, 0}},
        {D3DFMT_A8R8G8B8, D3DFMT_Q8W8V8U8, {0, 0.5f, 1, 0.25f}, {-1, 0, 1, -0.5f}},
        {D3DFMT_V8U8, D3DFMT_Q8W8V8U8, {-1, 0.5f, 1, 0.25f}, {-1, 0.5f, 1, -0.5f}},
        {D3DFMT_A32B32G32R32F, D3DFMT_Q8W8V8U8, {-2, 0.5f, 3, -7}, {-1, 0.5f, 1, -1}},
    };
    BYTE bytes[16] = {};
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.source << " -> " << c.destination);
        auto source = MustCreate(DescOver(bytes, c.source, 1, 1, 16));
        auto destination = MustCreate(DescOver(bytes, c.destination, 1, 1, 16));
        destination->AttachSource(*source);
        ExpectColor(*destination->ConvertRangeRow(&c.in), c.want);
    }
}

TEST(RangeConversion, FloatDestinationsAndEqualRangesConvertNothing) {
    BYTE bytes[16] = {};
    auto unsignedCodec = MustCreate(DescOver(bytes, D3DFMT_A8R8G8B8, 1, 1, 16));
    auto other = MustCreate(DescOver(bytes, D3DFMT_X8R8G8B8, 1, 1, 16));
    auto floatCodec = MustCreate(DescOver(bytes, D3DFMT_R32F, 1, 1, 16));
    auto signedCodec = MustCreate(DescOver(bytes, D3DFMT_Q8W8V8U8, 1, 1, 16));
    floatCodec->AttachSource(*signedCodec);
    EXPECT_EQ(floatCodec->IncomingRange(), 0u);
    unsignedCodec->AttachSource(*other);
    EXPECT_EQ(unsignedCodec->IncomingRange(), 0u);
}

TEST(RangeConversion, EncodingIntoSignedFromUnsigned) {
    BYTE source[4] = {};
    std::uint16_t destination[1] = {};
    auto from = MustCreate(DescOver(source, D3DFMT_A8R8G8B8, 1, 1, 4));
    auto to = MustCreate(DescOver(destination, D3DFMT_V8U8, 1, 1, 2));
    to->AttachSource(*from);
    std::vector<FloatColor> row = {{1.0f, 0.5f, 0.0f, 1.0f}};
    to->EncodeRow(0, 0, row.data());
    EXPECT_EQ(destination[0], 0x007F);  // U = +1 -> 127, V = 0
    ExpectColor(row[0], {1.0f, 0.5f, 0.0f, 1.0f});  // the caller's row is untouched
}

}  // namespace
}  // namespace quillmark
