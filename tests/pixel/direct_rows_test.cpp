// Direct conversions against the general path (decode to FloatColor, round
// back) over random rows: every pair of the direct set, byte for byte, and
// the settings under which the direct path must stand aside.
#include <limits>
#include <random>

#include "codec_test_support.h"
#include "pixel/conversion_job.h"
#include "pixel/direct_rows.h"
#include "pixel/linear_formats.h"
#include "pixel/resample.h"

namespace quillmark {
namespace {

using testing::DescOver;

constexpr D3DFORMAT kNarrow[] = {D3DFMT_R8G8B8,   D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_A8B8G8R8,
                                 D3DFMT_X8B8G8R8, D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
                                 D3DFMT_A4R4G4B4, D3DFMT_L8,       D3DFMT_A8L8};
constexpr D3DFORMAT kWide[] = {D3DFMT_A16B16G16R16, D3DFMT_G16R16, D3DFMT_L16, FORMAT_AL16, FORMAT_R16};

constexpr UINT kWidth = 4096;
constexpr UINT kHeight = 16;  // 65536 pixels: every value of each field of 8 bits or fewer, many times
constexpr UINT kPixelBytesMax = 8;

// The general path alone: codecs of both sides, a FloatColor row between.
HRESULT GeneralConversion(const SurfaceDesc& destination, const SurfaceDesc& source, DWORD filter) {
    ConversionJob job;
    job.filter = filter;
    job.destinationDesc = destination;
    job.sourceDesc = source;
    job.destinationDesc.Srgb = filter & RESAMPLE_SRGB_OUT;
    job.sourceDesc.Srgb = filter & RESAMPLE_SRGB_IN;
    job.destinationDesc.Dither = filter & RESAMPLE_DITHER;
    job.destinationDesc.DiffusionDither = filter & RESAMPLE_DITHER_DIFFUSION;
    HRESULT hr = CreateRowCodec(job.destinationDesc, job.destination);
    if (SUCCEEDED(hr)) hr = CreateRowCodec(job.sourceDesc, job.source);
    if (FAILED(hr)) return hr;
    job.destination->AttachSource(*job.source);
    return SameSizeFilter(job);
}

struct Pair {
    std::vector<BYTE> source = std::vector<BYTE>(std::size_t{kWidth} * kHeight * kPixelBytesMax);
    std::vector<PALETTEENTRY> palette = std::vector<PALETTEENTRY>(256);

    explicit Pair(unsigned seed) {
        std::mt19937 random(seed);
        for (BYTE& b : source) b = static_cast<BYTE>(random());
        for (PALETTEENTRY& e : palette) {
            e = {static_cast<BYTE>(random()), static_cast<BYTE>(random()), static_cast<BYTE>(random()),
                 static_cast<BYTE>(random())};
        }
    }

