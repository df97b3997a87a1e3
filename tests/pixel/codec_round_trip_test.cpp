// decode(encode(x)) == x for values on each format's grid, channel by
// channel, with the channel widths written out here independently of the
// codec tables.
#include <cmath>

#include "codec_test_support.h"

namespace quillmark {
namespace {

using testing::DescOver;
using testing::MustCreate;

// Bits stored for R, G, B, A (0: not stored) and the decoded value of an
// unstored channel. Signed channels are marked per slot.
struct GridSpec {
    D3DFORMAT format;
    UINT bytesPerPixel;
    int bits[4];
    bool isSigned[4];
    float absent[4];
    bool luminance;
};

constexpr float k1 = 1.0f;

// clang-format off
const GridSpec kIntegerFormats[] = {
    {D3DFMT_R8G8B8, 3, {8, 8, 8, 0}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_A8R8G8B8, 4, {8, 8, 8, 8}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_X8R8G8B8, 4, {8, 8, 8, 0}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_A8B8G8R8, 4, {8, 8, 8, 8}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_X8B8G8R8, 4, {8, 8, 8, 0}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_R5G6B5, 2, {5, 6, 5, 0}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_X1R5G5B5, 2, {5, 5, 5, 0}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_A1R5G5B5, 2, {5, 5, 5, 1}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_A4R4G4B4, 2, {4, 4, 4, 4}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_X4R4G4B4, 2, {4, 4, 4, 0}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_R3G3B2, 1, {3, 3, 2, 0}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_A8R3G3B2, 2, {3, 3, 2, 8}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_A8, 1, {0, 0, 0, 8}, {}, {0, 0, 0, k1}, false},
    {D3DFMT_A2B10G10R10, 4, {10, 10, 10, 2}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_A2R10G10B10, 4, {10, 10, 10, 2}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_G16R16, 4, {16, 16, 0, 0}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_A16B16G16R16, 8, {16, 16, 16, 16}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_L8, 1, {8, 8, 8, 0}, {}, {k1, k1, k1, k1}, true},
    {D3DFMT_A8L8, 2, {8, 8, 8, 8}, {}, {k1, k1, k1, k1}, true},
    {D3DFMT_A4L4, 1, {4, 4, 4, 4}, {}, {k1, k1, k1, k1}, true},
    {D3DFMT_L16, 2, {16, 16, 16, 0}, {}, {k1, k1, k1, k1}, true},
    {D3DFMT_D16_LOCKABLE, 2, {16, 16, 16, 0}, {}, {k1, k1, k1, k1}, true},
    {FORMAT_AL16, 4, {16, 16, 16, 16}, {}, {k1, k1, k1, k1}, true},
    {FORMAT_R16, 6, {16, 16, 16, 0}, {}, {k1, k1, k1, k1}, false},
    {D3DFMT_V8U8, 2, {8, 8, 0, 0}, {true, true}, {k1, k1, k1, k1}, false},
    {D3DFMT_L6V5U5, 2, {5, 5, 0, 6}, {true, true}, {k1, k1, k1, k1}, false},
    {D3DFMT_X8L8V8U8, 4, {8, 8, 0, 8}, {true, true}, {k1, k1, k1, k1}, false},
    {D3DFMT_V16U16, 4, {16, 16, 0, 0}, {true, true}, {k1, k1, k1, k1}, false},
    {D3DFMT_A2W10V10U10, 4, {10, 10, 10, 2}, {true, true, true}, {k1, k1, k1, k1}, false},
    {D3DFMT_Q8W8V8U8, 4, {8, 8, 8, 8}, {true, true, true, true}, {k1, k1, k1, k1}, false},
    {D3DFMT_Q16W16V16U16, 8, {16, 16, 16, 16}, {true, true, true, true}, {k1, k1, k1, k1}, false},
};
// clang-format on

constexpr UINT kWidth = 41;

// A grid value for pixel x, channel c: spread over the whole grid. Signed
// channels take only codes 0..max here: negative codes round toward zero
// on encode (see the signed tests).
float GridValue(const GridSpec& spec, UINT x, int c) {
    const bool isSigned = spec.isSigned[c];
    const int bits = spec.luminance && c < 3 ? spec.bits[0] : spec.bits[c];
    const std::uint32_t max = isSigned ? (1u << (bits - 1)) - 1 : (1u << bits) - 1;
    const std::uint32_t code = (x * 2654435761u + static_cast<std::uint32_t>(c) * 40503u) % (max + 1);
    const std::uint32_t spread = x == 0 ? 0 : (x == 1 ? max : code);
    return static_cast<float>(spread) / static_cast<float>(max);
}

std::vector<FloatColor> GridRow(const GridSpec& spec) {
    std::vector<FloatColor> row(kWidth);
    for (UINT x = 0; x < kWidth; ++x) {
        float v[4];
        for (int c = 0; c < 4; ++c) v[c] = spec.bits[c] ? GridValue(spec, x, c) : spec.absent[c];
        if (spec.luminance) v[1] = v[2] = v[0];
        row[x] = {v[0], v[1], v[2], v[3]};
    }
    return row;
}

TEST(CodecRoundTrip, IntegerFormatsKeepGridValues) {
    for (const GridSpec& spec : kIntegerFormats) {
        SCOPED_TRACE(::testing::Message() << "format " << spec.format);
        std::vector<BYTE> pixels(kWidth * spec.bytesPerPixel * 2, 0xCD);
        const INT pitch = static_cast<INT>(kWidth * spec.bytesPerPixel);
        auto codec = MustCreate(DescOver(pixels.data(), spec.format, kWidth, 2, pitch));
        ASSERT_NE(codec, nullptr);
        EXPECT_EQ(codec->BytesPerPixel(), spec.bytesPerPixel);
        const std::vector<FloatColor> want = GridRow(spec);
        for (UINT y = 0; y < 2; ++y) {  // both processing directions
            std::vector<FloatColor> in = want;
            ASSERT_EQ(codec->EncodeRow(y, 0, in.data()), S_OK);
            std::vector<FloatColor> out(kWidth);
            ASSERT_EQ(codec->DecodeRow(y, 0, out.data()), S_OK);
            for (UINT x = 0; x < kWidth; ++x) testing::ExpectColor(out[x], want[x], 1e-6f);
        }
    }
}

TEST(CodecRoundTrip, OrderedDitherKeepsGridValues) {
    for (const GridSpec& spec : kIntegerFormats) {
        SCOPED_TRACE(::testing::Message() << "format " << spec.format);
        std::vector<BYTE> pixels(kWidth * spec.bytesPerPixel * 4);
        SurfaceDesc desc = DescOver(pixels.data(), spec.format, kWidth, 4, kWidth * spec.bytesPerPixel);
        desc.Dither = 1;
        auto codec = MustCreate(desc);
        ASSERT_NE(codec, nullptr);
        const std::vector<FloatColor> want = GridRow(spec);
        for (UINT y = 0; y < 4; ++y) {
            std::vector<FloatColor> in = want;
            codec->EncodeRow(y, 0, in.data());
            std::vector<FloatColor> out(kWidth);
            codec->DecodeRow(y, 0, out.data());
            for (UINT x = 0; x < kWidth; ++x) testing::ExpectColor(out[x], want[x], 1e-6f);
        }
    }
}

TEST(CodecRoundTrip, NegativeSignedCodesRoundTowardZero) {
    std::vector<BYTE> pixels(2 * 2);
    auto codec = MustCreate(DescOver(pixels.data(), D3DFMT_V8U8, 2, 1, 4));
    std::vector<FloatColor> in = {{-1.0f, -0.5f, 1, 1}, {-10.0f / 127, 1.0f, 1, 1}};
    codec->EncodeRow(0, 0, in.data());
    EXPECT_EQ(pixels[0], 0x82);  // -1.0 -> -127 + 0.5 truncated = -126
    EXPECT_EQ(pixels[1], 0xC1);  // -63.5 + 0.5 = -63
    EXPECT_EQ(pixels[2], 0xF7);  // -10 + 0.5 truncated = -9
    EXPECT_EQ(pixels[3], 0x7F);
}

struct FloatSpec {
    D3DFORMAT format;
    UINT bytesPerPixel;
    int channels;
};

TEST(CodecRoundTrip, FloatFormatsKeepRepresentableValues) {
    const FloatSpec specs[] = {
        {D3DFMT_R16F, 2, 1},          {D3DFMT_G16R16F, 4, 2}, {D3DFMT_A16B16G16R16F, 8, 4},
        {D3DFMT_R32F, 4, 1},          {D3DFMT_G32R32F, 8, 2}, {D3DFMT_A32B32G32R32F, 16, 4},
        {D3DFMT_D32F_LOCKABLE, 4, 1},
    };
    const float values[] = {0.0f, 1.0f, -2.5f, 0.125f, 1024.0f, -0.0009765625f, 65504.0f, 131008.0f};
    constexpr UINT n = 8;
    for (const FloatSpec& spec : specs) {
        SCOPED_TRACE(::testing::Message() << "format " << spec.format);
        std::vector<BYTE> pixels(n * spec.bytesPerPixel);
        auto codec = MustCreate(DescOver(pixels.data(), spec.format, n, 1, n * spec.bytesPerPixel));
        ASSERT_NE(codec, nullptr);
        EXPECT_EQ(codec->Range(), RANGE_FLOAT);
        std::vector<FloatColor> in(n), want(n), out(n);
        for (UINT x = 0; x < n; ++x) {
            in[x] = {values[x], values[(x + 1) % n], values[(x + 2) % n], values[(x + 3) % n]};
            want[x] = in[x];
            if (spec.channels < 4) want[x].b = want[x].a = 1.0f;
            if (spec.channels < 2) want[x].g = 1.0f;
        }
        codec->EncodeRow(0, 0, in.data());
        codec->DecodeRow(0, 0, out.data());
        for (UINT x = 0; x < n; ++x) testing::ExpectColor(out[x], want[x]);
    }
}

TEST(CodecRoundTrip, FormatsWithoutCodec) {
    BYTE pixels[64] = {};
    for (D3DFORMAT format : {D3DFMT_D24S8, D3DFMT_D16, D3DFMT_D32, D3DFMT_D15S1, D3DFMT_D24X8, D3DFMT_D24X4S4,
                             D3DFMT_D24FS8, D3DFMT_W11V11U10, D3DFMT_UNKNOWN,
                             static_cast<D3DFORMAT>(MAKEFOURCC('Z', 'Z', 'Z', 'Z'))}) {
        std::unique_ptr<RowCodec> codec;
        EXPECT_EQ(CreateRowCodec(DescOver(pixels, format, 2, 2, 16), codec), E_FAIL) << format;
        EXPECT_EQ(codec, nullptr) << format;
    }
}

TEST(CodecRoundTrip, InvertedBoxGivesNoCodec) {
    BYTE pixels[64] = {};
    SurfaceDesc desc = DescOver(pixels, D3DFMT_A8R8G8B8, 2, 2, 8);
    desc.Box.Left = 3;
    std::unique_ptr<RowCodec> codec;
    EXPECT_EQ(CreateRowCodec(desc, codec), D3DERR_INVALIDCALL);
    EXPECT_EQ(codec, nullptr);
}

TEST(CodecRoundTrip, LockableDepthFormatsDecodeLikeTheirTwins) {
    const std::uint16_t words[3] = {0, 0x8000, 0xFFFF};
    const float floats[3] = {0.25f, -3.0f, 7.5f};
    auto decode = [](const void* data, D3DFORMAT format, UINT bytes) {
        std::vector<BYTE> copy(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + 3 * bytes);
        auto codec = MustCreate(DescOver(copy.data(), format, 3, 1, static_cast<INT>(3 * bytes)));
        std::vector<FloatColor> out(3);
        codec->DecodeRow(0, 0, out.data());
        return out;
    };
    auto l16 = decode(words, D3DFMT_L16, 2);
    auto d16 = decode(words, D3DFMT_D16_LOCKABLE, 2);
    auto r32 = decode(floats, D3DFMT_R32F, 4);
    auto d32 = decode(floats, D3DFMT_D32F_LOCKABLE, 4);
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(l16[x], d16[x]);
        EXPECT_EQ(r32[x], d32[x]);
        EXPECT_EQ(r32[x].r, floats[x]);
    }
    EXPECT_FLOAT_EQ(l16[1].g, 32768.0f / 65535.0f);
}

}  // namespace
}  // namespace quillmark
