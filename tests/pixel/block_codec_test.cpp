// Block-compressed formats: hand-worked blocks through the decoders, the
// encoders' edge cases and ordering invariant, and the block codec's edges
// (partial blocks, boxes inside a surface, raw copies, memory failures).
#include <random>

#include "pixel/block_codec.h"
#include "codec_test_support.h"
#include "pixel/resample.h"

namespace quillmark {
namespace {

using testing::DescOver;
using testing::ExpectColor;

constexpr FloatColor kClear = {0, 0, 0, 0};
constexpr FloatColor kRed = {1, 0, 0, 1};
constexpr FloatColor kBlue = {0, 0, 1, 1};

std::uint16_t Colour0(const BYTE* block) { return static_cast<std::uint16_t>(block[0] | block[1] << 8); }
std::uint16_t Colour1(const BYTE* block) { return static_cast<std::uint16_t>(block[2] | block[3] << 8); }
UINT ColorCode(const BYTE* block, UINT p) { return (block[4 + p / 4] >> (2 * (p % 4))) & 3; }
UINT AlphaCode(const BYTE* block, UINT p) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 2; --i) bits = bits << 8 | block[i];
    return (bits >> (3 * p)) & 7;
}

TEST(BlockDecode, ColourBlocksOfBothOrders) {
    // Codes 0, 1, 2, 3 on pixels 0 to 3.
    const BYTE fourColours[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0, 0, 0};  // red > blue
    const BYTE threeColours[8] = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0, 0, 0};
    FloatColor out[16];
    DecodeDxt1Block(fourColours, out);
    ExpectColor(out[0], kRed);
    ExpectColor(out[1], kBlue);
    ExpectColor(out[2], {2.0f / 3, 0, 1.0f / 3, 1}, 1e-6f);
    ExpectColor(out[3], {1.0f / 3, 0, 2.0f / 3, 1}, 1e-6f);
    DecodeDxt1Block(threeColours, out);
    ExpectColor(out[2], {0.5f, 0, 0.5f, 1}, 1e-6f);
    ExpectColor(out[3], kClear);
    // DXT3 and DXT5 colour halves always have four colours.
    BYTE dxt3[16] = {};
    std::copy_n(threeColours, 8, dxt3 + 8);
    DecodeDxt3Block(dxt3, out);
    ExpectColor(out[3], {2.0f / 3, 0, 1.0f / 3, 0}, 1e-6f);
}

TEST(BlockDecode, InterpolatedAlphaOfBothModes) {
    // alpha0 10 <= alpha1 200: six values; pixels 0..7 take codes 0..7.
    BYTE block[16] = {10, 200, 0x88, 0xC6, 0xFA};
    FloatColor out[16];
    DecodeDxt5Block(block, out);
    EXPECT_FLOAT_EQ(out[2].a, (4 * 10 + 200) / 5.0f / 255);
    EXPECT_EQ(out[6].a, 0.0f);
    EXPECT_EQ(out[7].a, 1.0f);
    block[0] = 200;
    block[1] = 10;
    DecodeDxt5Block(block, out);
    EXPECT_FLOAT_EQ(out[7].a, (1 * 200 + 6 * 10) / 7.0f / 255);
}

TEST(BlockDecode, PremultipliedColoursAreDividedByAlpha) {
    // Alpha 6/15 on pixel 0, 0 on pixel 1; colour (10/31, 63/63, 0) everywhere.
    BYTE block[16] = {0x06, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x57, 0xE0, 0x57};
    FloatColor out[16];
    DecodeDxt2Block(block, out);
    ExpectColor(out[0], {(10.0f / 31) / 0.4f, 1.0f, 0.0f, 0.4f}, 1e-6f);
    ExpectColor(out[1], kClear);
}

std::vector<DWORD> Argb(UINT width, UINT height, DWORD (*pixel)(UINT, UINT)) {
    std::vector<DWORD> argb(std::size_t{width} * height);
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) argb[y * width + x] = pixel(x, y);
    return argb;
}

