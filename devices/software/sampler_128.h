// The sampler's 128-bit steps (SSE2) for the in-place quad kernel: the
// four pixels of a quad filtered with their indices and weights worked out
// in vector lanes, lane by lane the operations of FilterTexels. For builds
// for x86 only.
#pragma once

#include <emmintrin.h>

#include "devices/software/sampler_scalar.h"

namespace quillmark::software {
namespace {

// Unpack in 128-bit steps.
inline Lanes UnpackLanes(std::uint32_t p) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i words = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p)), zero);
    return Lanes(_mm_cvtepi32_ps(_mm_unpacklo_epi16(words, zero)));
}

// The bilinear set-up of one level for the four pixels of a quad at once:
// FloorIndex and FilterTexels' bilinear arithmetic for a native level
// wrapped on both axes with power-of-two sizes, in vector lanes, lane by lane
// the same operations, so the same results.
struct QuadTaps {
    alignas(16) std::int32_t x0[4], x1[4], y0[4], y1[4];
    alignas(16) float ax[4], ay[4];
};

// FloorIndex of four values: NaN and values beyond 1e9 pin to +-1e9.
inline __m128i FloorIndices(__m128 value) {
    const __m128 pinned = _mm_min_ps(_mm_max_ps(value, _mm_set1_ps(-1.0e9f)), _mm_set1_ps(1.0e9f));
    const __m128i truncated = _mm_cvttps_epi32(pinned);
    const __m128 above = _mm_cmpgt_ps(_mm_cvtepi32_ps(truncated), pinned);
    return _mm_add_epi32(truncated, _mm_castps_si128(above));  // -1 where truncation rounded up
}

inline void QuadTapsOf(const SampledLevel& l, __m128 u, __m128 v, QuadTaps& taps) {
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 fx = _mm_sub_ps(_mm_mul_ps(u, _mm_set1_ps(l.texelsAcross)), half);
    const __m128 fy = _mm_sub_ps(_mm_mul_ps(v, _mm_set1_ps(l.texelsDown)), half);
    const __m128i xi = FloorIndices(fx), yi = FloorIndices(fy);
    _mm_store_ps(taps.ax, _mm_sub_ps(fx, _mm_cvtepi32_ps(xi)));
    _mm_store_ps(taps.ay, _mm_sub_ps(fy, _mm_cvtepi32_ps(yi)));
    const __m128i one = _mm_set1_epi32(1);
    const __m128i widthMask = _mm_set1_epi32(l.widthMask), heightMask = _mm_set1_epi32(l.heightMask);
    _mm_store_si128(reinterpret_cast<__m128i*>(taps.x0), _mm_and_si128(xi, widthMask));
    _mm_store_si128(reinterpret_cast<__m128i*>(taps.x1), _mm_and_si128(_mm_add_epi32(xi, one), widthMask));
    _mm_store_si128(reinterpret_cast<__m128i*>(taps.y0), _mm_and_si128(yi, heightMask));
    _mm_store_si128(reinterpret_cast<__m128i*>(taps.y1), _mm_and_si128(_mm_add_epi32(yi, one), heightMask));
}

// Pixel i of the quad filtered from its taps (FilterTexels' blend).
inline Lanes TapBlend(const SampledLevel& l, const QuadTaps& taps, int i) {
    const std::uint32_t* row0 = l.argb + std::size_t(taps.y0[i]) * l.rowTexels;
    const std::uint32_t* row1 = l.argb + std::size_t(taps.y1[i]) * l.rowTexels;
    const float ax = taps.ax[i], ay = taps.ay[i];
    const Lanes top = UnpackLanes(row0[taps.x0[i]]) * (1 - ax) + UnpackLanes(row0[taps.x1[i]]) * ax;
    const Lanes bottom = UnpackLanes(row1[taps.x0[i]]) * (1 - ax) + UnpackLanes(row1[taps.x1[i]]) * ax;
    return top * (1 - ay) + bottom * ay;
}

// The point filter of FilterTexels for the pixels of the quad in `mask`.
[[gnu::always_inline]] inline void PointQuad(const SampledLevel& l, __m128 u, __m128 v, unsigned mask, Lanes* out) {
    alignas(16) std::int32_t x[4], y[4];
    const __m128i xi = FloorIndices(_mm_mul_ps(u, _mm_set1_ps(l.texelsAcross)));
    const __m128i yi = FloorIndices(_mm_mul_ps(v, _mm_set1_ps(l.texelsDown)));
    _mm_store_si128(reinterpret_cast<__m128i*>(x), _mm_and_si128(xi, _mm_set1_epi32(l.widthMask)));
    _mm_store_si128(reinterpret_cast<__m128i*>(y), _mm_and_si128(yi, _mm_set1_epi32(l.heightMask)));
    for (int i = 0; i < 4; ++i) {
        if (mask & (1u << i)) out[i] = UnpackLanes(l.argb[std::size_t(y[i]) * l.rowTexels + std::size_t(x[i])]);
    }
}

// The bilinear filter of FilterTexels for the pixels of the quad in `mask`.
[[gnu::always_inline]] inline void LinearQuad(const SampledLevel& l, __m128 u, __m128 v, unsigned mask, Lanes* out) {
    QuadTaps taps;
    QuadTapsOf(l, u, v, taps);
    for (int i = 0; i < 4; ++i) {
        if (mask & (1u << i)) out[i] = TapBlend(l, taps, i);
    }
}

// ScalarSteps in 128-bit steps.
struct Steps128 {
    template <TexelFilter filter>
    [[gnu::always_inline]] static void Filter(const SampledLevel& l, Lanes u, Lanes v, unsigned mask, Lanes* out) {
        if constexpr (filter == TexelFilter::Point)
            PointQuad(l, __m128(u), __m128(v), mask, out);
        else
            LinearQuad(l, __m128(u), __m128(v), mask, out);
    }
};

}  // namespace
}  // namespace quillmark::software
