// Large conversions and box halvings share their rows out among threads;
// every row must come out as when it is converted in a block of four rows
// (the ordered dither's period, far below the size that starts threads), and the bytes of a grid of
// formats and sizes must keep the hash they had before the rows were shared.
#include <algorithm>
#include <cstring>
#include <random>

#include "codec_test_support.h"
#include "platform/processor/processor_features.h"
#include "pixel/resample.h"

namespace quillmark {
namespace {

using testing::DescOver;

struct Size {
    UINT width;
    UINT height;
};

// Odd widths and heights that no band count divides, and one texture-sized block.
constexpr Size kSizes[] = {{1001, 703}, {2048, 257}, {515, 1029}};
constexpr std::pair<D3DFORMAT, D3DFORMAT> kPairs[] = {
    {D3DFMT_R8G8B8, D3DFMT_X8R8G8B8}, {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8}, {D3DFMT_A8R8G8B8, D3DFMT_R5G6B5},
    {D3DFMT_R8G8B8, D3DFMT_L8},       {D3DFMT_P8, D3DFMT_A8R8G8B8},       {D3DFMT_A16B16G16R16, D3DFMT_A8R8G8B8},
};
constexpr D3DFORMAT kHalved[] = {D3DFMT_A8R8G8B8, D3DFMT_X8B8G8R8, D3DFMT_R5G6B5, D3DFMT_L8};
constexpr DWORD kLoadFilter = RESAMPLE_TRIANGLE | RESAMPLE_DITHER;
constexpr UINT kDitherRows = 4;

UINT BytesPerPixel(D3DFORMAT format) { return LookupPixelFormat(format).bitsPerPixel / 8; }

std::vector<BYTE> RandomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<BYTE> bytes(count);
    for (BYTE& b : bytes) b = static_cast<BYTE>(random());
    return bytes;
}

struct Image {
    D3DFORMAT format;
    Size size;
    INT pitch;
    std::vector<BYTE> bytes;

    Image(D3DFORMAT f, Size s, unsigned seed)
        : format(f), size(s), pitch(static_cast<INT>(s.width * BytesPerPixel(f) + 4)),
          bytes(RandomBytes(std::size_t(pitch) * s.height, seed)) {}
    SurfaceDesc Whole() { return DescOver(bytes.data(), format, size.width, size.height, pitch); }
    // Rows [top, top + count) of the whole, where the dither thresholds are the whole's.
    SurfaceDesc Rows(UINT top, UINT count) {
        SurfaceDesc rows = Whole();
        rows.Box.Top = top;
        rows.Box.Bottom = top + count;
        return rows;
    }
};

std::vector<PALETTEENTRY> RandomPalette() {
    const std::vector<BYTE> bytes = RandomBytes(256 * 4, 7);
    std::vector<PALETTEENTRY> palette(256);
    std::memcpy(palette.data(), bytes.data(), bytes.size());
    return palette;
}

std::uint64_t Fnv1a(std::uint64_t hash, const std::vector<BYTE>& bytes) {
    for (BYTE b : bytes) hash = (hash ^ b) * 0x100000001B3ull;
    return hash;
}
constexpr std::uint64_t kFnvStart = 0xCBF29CE484222325ull;
// The grids' bytes as one thread wrote them, before rows were shared out.
constexpr std::uint64_t kConversionHash = 1169416514086265112ull;
constexpr std::uint64_t kHalvingHash = 17533070614807245797ull;

// Whole and four rows at a time; returns the whole conversion's bytes.
std::vector<BYTE> ConvertBothWays(D3DFORMAT from, D3DFORMAT to, Size size, DWORD filter) {
    static const std::vector<PALETTEENTRY> palette = RandomPalette();
    Image source(from, size, from * 131 + size.width);
    Image whole(to, size, 1), single(to, size, 1);
    SurfaceDesc all = source.Whole();
    all.Palette = palette.data();
    EXPECT_EQ(RunConversion(whole.Whole(), all, filter), S_OK);
    for (UINT y = 0; y < size.height; y += kDitherRows) {
        const UINT count = std::min(kDitherRows, size.height - y);
        SurfaceDesc rows = source.Rows(y, count);
        rows.Palette = palette.data();
        EXPECT_EQ(RunConversion(single.Rows(y, count), rows, filter), S_OK);
    }
    EXPECT_EQ(whole.bytes, single.bytes) << from << " -> " << to << " " << size.width << " x " << size.height;
    return whole.bytes;
}

std::vector<BYTE> HalveBothWays(D3DFORMAT format, Size size) {
    Image source(format, size, format * 17 + size.height);
    const Size half{size.width / 2, size.height / 2};
    Image whole(format, half, 2), single(format, half, 2);
    EXPECT_EQ(RunConversion(whole.Whole(), source.Whole(), RESAMPLE_BOX), S_OK);
    for (UINT y = 0; y < half.height; ++y) {
        SurfaceDesc pair = source.Rows(2 * y, 2);
        EXPECT_EQ(RunConversion(single.Rows(y, 1), pair, RESAMPLE_BOX), S_OK);
    }
    EXPECT_EQ(whole.bytes, single.bytes) << format << " " << size.width << " x " << size.height;
    return whole.bytes;
}

TEST(BandedRows, LargeConversionsEqualRowByRow) {
    std::uint64_t hash = kFnvStart;
    for (const Size size : kSizes)
        for (const auto& [from, to] : kPairs)
            for (const DWORD filter : {DWORD{RESAMPLE_NONE}, kLoadFilter})
                hash = Fnv1a(hash, ConvertBothWays(from, to, size, filter));
    EXPECT_EQ(hash, kConversionHash);
}

TEST(BandedRows, LargeHalvingsEqualRowByRow) {
    std::uint64_t hash = kFnvStart;
    for (const bool vector : {true, false}) {
        // Both forms give the same bits, so the hash holds where QUILLMARK_CPU rules the vector form out.
        if (vector)
            processor::Allow(processor::kMmx);
        else
            processor::Disallow(processor::kMmx);
        for (const Size size : kSizes)
            for (const D3DFORMAT format : kHalved) hash = Fnv1a(hash, HalveBothWays(format, size));
    }
    processor::Allow(processor::kMmx);
    EXPECT_EQ(hash, kHalvingHash);
}

}  // namespace
}  // namespace quillmark