HRESULT Convert(void* to, D3DFORMAT toFormat, INT toPitch, void* from, D3DFORMAT fromFormat, INT fromPitch, UINT width,
                UINT height, D3DBOX toBox = {}) {
    SurfaceDesc destination = DescOver(to, toFormat, width, height, toPitch);
    if (toBox.Right != 0) destination.Box = toBox;
    SurfaceDesc source = DescOver(from, fromFormat, destination.Box.Right - destination.Box.Left,
                                  destination.Box.Bottom - destination.Box.Top, fromPitch);
    return RunConversion(destination, source, RESAMPLE_NONE);
}

std::array<FloatColor, 16> Uniform(FloatColor c) {
    std::array<FloatColor, 16> block;
    block.fill(c);
    return block;
}

std::array<FloatColor, 16> FromBytes(const std::array<int, 16>& alpha, FloatColor colour) {
    std::array<FloatColor, 16> block;
    for (UINT p = 0; p < 16; ++p) block[p] = {colour.r, colour.g, colour.b, static_cast<float>(alpha[p]) / 255};
    return block;
}

std::vector<BYTE> Bytes(const BYTE* block, UINT count) { return std::vector<BYTE>(block, block + count); }

// Blocks worked through in single precision, step by step in the order the
// codecs compute; each pins one place where a shortcut (multiplying by a
// reciprocal, regrouping a sum) lands on another byte.
TEST(BlockArithmetic, ThreeColourMidpointIsAHalvedSum) {
    // Red 3/31 and 28/31: (3/31 + 28/31) / 2 is 0.5 exactly, where
    // 3/31 + (28/31 - 3/31) x 0.5 is 0.49999997 and so byte 127.
    const BYTE block[8] = {0x00, 0x18, 0x00, 0xE0, 0xAA, 0xAA, 0xAA, 0xAA};
    FloatColor out[16];
    DecodeDxt1Block(block, out);
    EXPECT_EQ(out[0].r, 0.5f);
    std::vector<DWORD> argb(16);
    ASSERT_EQ(Convert(argb.data(), D3DFMT_A8R8G8B8, 16, const_cast<BYTE*>(block), D3DFMT_DXT1, 8, 4, 4), S_OK);
    EXPECT_EQ(argb[0] >> 16 & 0xFF, 0x80u);
}

TEST(BlockArithmetic, ColourEndpointsRefinePixelByPixel) {
    // A dithered flat (251, 130, 168): the refinement's sums taken pixel by
    // pixel, divided where division is written, give colour1 0xEC36.
    BYTE block[8];
    EncodeDxt1Block(Uniform({251.0f / 255, 130.0f / 255, 168.0f / 255, 1}).data(), block, true);
    EXPECT_EQ(Bytes(block, 8), (std::vector<BYTE>{0x14, 0xFC, 0x36, 0xEC, 0x22, 0xA2, 0x22, 0xA2}));
}

TEST(BlockArithmetic, AlphaEndpointsRefinePixelByPixel) {
    // Alpha 7 + 13 (x + y): eight values between 0x0B and 0x55.
    std::array<int, 16> alpha;
    for (UINT p = 0; p < 16; ++p) alpha[p] = static_cast<int>(7 + 13 * (p % 4 + p / 4));
    BYTE block[16];
    EncodeDxt5Block(FromBytes(alpha, {0.5f, 0.5f, 0.5f, 1}).data(), block, false);
    EXPECT_EQ(Bytes(block, 8), (std::vector<BYTE>{0x55, 0x0B, 0xB9, 0x7B, 0x77, 0xEE, 0xD4, 0x09}));
}

