// RESAMPLE_BOX when the job is an exact halving: 2 x 2 averages in 2-D and
// 2 x 2 x 2 averages for volumes. Odd source sizes above 1 drop their last
// column, row or slice. Same-format jobs of common formats average the
// packed pixels directly, large ones in bands of rows over the cores.
#include <cstdint>

#include "pixel/box_packed.h"
#include "pixel/conversion_job.h"
#include "platform/processor/processor_features.h"
#include "pixel/resample.h"
#include "pixel/row_bands.h"

namespace quillmark {

namespace {

using box::PackedField;
using RowHalver = void (*)(const BYTE* top, const BYTE* bottom, BYTE* out, UINT outWidth);

// Odd sizes above 1 halve to size / 2 and so never reach their last index.
bool Halves(UINT source, UINT destination) {
    return destination == source / 2 || (source == 1 && destination == 1);
}

template <class Word, PackedField... Fields>
constexpr RowHalver kByFields = box::HalveRowByFields<Word, Fields...>;

using W8 = std::uint8_t;
using W16 = std::uint16_t;
using W32 = std::uint32_t;

// The packed halver of a format, or null when it has none.
RowHalver PackedHalver(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_X8B8G8R8:
        return kByFields<W32, PackedField{0, 8}, PackedField{8, 8}, PackedField{16, 8}, PackedField{24, 8}>;
    case D3DFMT_R5G6B5: return kByFields<W16, PackedField{0, 5}, PackedField{5, 6}, PackedField{11, 5}>;
    case D3DFMT_X1R5G5B5: return kByFields<W16, PackedField{0, 5}, PackedField{5, 5}, PackedField{10, 5}>;
    case D3DFMT_A1R5G5B5:
        return kByFields<W16, PackedField{0, 5}, PackedField{5, 5}, PackedField{10, 5}, PackedField{15, 1}>;
    case D3DFMT_A4R4G4B4:
        return kByFields<W16, PackedField{0, 4}, PackedField{4, 4}, PackedField{8, 4}, PackedField{12, 4}>;
    case D3DFMT_X4R4G4B4: return kByFields<W16, PackedField{0, 4}, PackedField{4, 4}, PackedField{8, 4}>;
    case D3DFMT_R3G3B2: return kByFields<W8, PackedField{0, 2}, PackedField{2, 3}, PackedField{5, 3}>;
    case D3DFMT_A8:
    case D3DFMT_L8: return kByFields<W8, PackedField{0, 8}>;
    case D3DFMT_A8R3G3B2:
        return kByFields<W16, PackedField{0, 2}, PackedField{2, 3}, PackedField{5, 3}, PackedField{8, 8}>;
    case D3DFMT_A8L8: return kByFields<W16, PackedField{0, 8}, PackedField{8, 8}>;
    case D3DFMT_A4L4: return kByFields<W8, PackedField{0, 4}, PackedField{4, 4}>;
    default: return nullptr;
    }
}

bool FastPathApplies(const ConversionJob& job) {
    const RowCodec& src = *job.source;
    const RowCodec& dst = *job.destination;
    return !job.Has(RESAMPLE_DITHER) && src.Format() == dst.Format() && src.Width() >= 2 && src.Height() >= 2 &&
           !src.Gamma() && !dst.Gamma() && src.ColorKey() == 0 && PackedHalver(src.Format()) != nullptr;
}

HRESULT HalvePacked(ConversionJob& job) {
    const RowCodec& src = *job.source;
    const RowCodec& dst = *job.destination;
    RowHalver halve = PackedHalver(src.Format());
    if (src.BytesPerPixel() == 4 && src.Width() % 4 == 0 && BoxVectorPathEnabled()) halve = box::HalveRowVector32;
    // Each output row reads two source rows: four source pixels per output pixel.
    ForEachRowBand(dst.Height(), BandRowsMin(std::uint64_t{4} * dst.Width()), [&](UINT first, UINT last) {
        for (UINT y = first; y < last; ++y) {
            const BYTE* top = src.Data() + static_cast<std::ptrdiff_t>(2 * y) * src.RowPitch();
            halve(top, top + src.RowPitch(), dst.Data() + static_cast<std::ptrdiff_t>(y) * dst.RowPitch(),
                  dst.Width());
        }
    });
    return S_OK;
}

// Adds pixels 2x and 2x + 1 of `row` (pixel 0 twice when the source is one
// pixel wide) into `out`.
void AddPairs(const ColorRow& row, UINT sourceWidth, ColorRow& out) {
    for (UINT x = 0; x < out.size(); ++x) {
        const UINT left = sourceWidth == 1 ? 0 : 2 * x;
        const UINT right = sourceWidth == 1 ? 0 : 2 * x + 1;
        out[x] += row[left] + row[right];
    }
}

HRESULT HalveGeneral(ConversionJob& job) {
    RowCodec& src = *job.source;
    RowCodec& dst = *job.destination;
    ColorRow top(src.Width()), bottom(src.Width()), out(dst.Width());
    for (UINT y = 0; y < dst.Height(); ++y) {
        const bool single = src.Height() == 1;
        HRESULT hr = src.DecodeRow(single ? 0 : 2 * y, 0, top.data());
        if (SUCCEEDED(hr) && !single) hr = src.DecodeRow(2 * y + 1, 0, bottom.data());
        if (FAILED(hr)) return hr;
        std::fill(out.begin(), out.end(), FloatColor{});
        AddPairs(top, src.Width(), out);
        AddPairs(single ? top : bottom, src.Width(), out);
        for (FloatColor& c : out) c = c * 0.25f;
        hr = dst.EncodeRow(y, 0, out.data());
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

}  // namespace

bool BoxVectorPathEnabled() { return processor::Allows(processor::kMmx | processor::kSse2); }

HRESULT BoxHalvingFilter(ConversionJob& job) {
    const RowCodec& src = *job.source;
    const RowCodec& dst = *job.destination;
    if (job.Kind() != RESAMPLE_BOX || !Halves(src.Width(), dst.Width()) || !Halves(src.Height(), dst.Height()) ||
        src.Depth() != 1 || dst.Depth() != 1) {
        return E_FAIL;
    }
    return FastPathApplies(job) ? HalvePacked(job) : HalveGeneral(job);
}

HRESULT BoxVolumeFilter(ConversionJob& job) {
    RowCodec& src = *job.source;
    RowCodec& dst = *job.destination;
    if (job.Kind() != RESAMPLE_BOX || !Halves(src.Width(), dst.Width()) || !Halves(src.Height(), dst.Height()) ||
        dst.Depth() != src.Depth() / 2) {
        return E_FAIL;
    }
    const bool singleRow = src.Height() == 1;
    ColorRow rows[4] = {ColorRow(src.Width()), ColorRow(src.Width()), ColorRow(src.Width()), ColorRow(src.Width())};
    ColorRow out(dst.Width());
    for (UINT z = 0; z < dst.Depth(); ++z) {
        for (UINT y = 0; y < dst.Height(); ++y) {
            for (UINT k = 0; k < 4; ++k) {
                const UINT sourceZ = 2 * z + k / 2;
                const UINT sourceY = singleRow ? 0 : 2 * y + k % 2;
                const HRESULT hr = src.DecodeRow(sourceY, sourceZ, rows[k].data());
                if (FAILED(hr)) return hr;
            }
            std::fill(out.begin(), out.end(), FloatColor{});
            for (const ColorRow& row : rows) AddPairs(row, src.Width(), out);
            for (FloatColor& c : out) c = c * 0.125f;
            const HRESULT hr = dst.EncodeRow(y, z, out.data());
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

}  // namespace quillmark
