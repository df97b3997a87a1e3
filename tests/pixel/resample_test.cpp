// RunConversion: the filter word, the order of the filters and each
// filter's result against hand-worked values.
#include <cstring>
#include <random>

#include "codec_test_support.h"
#include "pixel/conversion_job.h"
#include "platform/processor/processor_features.h"
#include "pixel/resample.h"

namespace quillmark {
namespace {

using testing::DescOver;

// A block of pixels of one format with its desc.
template <class Pixel>
struct Block {
    Block(D3DFORMAT format, UINT width, UINT height, UINT depth = 1, Pixel fill = Pixel{})
        : pixels(std::size_t{width} * height * depth, fill),
          desc(DescOver(pixels.data(), format, width, height, static_cast<INT>(width * sizeof(Pixel)), depth,
                        static_cast<INT>(width * height * sizeof(Pixel)))),
          width(width) {}
    Pixel& at(UINT x, UINT y, UINT z = 0) { return pixels[(std::size_t{z} * desc.Box.Bottom + y) * width + x]; }
    std::vector<Pixel> pixels;
    SurfaceDesc desc;
    UINT width;
};

struct Rgba32 {
    float r, g, b, a;
    bool operator==(const Rgba32&) const = default;
};

using FloatBlock = Block<Rgba32>;

FloatBlock FloatRow(std::initializer_list<float> reds) {
    FloatBlock block(D3DFMT_A32B32G32R32F, static_cast<UINT>(reds.size()), 1);
    UINT x = 0;
    for (float r : reds) block.at(x++, 0) = {r, 0, 0, 1};
    return block;
}

TEST(RunConversion, RejectsBadFilterWords) {
    Block<std::uint32_t> src(D3DFMT_A8R8G8B8, 2, 2, 1, 0x11223344u);
    Block<std::uint32_t> dst(D3DFMT_A8R8G8B8, 1, 1);
    for (DWORD filter : {0u, 6u, 0x800001u, 0xFFFFu, 0x80000005u}) {
        EXPECT_EQ(RunConversion(dst.desc, src.desc, filter), D3DERR_INVALIDCALL) << filter;
    }
    EXPECT_EQ(dst.pixels[0], 0u);
    EXPECT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_BOX | 0x7F0000u), S_OK);
    EXPECT_EQ(dst.pixels[0], 0x11223344u);
}

TEST(RunConversion, RejectsInvertedAndOversizedBoxes) {
    Block<std::uint32_t> src(D3DFMT_A8R8G8B8, 4, 4);
    Block<std::uint32_t> dst(D3DFMT_A8R8G8B8, 4, 4, 1, 0xABABABABu);
    SurfaceDesc inverted = src.desc;
    inverted.Box.Left = 3;
    inverted.Box.Right = 1;
    EXPECT_EQ(RunConversion(dst.desc, inverted, RESAMPLE_POINT), D3DERR_INVALIDCALL);
    inverted = src.desc;
    inverted.Box.Front = 1;
    inverted.Box.Back = 0;
    EXPECT_EQ(RunConversion(dst.desc, inverted, RESAMPLE_POINT), D3DERR_INVALIDCALL);
    SurfaceDesc invertedDestination = dst.desc;
    invertedDestination.Box.Top = 4;
    invertedDestination.Box.Bottom = 2;
    EXPECT_EQ(RunConversion(invertedDestination, src.desc, RESAMPLE_POINT), D3DERR_INVALIDCALL);

    SurfaceDesc empty = src.desc;
    empty.Box.Right = 0;
    EXPECT_EQ(RunConversion(dst.desc, empty, RESAMPLE_TRIANGLE), D3DERR_INVALIDCALL);

    SurfaceDesc huge = src.desc;
    huge.Box = {0, 0, 0x80000000u, 0x80000000u, 0, 0x80000000u};
    EXPECT_EQ(RunConversion(dst.desc, huge, RESAMPLE_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(RunConversion(huge, src.desc, RESAMPLE_NONE), D3DERR_INVALIDCALL);
    for (std::uint32_t p : dst.pixels) EXPECT_EQ(p, 0xABABABABu);
}

TEST(RunConversion, EmptyDestinationDoesNothing) {
    Block<std::uint32_t> src(D3DFMT_A8R8G8B8, 4, 4, 1, 0x01020304u);
    Block<std::uint32_t> dst(D3DFMT_A8R8G8B8, 4, 4, 1, 0xABABABABu);
    SurfaceDesc empty = dst.desc;
    empty.Box.Left = empty.Box.Right = 2;
    for (DWORD kind = RESAMPLE_NONE; kind <= RESAMPLE_BOX; ++kind) {
        EXPECT_EQ(RunConversion(empty, src.desc, kind | RESAMPLE_DITHER_DIFFUSION), S_OK);
    }
    for (std::uint32_t p : dst.pixels) EXPECT_EQ(p, 0xABABABABu);
}

TEST(RunConversion, FormatsWithoutCodecFail) {
    Block<std::uint32_t> src(D3DFMT_D24S8, 2, 2);
    Block<std::uint32_t> dst(D3DFMT_A8R8G8B8, 2, 2);
    EXPECT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_POINT), E_FAIL);
    EXPECT_EQ(RunConversion(src.desc, dst.desc, RESAMPLE_POINT), E_FAIL);
}