TEST(BlockArithmetic, AlphaPlaceMultipliesBeforeDividing) {
    // Six values from 5 to 25 (codes 2 and 3 hold 9 and 13): alpha 11 on
    // pixel 13 lies at (11 - 5) x 5 / 20 = 1.5 and takes code 3;
    // (11 - 5) x (5 / 20) lands below 1.5, on code 2.
    const std::array<int, 16> alpha = {0, 26, 21, 16, 26, 0, 16, 255, 21, 16, 0, 6, 16, 11, 255, 0};
    BYTE block[16];
    EncodeDxt5Block(FromBytes(alpha, {0.2f, 0.4f, 0.6f, 1}).data(), block, false);
    EXPECT_EQ(Bytes(block, 8), (std::vector<BYTE>{0x05, 0x19, 0x4E, 0x19, 0xF3, 0xA5, 0xC1, 0xDD}));
    EXPECT_EQ(AlphaCode(block, 13), 3u);
}

TEST(BlockEncode, EdgeCases) {
    BYTE block[16];
    EncodeDxt1Block(Uniform({0.3f, 0.6f, 0.9f, 0.0f}).data(), block, false);
    EXPECT_EQ(std::vector<BYTE>(block, block + 8), (std::vector<BYTE>{0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));

    EncodeDxt1Block(Uniform({0.3f, 0.6f, 0.9f, 1.0f}).data(), block, false);
    EXPECT_EQ(Colour0(block), Colour1(block));
    for (UINT p = 0; p < 16; ++p) EXPECT_EQ(ColorCode(block, p), 0u);

    EncodeDxt5Block(Uniform({0.3f, 0.6f, 0.9f, 1.0f}).data(), block, false);
    EXPECT_EQ(std::vector<BYTE>(block, block + 8), (std::vector<BYTE>{0xFF, 0xFF, 0, 0, 0, 0, 0, 0}));

    auto oneClear = Uniform(kRed);
    oneClear[5] = {0.0f, 1.0f, 0.0f, 0.2f};
    EncodeDxt1Block(oneClear.data(), block, false);
    EXPECT_LE(Colour0(block), Colour1(block));
    EXPECT_EQ(ColorCode(block, 5), 3u);

    auto alphas = Uniform({0.5f, 0.5f, 0.5f, 0.5f});
    alphas[0].a = alphas[1].a = 0.0f;
    alphas[2].a = 0.75f;
    EncodeDxt5Block(alphas.data(), block, false);
    EXPECT_LE(block[0], block[1]);
    EXPECT_EQ(AlphaCode(block, 0), 6u);
    EXPECT_EQ(AlphaCode(block, 1), 6u);
}

// Six-value alpha blocks whose only values are 0 and 1, or 0, one value and
// 1, keep every alpha (within a step of 1/255) instead of losing 0 or 1.
TEST(BlockEncode, SixValueAlphaKeepsItsExtremes) {
    for (float middle : {0.0f, 0.5f}) {
        auto pixels = Uniform({0.2f, 0.4f, 0.6f, 1.0f});
        for (UINT p = 0; p < 16; p += 3) pixels[p].a = 0.0f;
        pixels[1].a = middle;
        BYTE block[16];
        FloatColor out[16];
        EncodeDxt5Block(pixels.data(), block, false);
        if (middle == 0.0f) {
            EXPECT_EQ(Bytes(block, 2), (std::vector<BYTE>{0x00, 0xFF}));
        }
        DecodeDxt5Block(block, out);
        for (UINT p = 0; p < 16; ++p) EXPECT_NEAR(out[p].a, pixels[p].a, 1.0f / 255) << middle << " " << p;
    }
}

// An alpha carried up to a step past either end (as dithering carries it,
// or as a wider format hands it over) keeps its code at that end instead of
// spilling into the next pixel's bits.
TEST(BlockEncode, DitheredAlphaStaysInItsCode) {
    std::mt19937 random(11);
    using Codec = std::tuple<EncodeBlockFunction, DecodeBlockFunction, float>;
    for (const auto& [encode, decode, steps] :
         {Codec{EncodeDxt3Block, DecodeDxt3Block, 15.0f}, Codec{EncodeDxt5Block, DecodeDxt5Block, 255.0f}}) {
        std::uniform_real_distribution<float> step(0.0f, 1.0f / steps);
        for (int trial = 0; trial < 500; ++trial) {
            std::array<FloatColor, 16> pixels;
            for (UINT p = 0; p < 16; ++p) pixels[p] = {0.5f, 0.5f, 0.5f, random() % 2 ? 1.0f + step(random) : -step(random)};
            BYTE block[16];
            FloatColor out[16];
            encode(pixels.data(), block, true);
            decode(block, out);
            for (UINT p = 0; p < 16; ++p)
                ASSERT_NEAR(out[p].a, pixels[p].a > 0.5f ? 1.0f : 0.0f, 2.0f / steps) << trial << " " << p;
        }
    }
}

// Encoding blocks several at a time (their fits side by side) gives each
// block the bytes it gets alone: blocks that stop refining early, late or
// not at all, three- and four-colour, transparent, premultiplied, dithered.
TEST(BlockEncode, GroupsEncodeAsSingleBlocks) {
    std::mt19937 random(17);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    constexpr UINT kBlocks = 37;  // four full groups of eight and a ragged one
    std::vector<FloatColor> pixels(kBlocks * 16);
    for (UINT b = 0; b < kBlocks; ++b) {
        const FloatColor from = {unit(random), unit(random), unit(random), unit(random)};
        const FloatColor to = {unit(random), unit(random), unit(random), unit(random)};
        for (UINT p = 0; p < 16; ++p) {
            FloatColor& c = pixels[b * 16 + p];
            const float t = static_cast<float>(p) / 15;
            switch (b % 5) {
            case 0: c = {unit(random), unit(random), unit(random), unit(random)}; break;
            case 1: c = from; break;
            case 2: c = {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t, from.b + (to.b - from.b) * t, 1}; break;
            case 3: c = {from.r, from.g + 0.01f * unit(random), from.b, p == 3 ? 0.1f : 1.0f}; break;
            default: c = {from.r * t, from.g, to.b * t, 0.0f}; break;
            }
        }
    }
    using Pair = std::pair<EncodeBlocksFunction, EncodeBlockFunction>;
    for (const auto& [group, single] : {Pair{EncodeDxt1Blocks, EncodeDxt1Block}, Pair{EncodeDxt2Blocks, EncodeDxt2Block},
                                        Pair{EncodeDxt3Blocks, EncodeDxt3Block}, Pair{EncodeDxt4Blocks, EncodeDxt4Block},
                                        Pair{EncodeDxt5Blocks, EncodeDxt5Block}}) {
        const UINT bytes = group == EncodeDxt1Blocks ? 8 : 16;
        for (const bool dither : {false, true}) {
            std::vector<BYTE> together(kBlocks * bytes), alone(kBlocks * bytes);
            group(pixels.data(), together.data(), kBlocks, dither);
            for (UINT b = 0; b < kBlocks; ++b) single(pixels.data() + b * 16, alone.data() + b * bytes, dither);
            EXPECT_EQ(together, alone) << bytes << " " << dither;
        }
    }
}

// Four-colour blocks are written with colour0 > colour1, or equal colours
// and all codes 0; tried over gradients and noise, plain and dithered.
TEST(BlockEncode, FourColourBlocksAreOrdered) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int trial = 0; trial < 4000; ++trial) {
        std::array<FloatColor, 16> pixels;
        const FloatColor a = {unit(random), unit(random), unit(random), 1}, b = {unit(random), unit(random), unit(random), 1};
        const float noise = trial % 3 == 0 ? 0.0f : 0.02f * static_cast<float>(trial % 7);
        for (UINT p = 0; p < 16; ++p) {
            const float t = static_cast<float>(p) / 15 + (unit(random) - 0.5f) * noise;
            pixels[p] = {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, 1};
            if (trial % 11 == 0) pixels[p] = {unit(random), unit(random), unit(random), 1};
        }
        BYTE block[16];
        for (const auto encode : {EncodeDxt1Block, EncodeDxt5Block}) {
            encode(pixels.data(), block, trial % 2 == 0);
            const BYTE* colour = encode == EncodeDxt1Block ? block : block + 8;
            if (Colour0(colour) == Colour1(colour)) {
                for (UINT p = 0; p < 16; ++p) ASSERT_EQ(ColorCode(colour, p), 0u) << trial;
            } else {
                ASSERT_GT(Colour0(colour), Colour1(colour)) << trial;
            }
        }
    }
}

