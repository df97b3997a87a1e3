// The tent filters: every decoded source row is scattered into the
// destination rows it touches, with FilterWeights per axis; a destination
// row (or slice) is clamped to the source range and encoded as soon as its
// last contributing source row (or slice) has arrived. The tent serves
// RESAMPLE_TRIANGLE, non-halving RESAMPLE_BOX, and is the last resort for
// every other kind.
#include <algorithm>
#include <memory>

#include "pixel/conversion_job.h"
#include "pixel/resample.h"

namespace quillmark {

namespace {

float Clamp(float x, float lo, float hi) { return x < lo ? lo : (x > hi ? hi : x); }

void ClampToRange(FloatColor* row, std::size_t count, ChannelRange range) {
    if (range == RANGE_FLOAT) return;
    const float lo = range == RANGE_UNSIGNED ? 0.0f : -1.0f;
    const float alphaLo = range == RANGE_SIGNED ? -1.0f : 0.0f;
    for (std::size_t i = 0; i < count; ++i) {
        row[i] = {Clamp(row[i].r, lo, 1.0f), Clamp(row[i].g, lo, 1.0f), Clamp(row[i].b, lo, 1.0f),
                  Clamp(row[i].a, alphaLo, 1.0f)};
    }
}

// Accumulators taken from a free list (or allocated) and zeroed when a
// destination row or slice first receives a contribution.
class Accumulators {
public:
    Accumulators(std::size_t slots, std::size_t length) : active_(slots), length_(length) {}

    ColorRow& Take(std::size_t slot) {
        if (active_[slot] == nullptr) {
            if (free_.empty()) {
                active_[slot] = std::make_unique<ColorRow>(length_);
            } else {
                active_[slot] = std::move(free_.back());
                free_.pop_back();
                std::fill(active_[slot]->begin(), active_[slot]->end(), FloatColor{});
            }
        }
        return *active_[slot];
    }

    void Release(std::size_t slot) {
        if (active_[slot] != nullptr) free_.push_back(std::move(active_[slot]));
    }

private:
    std::vector<std::unique_ptr<ColorRow>> active_;
    std::vector<std::unique_ptr<ColorRow>> free_;
    std::size_t length_;
};

// Scatters one decoded source row into a destination row with vertical
// weight wy.
void ScatterRow(const ColorRow& row, const FilterWeights& weightsX, float wy, FloatColor* acc) {
    for (UINT x = 0; x < row.size(); ++x) {
        for (const FilterWeight& wx : weightsX.Of(x)) acc[wx.destination] += row[x] * (wx.weight * wy);
    }
}

// Destination rows (or slices) that no source reaches are never completed
// by the scatter loop; they are encoded from zero once it ends.
HRESULT EncodeUnreached(RowCodec& dst, const std::vector<UINT>& contributors, bool slices) {
    ColorRow zero(dst.Width());
    for (UINT i = 0; i < contributors.size(); ++i) {
        if (contributors[i] != 0) continue;
        for (UINT y = 0; y < (slices ? dst.Height() : 1); ++y) {
            std::fill(zero.begin(), zero.end(), FloatColor{});
            const HRESULT hr = slices ? dst.EncodeRow(y, i, zero.data()) : dst.EncodeRow(i, 0, zero.data());
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

}  // namespace

HRESULT TentFilter(ConversionJob& job) {
    RowCodec& src = *job.source;
    RowCodec& dst = *job.destination;
    if (src.Depth() != 1 || dst.Depth() != 1) return E_FAIL;
    const FilterWeights weightsX(src.Width(), dst.Width(), !job.Has(RESAMPLE_MIRROR_U));
    const FilterWeights weightsY(src.Height(), dst.Height(), !job.Has(RESAMPLE_MIRROR_V));
    std::vector<UINT> remaining = weightsY.ContributorCounts();
    Accumulators accumulators(dst.Height(), dst.Width());
    ColorRow row(src.Width());
    for (UINT i = 0; i < src.Height(); ++i) {
        HRESULT hr = src.DecodeRow(i, 0, row.data());
        if (FAILED(hr)) return hr;
        for (const FilterWeight& wy : weightsY.Of(i)) {
            ScatterRow(row, weightsX, wy.weight, accumulators.Take(wy.destination).data());
        }
        for (const FilterWeight& wy : weightsY.Of(i)) {
            if (--remaining[wy.destination] != 0) continue;
            ColorRow& acc = accumulators.Take(wy.destination);
            ClampToRange(acc.data(), acc.size(), src.Range());
            hr = dst.EncodeRow(wy.destination, 0, acc.data());
            if (FAILED(hr)) return hr;
            accumulators.Release(wy.destination);
        }
    }
    return EncodeUnreached(dst, weightsY.ContributorCounts(), false);
}

HRESULT TentVolumeFilter(ConversionJob& job) {
    RowCodec& src = *job.source;
    RowCodec& dst = *job.destination;
    const FilterWeights weightsX(src.Width(), dst.Width(), !job.Has(RESAMPLE_MIRROR_U));
    const FilterWeights weightsY(src.Height(), dst.Height(), !job.Has(RESAMPLE_MIRROR_V));
    const FilterWeights weightsZ(src.Depth(), dst.Depth(), !job.Has(RESAMPLE_MIRROR_W));
    std::vector<UINT> remaining = weightsZ.ContributorCounts();
    const std::size_t sliceLength = std::size_t{dst.Width()} * dst.Height();
    Accumulators accumulators(dst.Depth(), sliceLength);
    ColorRow row(src.Width());
    for (UINT k = 0; k < src.Depth(); ++k) {
        for (const FilterWeight& wz : weightsZ.Of(k)) accumulators.Take(wz.destination);
        for (UINT i = 0; i < src.Height(); ++i) {
            const HRESULT hr = src.DecodeRow(i, k, row.data());
            if (FAILED(hr)) return hr;
            for (const FilterWeight& wz : weightsZ.Of(k)) {
                FloatColor* slice = accumulators.Take(wz.destination).data();
                for (const FilterWeight& wy : weightsY.Of(i)) {
                    ScatterRow(row, weightsX, wy.weight * wz.weight, slice + std::size_t{wy.destination} * dst.Width());
                }
            }
        }
        for (const FilterWeight& wz : weightsZ.Of(k)) {
            if (--remaining[wz.destination] != 0) continue;
            ColorRow& slice = accumulators.Take(wz.destination);
            ClampToRange(slice.data(), slice.size(), src.Range());
            for (UINT y = 0; y < dst.Height(); ++y) {
                const HRESULT hr = dst.EncodeRow(y, wz.destination, slice.data() + std::size_t{y} * dst.Width());
                if (FAILED(hr)) return hr;
            }
            accumulators.Release(wz.destination);
        }
    }
    return EncodeUnreached(dst, weightsZ.ContributorCounts(), true);
}

}  // namespace quillmark