TEST(SameSize, ConvertsEvenUnderTheBoxFilter) {
    Block<std::uint32_t> src(D3DFMT_A8R8G8B8, 3, 2, 1, 0xFF00FF00u);
    Block<std::uint16_t> dst(D3DFMT_R5G6B5, 3, 2);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_BOX), S_OK);
    for (std::uint16_t p : dst.pixels) EXPECT_EQ(p, 0x07E0);
}

TEST(RawCopy, CopiesBytesOfEqualFormatsInsideBoxes) {
    Block<std::uint32_t> src(D3DFMT_X8R8G8B8, 4, 4);
    for (UINT i = 0; i < 16; ++i) src.pixels[i] = 0xAA000000u | i;  // X byte kept by a byte copy
    Block<std::uint32_t> dst(D3DFMT_X8R8G8B8, 4, 4);
    SurfaceDesc from = src.desc;
    from.Box = {1, 1, 3, 3, 0, 1};
    SurfaceDesc to = dst.desc;
    to.Box = {0, 2, 2, 4, 0, 1};
    ASSERT_EQ(RunConversion(to, from, RESAMPLE_TRIANGLE), S_OK);
    EXPECT_EQ(dst.at(0, 2), 0xAA000005u);
    EXPECT_EQ(dst.at(1, 3), 0xAA00000Au);
    EXPECT_EQ(dst.at(0, 0), 0u);
}

TEST(RawCopy, ColourKeyForcesConversion) {
    Block<std::uint32_t> src(D3DFMT_X8R8G8B8, 2, 1, 1, 0x00123456u);
    src.desc.ColorKey = 0xFF123456u;
    Block<std::uint32_t> dst(D3DFMT_A8R8G8B8, 2, 1, 1, 0xFFFFFFFFu);
    dst.desc.Format = D3DFMT_A8R8G8B8;
    src.desc.Format = D3DFMT_A8R8G8B8;
    src.pixels[0] = 0xFF123456u;
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_NONE), S_OK);
    EXPECT_EQ(dst.pixels[0], 0u);
}

std::vector<BYTE> RedPalette(int index, BYTE entry200) {
    std::vector<BYTE> bytes(1024, 0);
    bytes[4 * index] = 255;
    bytes[4 * index + 3] = 255;
    bytes[4 * 200] = entry200;
    return bytes;
}