// A 2 x 2 image fills its block by repeating its columns and rows.
TEST(BlockCodec, SmallImagesRepeatIntoTheirBlock) {
    auto argb = Argb(2, 2, [](UINT x, UINT y) -> DWORD { return (x + y) % 2 ? 0xFFFFFFFF : 0xFF000000; });
    BYTE block[8] = {};
    ASSERT_EQ(Convert(block, D3DFMT_DXT1, 8, argb.data(), D3DFMT_A8R8G8B8, 8, 2, 2), S_OK);
    FloatColor out[16];
    DecodeDxt1Block(block, out);
    for (UINT p = 0; p < 16; ++p) EXPECT_EQ(out[p].r, static_cast<float>((p % 4 + p / 4) % 2)) << p;
}

// Writing a 2 x 2 box across four blocks of an 8 x 8 surface keeps their
// pixels outside the box.
TEST(BlockCodec, BoxInsideASurfaceKeepsTheBlocksOtherPixels) {
    auto blue = Argb(8, 8, [](UINT, UINT) -> DWORD { return 0xFF0000FF; });
    auto red = Argb(2, 2, [](UINT, UINT) -> DWORD { return 0xFFFF0000; });
    std::vector<BYTE> surface(32);
    ASSERT_EQ(Convert(surface.data(), D3DFMT_DXT1, 16, blue.data(), D3DFMT_A8R8G8B8, 32, 8, 8), S_OK);
    ASSERT_EQ(Convert(surface.data(), D3DFMT_DXT1, 16, red.data(), D3DFMT_A8R8G8B8, 8, 8, 8, {3, 3, 5, 5, 0, 1}), S_OK);
    std::vector<DWORD> back(64);
    ASSERT_EQ(Convert(back.data(), D3DFMT_A8R8G8B8, 32, surface.data(), D3DFMT_DXT1, 16, 8, 8), S_OK);
    for (UINT y = 0; y < 8; ++y)
        for (UINT x = 0; x < 8; ++x) {
            const bool inBox = x >= 3 && x < 5 && y >= 3 && y < 5;
            EXPECT_EQ(back[y * 8 + x], inBox ? 0xFFFF0000 : 0xFF0000FF) << x << "," << y;
        }
}