    // The destination bytes of the direct (RunConversion) and the general path.
    std::pair<std::vector<BYTE>, std::vector<BYTE>> Convert(D3DFORMAT from, D3DFORMAT to, DWORD filter = RESAMPLE_NONE,
                                                            D3DCOLOR colorKey = 0) {
        const INT pitch = kWidth * kPixelBytesMax;
        SurfaceDesc source = DescOver(this->source.data(), from, kWidth, kHeight, pitch);
        source.Palette = palette.data();
        source.ColorKey = colorKey;
        std::vector<BYTE> direct(this->source.size(), 0xCD), general(this->source.size(), 0xCD);
        EXPECT_EQ(RunConversion(DescOver(direct.data(), to, kWidth, kHeight, pitch), source, filter), S_OK);
        EXPECT_EQ(GeneralConversion(DescOver(general.data(), to, kWidth, kHeight, pitch), source, filter), S_OK);
        return {direct, general};
    }
};

std::vector<D3DFORMAT> Sources() {
    std::vector<D3DFORMAT> all(std::begin(kNarrow), std::end(kNarrow));
    all.insert(all.end(), std::begin(kWide), std::end(kWide));
    all.push_back(D3DFMT_P8);
    return all;
}

TEST(DirectRows, EveryPairHasARoutine) {
    for (const D3DFORMAT from : Sources())
        for (const D3DFORMAT to : kNarrow) EXPECT_NE(FindDirectConversion(from, to).row, nullptr) << from << " " << to;
    EXPECT_EQ(FindDirectConversion(D3DFMT_A8R8G8B8, D3DFMT_A16B16G16R16).row, nullptr);
    EXPECT_EQ(FindDirectConversion(D3DFMT_A8R8G8B8, D3DFMT_P8).row, nullptr);
    EXPECT_EQ(FindDirectConversion(D3DFMT_V8U8, D3DFMT_A8R8G8B8).row, nullptr);
}

// Widening, narrowing, luminance from colour, colour from luminance, the
// defaults of missing alpha, palette lookups: all as the general path.
TEST(DirectRows, EveryPairEqualsTheGeneralPath) {
    Pair pair(1);
    for (const D3DFORMAT from : Sources())
        for (const D3DFORMAT to : kNarrow) {
            if (from == to) continue;  // a raw copy, bytes as they are
            const auto [direct, general] = pair.Convert(from, to);
            ASSERT_EQ(direct, general) << from << " -> " << to;
        }
}

// Ordered dithering: pairs whose fields move as bits keep the direct path
// (the thresholds change nothing there), the others take the general path;
// both give the general path's bytes.
TEST(DirectRows, OrderedDitherEqualsTheGeneralPath) {
    EXPECT_TRUE(FindDirectConversion(D3DFMT_R8G8B8, D3DFMT_X8R8G8B8).ditherFree);
    EXPECT_TRUE(FindDirectConversion(D3DFMT_R8G8B8, D3DFMT_A8R8G8B8).ditherFree);
    EXPECT_FALSE(FindDirectConversion(D3DFMT_R5G6B5, D3DFMT_X1R5G5B5).ditherFree);  // green narrows
    EXPECT_FALSE(FindDirectConversion(D3DFMT_A8R8G8B8, D3DFMT_R5G6B5).ditherFree);
    EXPECT_FALSE(FindDirectConversion(D3DFMT_A8R8G8B8, D3DFMT_L8).ditherFree);
    Pair pair(3);
    for (const D3DFORMAT from : Sources())
        for (const D3DFORMAT to : kNarrow) {
            if (from == to) continue;
            const auto [direct, general] = pair.Convert(from, to, RESAMPLE_NONE | RESAMPLE_DITHER);
            ASSERT_EQ(direct, general) << from << " -> " << to;
        }
}

// Diffusion, a colour key or gamma on one side send the job to the general
// path (gamma on both sides cancels, so the direct path takes it).
TEST(DirectRows, SettingsThatNeedTheGeneralPathStillMatchIt) {
    Pair pair(2);
    for (const DWORD filter : {RESAMPLE_NONE | RESAMPLE_DITHER_DIFFUSION, RESAMPLE_NONE | RESAMPLE_SRGB_IN,
                               RESAMPLE_NONE | RESAMPLE_SRGB_OUT, RESAMPLE_NONE | RESAMPLE_SRGB_IN | RESAMPLE_SRGB_OUT}) {
        for (const auto& [from, to] : {std::pair{D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}, std::pair{D3DFMT_R8G8B8, D3DFMT_L8}}) {
            const auto [direct, general] = pair.Convert(from, to, filter);
            ASSERT_EQ(direct, general) << from << " -> " << to << " filter " << filter;
        }
    }
    const auto [direct, general] = pair.Convert(D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, RESAMPLE_NONE, 0xFF102030);
    EXPECT_EQ(direct, general);
}

// A box inside larger surfaces: only the box's pixels change.
TEST(DirectRows, BoxesKeepTheirSurroundings) {
    std::vector<DWORD> source(8 * 8), destination(8 * 8, 0x12345678);
    for (UINT i = 0; i < source.size(); ++i) source[i] = 0xFF000000 | i * 0x010203;
    SurfaceDesc from = DescOver(source.data(), D3DFMT_X8R8G8B8, 8, 8, 32);
    SurfaceDesc to = DescOver(destination.data(), D3DFMT_A8R8G8B8, 8, 8, 32);
    from.Box = {1, 2, 4, 5, 0, 1};
    to.Box = {3, 3, 6, 6, 0, 1};
    ASSERT_EQ(RunConversion(to, from, RESAMPLE_NONE), S_OK);
    for (UINT y = 0; y < 8; ++y)
        for (UINT x = 0; x < 8; ++x) {
            const bool inBox = x >= 3 && x < 6 && y >= 3 && y < 6;
            const DWORD want = inBox ? (source[(y - 1) * 8 + x - 2] | 0xFF000000) : 0x12345678;
            EXPECT_EQ(destination[y * 8 + x], want) << x << "," << y;
        }
}

// The four-at-a-time rounding of byte layouts equals rounding field by
// field, for values in range, past either end, on the half steps and NaN.
template <class L, std::size_t... I>
std::vector<BYTE> RoundFieldByField(const std::vector<FloatColor>& row, std::index_sequence<I...>) {
    std::vector<BYTE> out(row.size() * 4);
    for (std::size_t x = 0; x < row.size(); ++x) {
        const DWORD pixel = (layout::RoundField<L::kFields[I], DWORD>(row[x]) | ...);
        std::memcpy(out.data() + 4 * x, &pixel, 4);
    }
    return out;
}

template <class L>
void ExpectByteRoundingAsFieldByField(D3DFORMAT format, const std::vector<FloatColor>& row) {
    const UINT width = static_cast<UINT>(row.size());
    std::vector<BYTE> encoded(row.size() * 4, 0xCD);
    auto codec = testing::MustCreate(DescOver(encoded.data(), format, width, 1, static_cast<INT>(width * 4)));
    std::vector<FloatColor> in = row;
    ASSERT_EQ(codec->EncodeRow(0, 0, in.data()), S_OK);
    EXPECT_EQ(encoded, RoundFieldByField<L>(row, std::make_index_sequence<L::kFields.size()>{})) << format;
}

TEST(ByteFieldRounding, EqualsRoundingFieldByField) {
    std::mt19937 random(4);
    std::uniform_real_distribution<float> wide(-0.5f, 1.5f);
    const float specials[] = {0.0f, 1.0f, -0.0f, 0.5f / 255, 1.5f / 255, 254.5f / 255, -1e-9f, 1e30f, -1e30f,
                              std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()};
    std::vector<FloatColor> row(1027);  // not a multiple of four
    for (FloatColor& c : row) {
        float* channel = &c.r;
        for (int i = 0; i < 4; ++i) channel[i] = random() % 4 == 0 ? specials[random() % std::size(specials)] : wide(random);
    }
    ExpectByteRoundingAsFieldByField<layout::A8R8G8B8>(D3DFMT_A8R8G8B8, row);
    ExpectByteRoundingAsFieldByField<layout::X8R8G8B8>(D3DFMT_X8R8G8B8, row);
    ExpectByteRoundingAsFieldByField<layout::A8B8G8R8>(D3DFMT_A8B8G8R8, row);
    ExpectByteRoundingAsFieldByField<layout::X8B8G8R8>(D3DFMT_X8B8G8R8, row);
}

}  // namespace
}  // namespace quillmark