// Palettes differing only in entry 200 are not a raw copy: the index is
// looked up in the source palette and matched in the destination's, where
// red comes first at index 3.
TEST(RawCopy, PalettesMustMatchInEveryEntry) {
    std::vector<BYTE> sourcePalette = RedPalette(5, 0);
    std::vector<BYTE> destinationPalette = RedPalette(5, 0);
    destinationPalette[4 * 3] = 255;
    destinationPalette[4 * 3 + 3] = 255;
    Block<BYTE> src(D3DFMT_P8, 2, 1, 1, 5);
    Block<BYTE> dst(D3DFMT_P8, 2, 1);
    src.desc.Palette = reinterpret_cast<const PALETTEENTRY*>(sourcePalette.data());
    dst.desc.Palette = reinterpret_cast<const PALETTEENTRY*>(destinationPalette.data());
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_NONE), S_OK);
    EXPECT_EQ(dst.pixels[0], 3);

    dst.desc.Palette = src.desc.Palette;
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_NONE), S_OK);
    EXPECT_EQ(dst.pixels[0], 5);
}

TEST(NoneFilter, ExtraColumnsAndRowsBecomeZero) {
    Block<std::uint32_t> src(D3DFMT_A8R8G8B8, 4, 4, 1, 0xFF808080u);
    Block<std::uint32_t> dst(D3DFMT_A8R8G8B8, 8, 8, 1, 0xCDCDCDCDu);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_NONE), S_OK);
    for (UINT y = 0; y < 8; ++y) {
        for (UINT x = 0; x < 8; ++x) {
            EXPECT_EQ(dst.at(x, y), x < 4 && y < 4 ? 0xFF808080u : 0u) << x << "," << y;
        }
    }
}

// With diffusion the encoder adds its carried error into the row it is
// given; the padding and the empty rows must still be encoded from zero.
// The reference encodes the same rows through a codec with fresh rows.
TEST(NoneFilter, DiffusionDoesNotLeakIntoZeroRows) {
    FloatBlock src(D3DFMT_A32B32G32R32F, 4, 2);
    for (Rgba32& p : src.pixels) p = {0.49f, 0.49f, 0.49f, 0.49f};
    Block<std::uint16_t> dst(D3DFMT_A1R5G5B5, 8, 8);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_NONE | RESAMPLE_DITHER_DIFFUSION), S_OK);

    Block<std::uint16_t> want(D3DFMT_A1R5G5B5, 8, 8);
    want.desc.DiffusionDither = 1;
    auto codec = testing::MustCreate(want.desc);
    for (UINT y = 0; y < 8; ++y) {
        std::vector<FloatColor> row(8, FloatColor{});
        if (y < 2) std::fill(row.begin(), row.begin() + 4, FloatColor{0.49f, 0.49f, 0.49f, 0.49f});
        codec->EncodeRow(y, 0, row.data());
    }
    EXPECT_EQ(dst.pixels, want.pixels);
    int lit = 0;
    for (UINT y = 2; y < 8; ++y)
        for (UINT x = 0; x < 8; ++x) lit += dst.at(x, y) >> 15;
    EXPECT_EQ(lit, 0);
}

TEST(PointFilter, FourToTwoSamplesColumnsZeroAndTwo) {
    FloatBlock src = FloatRow({0.1f, 0.2f, 0.3f, 0.4f});
    FloatBlock dst(D3DFMT_A32B32G32R32F, 2, 1);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_POINT), S_OK);
    EXPECT_EQ(dst.pixels[0].r, 0.1f);
    EXPECT_EQ(dst.pixels[1].r, 0.3f);
}

TEST(PointFilter, UpsamplingRepeatsAndRowsAreSampledByTheirTopEdge) {
    FloatBlock src(D3DFMT_A32B32G32R32F, 2, 3);
    for (UINT y = 0; y < 3; ++y)
        for (UINT x = 0; x < 2; ++x) src.at(x, y) = {static_cast<float>(10 * y + x), 0, 0, 1};
    FloatBlock dst(D3DFMT_A32B32G32R32F, 5, 2);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_POINT), S_OK);
    // Columns: floor(i * 2/5) = 0 0 0 1 1; rows: floor(i * 3/2) = 0 1.
    const float want[2][5] = {{0, 0, 0, 1, 1}, {10, 10, 10, 11, 11}};
    for (UINT y = 0; y < 2; ++y)
        for (UINT x = 0; x < 5; ++x) EXPECT_EQ(dst.at(x, y).r, want[y][x]) << x << "," << y;
}