// Same-format copies of whole small or ragged levels move the bytes as they
// are, where decoding and encoding again would change them.
TEST(BlockCodec, WholeLevelsOffTheBlockGridAreCopiedRaw) {
    std::mt19937 random(3);
    for (const D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT5}) {
        const UINT blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
        for (const UINT size : {1u, 2u, 6u}) {
            const UINT across = (size + 3) / 4;
            std::vector<BYTE> source(across * across * blockBytes), destination(source.size());
            for (BYTE& b : source) b = static_cast<BYTE>(random());
            const INT pitch = static_cast<INT>(across * blockBytes);
            ASSERT_EQ(Convert(destination.data(), format, pitch, source.data(), format, pitch, size, size), S_OK);
            EXPECT_EQ(destination, source) << format << " " << size;
        }
    }
}

// A large surface converted at once (its block rows shared among threads)
// holds the same bytes as one converted block row by block row.
TEST(BlockCodec, LargeConversionsMatchBlockRowByBlockRow) {
    constexpr UINT kWidth = 322, kHeight = 301, kAcross = (kWidth + 3) / 4, kDown = (kHeight + 3) / 4;
    auto argb = Argb(kWidth, kHeight, [](UINT x, UINT y) -> DWORD {
        return ((x * y) & 0xFF) << 24 | ((x * 3) & 0xFF) << 16 | ((y * 5 + x) & 0xFF) << 8 | ((x ^ y) & 0xFF);
    });
    for (const D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT5}) {
        const INT pitch = static_cast<INT>(kAcross * (format == D3DFMT_DXT1 ? 8 : 16));
        std::vector<BYTE> whole(std::size_t{kDown} * pitch), rowByRow(whole.size());
        SurfaceDesc to = DescOver(whole.data(), format, kWidth, kHeight, pitch);
        SurfaceDesc from = DescOver(argb.data(), D3DFMT_A8R8G8B8, kWidth, kHeight, kWidth * 4);
        ASSERT_EQ(RunConversion(to, from, RESAMPLE_NONE | RESAMPLE_DITHER), S_OK);
        to.Data = rowByRow.data();
        for (UINT top = 0; top < kHeight; top += 4) {
            to.Box.Top = from.Box.Top = top;
            to.Box.Bottom = from.Box.Bottom = std::min(top + 4, kHeight);
            ASSERT_EQ(RunConversion(to, from, RESAMPLE_NONE | RESAMPLE_DITHER), S_OK);
        }
        EXPECT_EQ(whole, rowByRow) << format;
    }
}

