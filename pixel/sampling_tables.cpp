// LinearTaps and FilterWeights: the per-axis tables of the linear and tent
// filters.
#include <cmath>
#include <cstdint>

#include "pixel/resample.h"

namespace quillmark {

LinearTaps::LinearTaps(UINT sourceSize, UINT destinationSize, bool wrap) : taps_(destinationSize) {
    const auto a = static_cast<std::int64_t>(sourceSize);
    const float scale = static_cast<float>(sourceSize) / static_cast<float>(destinationSize);
    for (UINT i = 0; i < destinationSize; ++i) {
        const float l = (static_cast<float>(i) + 0.5f) * scale + 0.5f;
        const float floorL = std::floor(l);
        auto m = static_cast<std::int64_t>(floorL);
        std::int64_t o = m - 1;
        const float lowerWeight = floorL + 1.0f - l;
        if (o < 0) o = wrap ? a - 1 : 0;
        if (m >= a) m = wrap ? 0 : a - 1;
        taps_[i] = {static_cast<UINT>(o), lowerWeight, static_cast<UINT>(m), 1.0f - lowerWeight};
    }
}

namespace {

constexpr float kLeastWeight = 0.00001f;

}  // namespace

void FilterWeights::Emit(UINT destination, float weight) {
    if (weight <= kLeastWeight) return;
    pairs_.push_back({destination, weight});
    ++contributors_[destination];
}

// Each source texel spreads a tent two source texels wide: a rising half
// over [i - 0.5, i + 0.5) and a falling half over [i + 0.5, i + 1.5), in
// destination units b = n / a per source texel. Without wrap the halves are
// clipped to the image and the outer half of each edge texel is flat, which
// mirrors the image at its edges; with wrap the indices are taken modulo n.
FilterWeights::FilterWeights(UINT sourceSize, UINT destinationSize, bool wrap)
    : contributors_(destinationSize, 0) {
    const float b = static_cast<float>(destinationSize) / static_cast<float>(sourceSize);
    const float n = static_cast<float>(destinationSize);
    const auto count = static_cast<std::int64_t>(destinationSize);
    starts_.reserve(std::size_t{sourceSize} + 1);
    for (UINT i = 0; i < sourceSize; ++i) {
        starts_.push_back(pairs_.size());
        std::int64_t pendingIndex = -1;
        float pendingWeight = 0.0f;
        for (int k = 0; k < 2; ++k) {
            const float f = static_cast<float>(i) - 0.5f + static_cast<float>(k);
            float start = f * b;
            float end = start + b;
            if (!wrap) {
                start = start < 0.0f ? 0.0f : start;
                end = end > n ? n : end;
            }
            const bool flat = !wrap && ((k == 0 && i == 0) || (k == 1 && i + 1 == sourceSize));
            for (auto j = static_cast<std::int64_t>(std::floor(start)); static_cast<float>(j) < end; ++j) {
                const float w = std::fmax(start, static_cast<float>(j));
                const float e = std::fmin(end, static_cast<float>(j + 1));
                if (e <= w) continue;
                const float t = (w + e) * (0.5f / b) - f;
                const float weight = flat ? (e - w) : (k == 0 ? t : 1.0f - t) * (e - w);
                const std::int64_t index = wrap ? ((j % count) + count) % count : j;
                if (index == pendingIndex) {
                    pendingWeight += weight;
                } else {
                    if (pendingIndex >= 0) Emit(static_cast<UINT>(pendingIndex), pendingWeight);
                    pendingIndex = index;
                    pendingWeight = weight;
                }
            }
        }
        if (pendingIndex >= 0) Emit(static_cast<UINT>(pendingIndex), pendingWeight);
    }
    starts_.push_back(pairs_.size());
}

}  // namespace quillmark