// A 16.16 step of a 70000-texel source does not fit 32 bits.
TEST(PointFilter, WideSourcesDoNotWrapTheStep) {
    Block<BYTE> src(D3DFMT_L8, 70000, 1);
    for (UINT x = 0; x < 70000; ++x) src.pixels[x] = static_cast<BYTE>(x / 10000 * 30);
    Block<BYTE> dst(D3DFMT_L8, 7, 1);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_POINT), S_OK);
    for (UINT x = 0; x < 7; ++x) EXPECT_EQ(dst.pixels[x], x * 30) << x;
}

// 5 x 5 -> 2 x 2 averages the top-left 4 x 4: the last row and column
// (255) never reach the result.
TEST(BoxFilter, OddSourceDropsItsLastRowAndColumn) {
    Block<BYTE> src(D3DFMT_L8, 5, 5, 1, 255);
    const BYTE topLeft[4][4] = {{0, 4, 8, 12}, {16, 20, 24, 28}, {100, 101, 102, 103}, {0, 0, 0, 1}};
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x) src.at(x, y) = topLeft[y][x];
    Block<BYTE> packed(D3DFMT_L8, 2, 2);
    ASSERT_EQ(RunConversion(packed.desc, src.desc, RESAMPLE_BOX), S_OK);
    // (0+4+16+20+2)>>2 = 10, (8+12+24+28+2)>>2 = 18, (100+101+0+0+2)>>2 = 50,
    // (102+103+0+1+2)>>2 = 52.
    EXPECT_EQ(packed.pixels, (std::vector<BYTE>{10, 18, 50, 52}));

    // The general path (dithering prevents the packed one) averages floats;
    // exact averages survive any threshold below 1.
    Block<BYTE> general(D3DFMT_L8, 2, 2);
    ASSERT_EQ(RunConversion(general.desc, src.desc, RESAMPLE_BOX | RESAMPLE_DITHER), S_OK);
    EXPECT_EQ(general.pixels[0], 10);
    EXPECT_EQ(general.pixels[1], 18);
}

TEST(BoxFilter, GeneralPathAveragesFloats) {
    FloatBlock src(D3DFMT_A32B32G32R32F, 4, 2);
    const float reds[2][4] = {{1, 2, 3, 4}, {5, 6, 7, 9}};
    for (UINT y = 0; y < 2; ++y)
        for (UINT x = 0; x < 4; ++x) src.at(x, y) = {reds[y][x], 0, 0, 1};
    FloatBlock dst(D3DFMT_A32B32G32R32F, 2, 1);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_BOX), S_OK);
    EXPECT_FLOAT_EQ(dst.pixels[0].r, 3.5f);
    EXPECT_FLOAT_EQ(dst.pixels[1].r, 5.75f);
    EXPECT_FLOAT_EQ(dst.pixels[0].a, 1.0f);
}

TEST(BoxFilter, SingleRowAndColumnAreReused) {
    FloatBlock row = FloatRow({2, 4, 6, 10});
    FloatBlock dst(D3DFMT_A32B32G32R32F, 2, 1);
    ASSERT_EQ(RunConversion(dst.desc, row.desc, RESAMPLE_BOX), S_OK);
    EXPECT_FLOAT_EQ(dst.pixels[0].r, 3.0f);
    EXPECT_FLOAT_EQ(dst.pixels[1].r, 8.0f);
}

TEST(BoxFilter, FourToThreeIsTheTentFilter) {
    Block<std::uint32_t> src(D3DFMT_A8R8G8B8, 4, 4);
    std::mt19937 random(7);
    for (std::uint32_t& p : src.pixels) p = random();
    Block<std::uint32_t> boxed(D3DFMT_A8R8G8B8, 3, 3);
    Block<std::uint32_t> tent(D3DFMT_A8R8G8B8, 3, 3);
    ASSERT_EQ(RunConversion(boxed.desc, src.desc, RESAMPLE_BOX), S_OK);
    ASSERT_EQ(RunConversion(tent.desc, src.desc, RESAMPLE_TRIANGLE), S_OK);
    EXPECT_EQ(boxed.pixels, tent.pixels);
}