// A colour key is compared on the block grid: a key that rounds to the
// stored red keys it out.
TEST(BlockCodec, ColourKeyIsComparedOnTheBlockGrid) {
    const BYTE red[8] = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
    std::vector<DWORD> argb(16, 0x12345678);
    SurfaceDesc from = DescOver(const_cast<BYTE*>(red), D3DFMT_DXT1, 4, 4, 8);
    from.ColorKey = 0xFFFC0201;
    SurfaceDesc to = DescOver(argb.data(), D3DFMT_A8R8G8B8, 4, 4, 16);
    ASSERT_EQ(RunConversion(to, from, RESAMPLE_NONE), S_OK);
    for (DWORD pixel : argb) EXPECT_EQ(pixel, 0u);
}

TEST(BlockCodec, BuffersThatCannotBeHadFailTheConversion) {
    auto argb = Argb(8, 8, [](UINT x, UINT y) -> DWORD { return 0xFF000000 | x << 20 | y << 4; });
    std::vector<BYTE> blocks(64);
    FailNextBlockBuffers(1);
    EXPECT_EQ(Convert(blocks.data(), D3DFMT_DXT3, 32, argb.data(), D3DFMT_A8R8G8B8, 32, 8, 8), E_OUTOFMEMORY);
    FailNextBlockBuffers(1);
    EXPECT_EQ(Convert(argb.data(), D3DFMT_A8R8G8B8, 32, blocks.data(), D3DFMT_DXT3, 32, 8, 8), E_OUTOFMEMORY);
    FailNextBlockBuffers(0);
}

// The same when the block rows are shared out among threads: the band that
// runs out fails the conversion, and nothing escapes its thread.
TEST(BlockCodec, BuffersThatCannotBeHadFailAConversionOfManyBlockRows) {
    constexpr UINT kSide = 256;
    auto argb = Argb(kSide, kSide, [](UINT x, UINT y) -> DWORD { return 0xFF000000 | x << 16 | y; });
    std::vector<BYTE> blocks(kSide / 4 * kSide / 4 * 8);
    FailNextBlockBuffers(1);
    EXPECT_EQ(Convert(blocks.data(), D3DFMT_DXT1, kSide / 4 * 8, argb.data(), D3DFMT_A8R8G8B8, kSide * 4, kSide, kSide),
              E_OUTOFMEMORY);
    FailNextBlockBuffers(0);
}

}  // namespace
}  // namespace quillmark
