// RunConversion: converts and resamples one block of pixels into another.
// It builds a row codec for each side and offers the job to a fixed list of
// filters (raw copy, direct integer conversion, same size, none, point, box
// halving, linear, tent); the first that accepts does all of it. LinearTaps and FilterWeights are the
// per-axis sampling tables of the linear and tent filters.
#pragma once

#include <span>
#include <vector>

#include "pixel/surface_desc.h"

namespace quillmark {

// Converts the source block into the destination block under the filter
// word. S_OK, D3DERR_INVALIDCALL for a bad filter word or an inverted,
// empty-source or oversized box, E_FAIL when a side has no codec or every
// filter declines, E_OUTOFMEMORY when a codec's rows cannot be allocated.
// An empty destination box is done at once.
HRESULT RunConversion(const SurfaceDesc& destination, const SurfaceDesc& source, DWORD filter);

// Bilinear taps of one axis from `sourceSize` to `destinationSize` texels:
// per destination index the lower and upper source index and their weights
// (summing to 1). Indices past the edge wrap, or clamp when !wrap.
struct LinearTap {
    UINT lower;
    float lowerWeight;
    UINT upper;
    float upperWeight;
};

class LinearTaps {
public:
    LinearTaps(UINT sourceSize, UINT destinationSize, bool wrap);
    const LinearTap& operator[](UINT destination) const { return taps_[destination]; }
    UINT Size() const { return static_cast<UINT>(taps_.size()); }

private:
    std::vector<LinearTap> taps_;
};

// Tent weights of one axis: per source index, the destination indices it
// reaches and their weights (pairs of weight at most 1e-5 are left out).
// The weights received by each destination index add up to 1.
struct FilterWeight {
    UINT destination;
    float weight;
};

class FilterWeights {
public:
    FilterWeights(UINT sourceSize, UINT destinationSize, bool wrap);
    std::span<const FilterWeight> Of(UINT source) const {
        return {pairs_.data() + starts_[source], pairs_.data() + starts_[source + 1]};
    }
    // How many source indices reach each destination index.
    const std::vector<UINT>& ContributorCounts() const { return contributors_; }

private:
    void Emit(UINT destination, float weight);

    std::vector<FilterWeight> pairs_;
    std::vector<std::size_t> starts_;
    std::vector<UINT> contributors_;
};

}  // namespace quillmark