// Packed halving of every fast-path format against the field-wise
// (a + b + c + d + 2) >> 2 worked out here, with the vector form on and off.
struct PackedCase {
    D3DFORMAT format;
    std::vector<std::pair<int, int>> fields;  // shift, bits
};

template <class Word>
void CheckPackedHalving(const PackedCase& c, bool vector) {
    SCOPED_TRACE(::testing::Message() << "format " << c.format << " vector " << vector);
    Block<Word> src(c.format, 8, 6);
    std::mt19937 random(c.format);
    for (Word& p : src.pixels) p = static_cast<Word>(random());
    Block<Word> dst(c.format, 4, 3);
    if (!vector) processor::Disallow(processor::kMmx);
    if (vector && !processor::Allow(processor::kMmx)) return;  // QUILLMARK_CPU rules the vector form out
    EXPECT_EQ(BoxVectorPathEnabled(), vector);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_BOX | RESAMPLE_DITHER_DIFFUSION), S_OK);
    for (UINT y = 0; y < 3; ++y) {
        for (UINT x = 0; x < 4; ++x) {
            std::uint32_t want = 0;
            for (auto [shift, bits] : c.fields) {
                const std::uint32_t mask = (1u << bits) - 1;
                std::uint32_t sum = 2;
                for (UINT k = 0; k < 4; ++k) sum += (src.at(2 * x + k % 2, 2 * y + k / 2) >> shift) & mask;
                want |= (sum >> 2) << shift;
            }
            EXPECT_EQ(dst.at(x, y), static_cast<Word>(want)) << x << "," << y;
        }
    }
    processor::Allow(processor::kMmx);
}

TEST(BoxFilter, PackedHalvingOfEveryFastFormat) {
    const std::vector<std::pair<int, int>> bytes4 = {{0, 8}, {8, 8}, {16, 8}, {24, 8}};
    for (bool vector : {false, true}) {
        for (D3DFORMAT f : {D3DFMT_A8R8G8B8, D3DFMT_A8B8G8R8, D3DFMT_X8R8G8B8, D3DFMT_X8B8G8R8}) {
            CheckPackedHalving<std::uint32_t>({f, bytes4}, vector);
        }
    }
    CheckPackedHalving<std::uint16_t>({D3DFMT_R5G6B5, {{0, 5}, {5, 6}, {11, 5}}}, false);
    CheckPackedHalving<std::uint16_t>({D3DFMT_X1R5G5B5, {{0, 5}, {5, 5}, {10, 5}}}, false);
    CheckPackedHalving<std::uint16_t>({D3DFMT_A1R5G5B5, {{0, 5}, {5, 5}, {10, 5}, {15, 1}}}, false);
    CheckPackedHalving<std::uint16_t>({D3DFMT_A4R4G4B4, {{0, 4}, {4, 4}, {8, 4}, {12, 4}}}, false);
    CheckPackedHalving<std::uint16_t>({D3DFMT_X4R4G4B4, {{0, 4}, {4, 4}, {8, 4}}}, false);
    CheckPackedHalving<std::uint16_t>({D3DFMT_A8R3G3B2, {{0, 2}, {2, 3}, {5, 3}, {8, 8}}}, false);
    CheckPackedHalving<std::uint16_t>({D3DFMT_A8L8, {{0, 8}, {8, 8}}}, false);
    CheckPackedHalving<BYTE>({D3DFMT_R3G3B2, {{0, 2}, {2, 3}, {5, 3}}}, false);
    CheckPackedHalving<BYTE>({D3DFMT_A8, {{0, 8}}}, false);
    CheckPackedHalving<BYTE>({D3DFMT_L8, {{0, 8}}}, false);
    CheckPackedHalving<BYTE>({D3DFMT_A4L4, {{0, 4}, {4, 4}}}, false);
}

// A colour-keyed source must not take the packed path, which cannot key.
TEST(BoxFilter, ColourKeyedSourcesAreKeyedBeforeAveraging) {
    Block<std::uint32_t> src(D3DFMT_A8R8G8B8, 2, 2, 1, 0xFF0000FFu);
    src.desc.ColorKey = 0xFF0000FFu;
    src.pixels[0] = 0xFFFFFFFFu;
    Block<std::uint32_t> dst(D3DFMT_A8R8G8B8, 1, 1);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_BOX), S_OK);
    EXPECT_EQ(dst.pixels[0], 0x40404040u);  // one white pixel and three keyed ones
}

TEST(BoxFilter, VolumeAveragesEightTexels) {
    FloatBlock src(D3DFMT_A32B32G32R32F, 2, 2, 2);
    for (UINT i = 0; i < 8; ++i) src.pixels[i] = {static_cast<float>(i), 1, 1, 1};
    FloatBlock dst(D3DFMT_A32B32G32R32F, 1, 1, 1);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_BOX), S_OK);
    EXPECT_FLOAT_EQ(dst.pixels[0].r, 3.5f);
}

TEST(LinearFilter, TwoToFourWrapsOrMirrors) {
    FloatBlock src = FloatRow({0.0f, 1.0f});
    FloatBlock wrapped(D3DFMT_A32B32G32R32F, 4, 1);
    FloatBlock mirrored(D3DFMT_A32B32G32R32F, 4, 1);
    ASSERT_EQ(RunConversion(wrapped.desc, src.desc, RESAMPLE_LINEAR), S_OK);
    ASSERT_EQ(RunConversion(mirrored.desc, src.desc, RESAMPLE_LINEAR | RESAMPLE_MIRROR_U), S_OK);
    const float wantWrapped[4] = {0.25f, 0.25f, 0.75f, 0.75f};
    const float wantMirrored[4] = {0.0f, 0.25f, 0.75f, 1.0f};
    for (UINT x = 0; x < 4; ++x) {
        EXPECT_FLOAT_EQ(wrapped.pixels[x].r, wantWrapped[x]) << x;
        EXPECT_FLOAT_EQ(mirrored.pixels[x].r, wantMirrored[x]) << x;
    }
}

TEST(LinearFilter, BilinearBlendsFourTexels) {
    FloatBlock src(D3DFMT_A32B32G32R32F, 2, 2);
    src.at(0, 0) = {0, 0, 0, 1};
    src.at(1, 0) = {4, 0, 0, 1};
    src.at(0, 1) = {8, 0, 0, 1};
    src.at(1, 1) = {16, 0, 0, 1};
    FloatBlock dst(D3DFMT_A32B32G32R32F, 1, 1);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_LINEAR), S_OK);
    EXPECT_FLOAT_EQ(dst.pixels[0].r, 7.0f);
}

TEST(LinearFilter, VolumeBlendsEightTexels) {
    FloatBlock src(D3DFMT_A32B32G32R32F, 2, 2, 2);
    for (UINT i = 0; i < 8; ++i) src.pixels[i] = {static_cast<float>(i * i), 0, 0, 1};
    FloatBlock dst(D3DFMT_A32B32G32R32F, 1, 1, 1);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_LINEAR), S_OK);
    EXPECT_FLOAT_EQ(dst.pixels[0].r, 140.0f / 8);
}

TEST(TentFilter, TwoToOneAveragesWithAndWithoutWrap) {
    FloatBlock src = FloatRow({0.2f, 0.6f});
    for (DWORD mirror : {0u, RESAMPLE_MIRROR_U}) {
        FloatBlock dst(D3DFMT_A32B32G32R32F, 1, 1);
        ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_TRIANGLE | mirror), S_OK);
        EXPECT_FLOAT_EQ(dst.pixels[0].r, 0.4f);
    }
}

// 2 -> 4 mirrored, by the weights worked out in the FilterWeights test:
// destination 0 takes source 0 only; 1 takes 0.75 of it and 0.25 of
// source 1.
TEST(TentFilter, UpsamplingByHand) {
    FloatBlock src(D3DFMT_A32B32G32R32F, 2, 1);
    src.at(0, 0) = {0.0f, 0, 0, 1};
    src.at(1, 0) = {1.0f, 0, 0, 1};
    FloatBlock dst(D3DFMT_A32B32G32R32F, 4, 1);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_TRIANGLE | RESAMPLE_MIRROR), S_OK);
    const float want[4] = {0.0f, 0.25f, 0.75f, 1.0f};
    for (UINT x = 0; x < 4; ++x) EXPECT_FLOAT_EQ(dst.pixels[x].r, want[x]) << x;
}

// Tent weights add up to 1 only within float rounding; the accumulated
// rows are clamped to the source's range before encoding, which a float
// destination shows.
TEST(TentFilter, ClampsToTheSourceRange) {
    Block<std::uint32_t> white(D3DFMT_A8R8G8B8, 13, 11, 1, 0xFFFFFFFFu);
    FloatBlock out(D3DFMT_A32B32G32R32F, 7, 5);
    ASSERT_EQ(RunConversion(out.desc, white.desc, RESAMPLE_TRIANGLE), S_OK);
    for (const Rgba32& p : out.pixels) {
        EXPECT_LE(p.r, 1.0f);
        EXPECT_GE(p.r, 0.999f);
        EXPECT_LE(p.a, 1.0f);
    }
    Block<std::uint16_t> src(D3DFMT_V8U8, 3, 1, 1, 0x7F81);
    FloatBlock dst(D3DFMT_A32B32G32R32F, 2, 1);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_TRIANGLE), S_OK);
    for (const Rgba32& p : dst.pixels) {
        EXPECT_GE(p.r, -1.0f);
        EXPECT_LE(p.g, 1.0f);
        EXPECT_NEAR(p.r, -1.0f, 1e-5f);
        EXPECT_NEAR(p.g, 1.0f, 1e-5f);
    }
}

TEST(TentFilter, WrapReachesEveryDestinationOnce) {
    Block<BYTE> src(D3DFMT_L8, 3, 3, 1, 200);
    Block<BYTE> dst(D3DFMT_L8, 2, 2, 1, 7);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_TRIANGLE), S_OK);
    for (BYTE p : dst.pixels) EXPECT_EQ(p, 200);
}

TEST(TentFilter, VolumeKeepsAFlatImageFlat) {
    FloatBlock src(D3DFMT_A32B32G32R32F, 3, 5, 3);
    for (Rgba32& p : src.pixels) p = {0.5f, 0.25f, 1.0f, 1.0f};
    FloatBlock dst(D3DFMT_A32B32G32R32F, 2, 2, 2);
    ASSERT_EQ(RunConversion(dst.desc, src.desc, RESAMPLE_TRIANGLE), S_OK);
    for (const Rgba32& p : dst.pixels) {
        EXPECT_NEAR(p.r, 0.5f, 1e-5f);
        EXPECT_NEAR(p.g, 0.25f, 1e-5f);
    }
}

TEST(Conversion, PackedPairsRoundTripThroughRgb) {
    Block<std::uint32_t> src(D3DFMT_X8R8G8B8, 4, 2, 1, 0x00FF0000u);
    Block<std::uint32_t> yuy2(D3DFMT_YUY2, 4, 2);
    yuy2.desc.RowPitch = 8;
    ASSERT_EQ(RunConversion(yuy2.desc, src.desc, RESAMPLE_NONE), S_OK);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(yuy2.pixels.data());
    EXPECT_EQ(bytes[0], 81);
    EXPECT_EQ(bytes[1], 91);
    EXPECT_EQ(bytes[3], 240);
    EXPECT_EQ(bytes[8], 81);  // second row written back too
}

}  // namespace
}  // namespace quillmark
