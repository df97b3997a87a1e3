// The sampler's 256-bit kernels (AVX2): the in-place quad kernel with a
// quad's pixels in two pairs, and the chunk kernel of two quads with a
// channel to a register, texels fetched by gathers or by loads. For builds
// for x86 only; compiled for AVX2 and run only where processor::Allows it.
#pragma once

#include <immintrin.h>

#include <array>

#include "devices/software/draw_key.h"
#include "devices/software/sampler_scalar.h"

namespace quillmark::software {
namespace {

// Everything up to the matching pop is compiled for AVX2, and runs only where
// processor::Allows it.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

// The 256-bit kernels hold the quad as two pairs of pixels, pixels 0 and 1
// in one register and 2 and 3 in the other, each pixel (B, G, R, A): every
// lane takes the operations of the scalar filter in their order.
using PixelPairs = __m256[2];

// Lanes 2p and 2p + 1 of a per-pixel value, each spread over its pixel's
// four channels.
inline __m256 SpreadPair(__m128 perPixel, int p) {
    const __m256i index = p == 0 ? _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1) : _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3);
    return _mm256_permutevar8x32_ps(_mm256_castps128_ps256(perPixel), index);
}

// Pair p of four gathered texels, unpacked to byte units.
inline __m256 TexelPair(__m128i texels, int p) {
    return _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(p == 0 ? texels : _mm_unpackhi_epi64(texels, texels)));
}

// The texels at row start + x of the four pixels.
// FloorIndices as floats, by SSE4.1's rounding: each converts exactly to
// FloorIndices' index, and is that index as a float.
inline __m128 PinnedFloors(__m128 value) {
    return _mm_floor_ps(_mm_min_ps(_mm_max_ps(value, _mm_set1_ps(-1.0e9f)), _mm_set1_ps(1.0e9f)));
}

// One level's constants spread over the four pixels' lanes, made once per
// quad (and shared by its anisotropic probes).
struct LevelLanes {
    const std::uint32_t* argb;
    __m128 across, down;  // the level's width and height as floats
    __m128i widthMask, heightMask, rowTexels;
};

[[gnu::always_inline]] inline LevelLanes LanesOf(const SampledLevel& l) {
    const auto lanes = [](const std::int32_t* values) { return _mm_load_si128(reinterpret_cast<const __m128i*>(values)); };
    return {l.argb, _mm_set1_ps(l.texelsAcross), _mm_set1_ps(l.texelsDown), lanes(l.widthMasks), lanes(l.heightMasks),
            lanes(l.rowLengths)};
}

// The four lanes of texel offsets (never negative) for ordinary loads,
// moved out two at a time.
inline std::array<std::uint32_t, 4> Offsets(__m128i index) {
#if defined(__x86_64__)
    const auto low = std::uint64_t(_mm_cvtsi128_si64(index)), high = std::uint64_t(_mm_extract_epi64(index, 1));
    return {std::uint32_t(low), std::uint32_t(low >> 32), std::uint32_t(high), std::uint32_t(high >> 32)};
#else
    return {std::uint32_t(_mm_cvtsi128_si32(index)), std::uint32_t(_mm_extract_epi32(index, 1)),
            std::uint32_t(_mm_extract_epi32(index, 2)), std::uint32_t(_mm_extract_epi32(index, 3))};
#endif
}

template <TexelFetch fetch>
inline __m128i FetchTexels(const LevelLanes& l, __m128i x, __m128i rowStart) {
    const __m128i index = _mm_add_epi32(rowStart, x);
    if constexpr (fetch == TexelFetch::Gather) {
        return _mm_i32gather_epi32(reinterpret_cast<const int*>(l.argb), index, 4);
    } else {
        const std::array<std::uint32_t, 4> at = Offsets(index);
        return _mm_setr_epi32(int(l.argb[at[0]]), int(l.argb[at[1]]), int(l.argb[at[2]]), int(l.argb[at[3]]));
    }
}

// Two texels of each of the four pixels of a quad, one 64-bit load per
// pixel: the texel words of pixels 0, 1 in the low and 2, 3 in the high
// half are (left, right) pairs.
inline void LoadPairs(const std::uint32_t* argb, __m128i index, __m128& pixels01, __m128& pixels23) {
    const std::array<std::uint32_t, 4> at = Offsets(index);
    // movq and movhpd: neither needs the pair aligned.
    const auto low = [&](int i) { return _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(argb + at[i]))); };
    const auto high = [&](int i) { return reinterpret_cast<const double*>(argb + at[i]); };
    pixels01 = _mm_castpd_ps(_mm_loadh_pd(low(0), high(1)));
    pixels23 = _mm_castpd_ps(_mm_loadh_pd(low(2), high(3)));
}

// The texels at row start + x (left) and the next ones (right) of the four
// pixels, one 64-bit load per pixel: only where no pixel's x is the row's
// last texel, whose right neighbour wraps to the row's first.
inline void LoadNeighbours(const LevelLanes& l, __m128i x, __m128i rowStart, __m128i& left, __m128i& right) {
    __m128 pixels01, pixels23;
    LoadPairs(l.argb, _mm_add_epi32(rowStart, x), pixels01, pixels23);
    left = _mm_castps_si128(_mm_shuffle_ps(pixels01, pixels23, _MM_SHUFFLE(2, 0, 2, 0)));
    right = _mm_castps_si128(_mm_shuffle_ps(pixels01, pixels23, _MM_SHUFFLE(3, 1, 3, 1)));
}

inline __m128i RowStarts(const LevelLanes& l, __m128i y) {
    return _mm_mullo_epi32(_mm_and_si128(y, l.heightMask), l.rowTexels);
}

// FilterTexels' point filter on a wrapped power-of-two level.
template <TexelFetch fetch>
inline void PointPairs(const LevelLanes& l, __m128 u, __m128 v, __m256* out) {
    const __m128i xi = _mm_cvttps_epi32(PinnedFloors(_mm_mul_ps(u, l.across)));
    const __m128i yi = _mm_cvttps_epi32(PinnedFloors(_mm_mul_ps(v, l.down)));
    const __m128i texels = FetchTexels<fetch>(l, _mm_and_si128(xi, l.widthMask), RowStarts(l, yi));
    for (int p = 0; p < 2; ++p) out[p] = TexelPair(texels, p);
}

// FilterTexels' bilinear filter on a wrapped power-of-two level.
template <TexelFetch fetch>
[[gnu::always_inline]] inline void LinearPairs(const LevelLanes& l, __m128 u, __m128 v, __m256* out) {
    const __m128 half = _mm_set1_ps(0.5f), one = _mm_set1_ps(1.0f);
    const __m128 fx = _mm_sub_ps(_mm_mul_ps(u, l.across), half);
    const __m128 fy = _mm_sub_ps(_mm_mul_ps(v, l.down), half);
    const __m128 floorX = PinnedFloors(fx), floorY = PinnedFloors(fy);
    const __m128i xi = _mm_cvttps_epi32(floorX), yi = _mm_cvttps_epi32(floorY);
    const __m128 ax = _mm_sub_ps(fx, floorX), ay = _mm_sub_ps(fy, floorY);
    const __m128 bx = _mm_sub_ps(one, ax), by = _mm_sub_ps(one, ay);
    const __m128i next = _mm_set1_epi32(1), widthMask = l.widthMask;
    const __m128i x0 = _mm_and_si128(xi, widthMask), x1 = _mm_and_si128(_mm_add_epi32(xi, next), widthMask);
    const __m128i row0 = RowStarts(l, yi), row1 = RowStarts(l, _mm_add_epi32(yi, next));
    __m128i t00, t10, t01, t11;
    if (fetch == TexelFetch::Load && !_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(x0, widthMask)))) {
        LoadNeighbours(l, x0, row0, t00, t10);
        LoadNeighbours(l, x0, row1, t01, t11);
    } else {
        t00 = FetchTexels<fetch>(l, x0, row0), t10 = FetchTexels<fetch>(l, x1, row0);
        t01 = FetchTexels<fetch>(l, x0, row1), t11 = FetchTexels<fetch>(l, x1, row1);
    }
    for (int p = 0; p < 2; ++p) {
        const __m256 wx0 = SpreadPair(bx, p), wx1 = SpreadPair(ax, p);
        const __m256 top = _mm256_add_ps(_mm256_mul_ps(TexelPair(t00, p), wx0), _mm256_mul_ps(TexelPair(t10, p), wx1));
        const __m256 bottom = _mm256_add_ps(_mm256_mul_ps(TexelPair(t01, p), wx0), _mm256_mul_ps(TexelPair(t11, p), wx1));
        out[p] = _mm256_add_ps(_mm256_mul_ps(top, SpreadPair(by, p)), _mm256_mul_ps(bottom, SpreadPair(ay, p)));
    }
}

// The four pixels of the pairs into their slots.
[[gnu::always_inline]] inline void StorePairs(const PixelPairs& values, TexelLanes* out) {
    _mm256_storeu_ps(reinterpret_cast<float*>(out), values[0]);
    _mm256_storeu_ps(reinterpret_cast<float*>(out + 2), values[1]);
}

// One level of the quad through the filter, in pairs.
template <TexelFilter filter, TexelFetch fetch>
[[gnu::always_inline]] inline void FilterPairs(const LevelLanes& level, __m128 u, __m128 v, __m256* out) {
    if constexpr (filter == TexelFilter::Point)
        PointPairs<fetch>(level, u, v, out);
    else
        LinearPairs<fetch>(level, u, v, out);
}

// Probe's level blend, first + (second - first) * blend, in pairs.
[[gnu::always_inline]] inline void BlendPairs(const PixelPairs& second, __m256 blend, __m256* out) {
    for (int p = 0; p < 2; ++p) out[p] = _mm256_add_ps(out[p], _mm256_mul_ps(_mm256_sub_ps(second[p], out[p]), blend));
}

// ProbeQuad in pairs, each level's constants spread where it is filtered.
template <TexelFilter filter, MipMode mip, TexelFetch fetch>
[[gnu::always_inline]] inline void ProbePairs(const SamplerSetup& s, LevelPair levels, __m128 u, __m128 v,
                                              __m256* out) {
    FilterPairs<filter, fetch>(LanesOf(s.levels[levels.first]), u, v, out);
    if constexpr (mip == MipMode::Linear) {
        if (levels.blend <= 0.0f) return;
        PixelPairs second;
        FilterPairs<filter, fetch>(LanesOf(s.levels[levels.first + 1]), u, v, second);
        BlendPairs(second, _mm256_set1_ps(levels.blend), out);
    }
}

// The level pair of a quad's anisotropic probes, spread once for all of them.
struct ProbeLevels {
    LevelLanes first, second;  // second: only where it blends in
    __m256 blend;
    bool blends;  // the second level's weight is above 0
};

template <MipMode mip>
[[gnu::always_inline]] inline ProbeLevels ProbeLevelsOf(const SamplerSetup& s, LevelPair levels) {
    ProbeLevels lanes;
    lanes.first = LanesOf(s.levels[levels.first]);
    lanes.blends = mip == MipMode::Linear && levels.blend > 0.0f;
    if (lanes.blends) {
        lanes.second = LanesOf(s.levels[levels.first + 1]);
        lanes.blend = _mm256_set1_ps(levels.blend);
    }
    return lanes;
}

// ProbePairs with the levels spread beforehand.
template <MipMode mip, TexelFetch fetch>
[[gnu::always_inline]] inline void ProbePairs(const ProbeLevels& levels, __m128 u, __m128 v, __m256* out) {
    FilterPairs<TexelFilter::Linear, fetch>(levels.first, u, v, out);
    if constexpr (mip == MipMode::Linear) {
        if (!levels.blends) return;
        PixelPairs second;
        FilterPairs<TexelFilter::Linear, fetch>(levels.second, u, v, second);
        BlendPairs(second, levels.blend, out);
    }
}

// InPlaceQuad in 256-bit steps.
template <TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic, bool opaque, TexelFetch fetch>
void InPlaceQuadWide(const SamplerSetup& s, const float* u, const float* v, float dudx, float dvdx, float dudy,
                     float dvdy, unsigned /*mask: the whole quad is sampled*/, TexelLanes* out) {
    const LodChoice lod = ChooseLodFor<anisotropic>(s, {u[0], v[0], dudx, dvdx, dudy, dvdy});
    const __m128 us = _mm_loadu_ps(u), vs = _mm_loadu_ps(v);
    PixelPairs values;
    if (lod.magnify) {
        FilterPairs<magnify, fetch>(LanesOf(s.levels[s.baseLevel]), us, vs, values);
    } else if (!anisotropic || lod.probes == 1) {
        ProbePairs<minify, mip, fetch>(s, PickLevelsFor<mip>(s, lod.lambda), us, vs, values);
    } else {
        const ProbeLevels levels = ProbeLevelsOf<mip>(s, PickLevelsFor<mip>(s, lod.lambda));
        const auto probeAt = [&](float du, float dv, __m256* probe) {
            ProbePairs<mip, fetch>(levels, _mm_add_ps(us, _mm_set1_ps(du)), _mm_add_ps(vs, _mm_set1_ps(dv)), probe);
        };
        AnisotropicSum(lod, 2, 0x3u, probeAt, values);
    }
    if constexpr (opaque) {
        for (__m256& pair : values) pair = _mm256_blend_ps(pair, _mm256_set1_ps(255.0f), 0x88);
    }
    StorePairs(values, out);
}

// ---- chunks of two quads, channels in lanes
// The chunk kernels hold a chunk's eight pixels in the lanes of one
// register per channel, quad q in lanes 4q .. 4q + 3. Each quad keeps its
// own level of detail, so every level constant is per lane; each lane
// takes the operations of the scalar filter in their order.
using ChunkChannels = __m256[4];  // B, G, R, A

// The levels the two quads read, quad 0's constants in lanes 0-3 and
// quad 1's in lanes 4-7.
struct ChunkLevels {
    const std::uint32_t* argb[2];
    __m256 across, down;
    __m256i widthMask, heightMask, rowTexels;
};

[[gnu::always_inline]] inline ChunkLevels ChunkLevelsOf(const SampledLevel& first, const SampledLevel& second) {
    const auto ints = [&](const std::int32_t (&a)[4], const std::int32_t (&b)[4]) {
        return _mm256_setr_m128i(_mm_load_si128(reinterpret_cast<const __m128i*>(a)),
                                 _mm_load_si128(reinterpret_cast<const __m128i*>(b)));
    };
    return {{first.argb, second.argb},
            _mm256_setr_m128(_mm_set1_ps(first.texelsAcross), _mm_set1_ps(second.texelsAcross)),
            _mm256_setr_m128(_mm_set1_ps(first.texelsDown), _mm_set1_ps(second.texelsDown)),
            ints(first.widthMasks, second.widthMasks), ints(first.heightMasks, second.heightMasks),
            ints(first.rowLengths, second.rowLengths)};
}

// PinnedFloors of eight values.
inline __m256 PinnedFloors(__m256 value) {
    return _mm256_floor_ps(_mm256_min_ps(_mm256_max_ps(value, _mm256_set1_ps(-1.0e9f)), _mm256_set1_ps(1.0e9f)));
}

// LoadNeighbours for the eight pixels of a chunk, each quad from its level.
inline void ChunkNeighbours(const ChunkLevels& l, __m256i x, __m256i rowStart, __m256i& left, __m256i& right) {
    const __m256i index = _mm256_add_epi32(rowStart, x);
    __m128 pixels01, pixels23, pixels45, pixels67;
    LoadPairs(l.argb[0], _mm256_castsi256_si128(index), pixels01, pixels23);
    LoadPairs(l.argb[1], _mm256_extracti128_si256(index, 1), pixels45, pixels67);
    const __m256 even = _mm256_setr_m128(pixels01, pixels45), odd = _mm256_setr_m128(pixels23, pixels67);
    left = _mm256_castps_si256(_mm256_shuffle_ps(even, odd, _MM_SHUFFLE(2, 0, 2, 0)));
    right = _mm256_castps_si256(_mm256_shuffle_ps(even, odd, _MM_SHUFFLE(3, 1, 3, 1)));
}

// The texels at row start + x of the eight pixels: a gather per quad, or
// one load each.
template <TexelFetch fetch>
inline __m256i ChunkTexelsAt(const ChunkLevels& l, __m256i x, __m256i rowStart) {
    const __m256i index = _mm256_add_epi32(rowStart, x);
    if constexpr (fetch == TexelFetch::Gather) {
        const auto gather = [](const std::uint32_t* argb, __m128i at) {
            return _mm_i32gather_epi32(reinterpret_cast<const int*>(argb), at, 4);
        };
        return _mm256_setr_m128i(gather(l.argb[0], _mm256_castsi256_si128(index)),
                                 gather(l.argb[1], _mm256_extracti128_si256(index, 1)));
    }
    const std::array<std::uint32_t, 4> at0 = Offsets(_mm256_castsi256_si128(index));
    const std::array<std::uint32_t, 4> at1 = Offsets(_mm256_extracti128_si256(index, 1));
    const std::uint32_t *a = l.argb[0], *b = l.argb[1];
    return _mm256_setr_epi32(int(a[at0[0]]), int(a[at0[1]]), int(a[at0[2]]), int(a[at0[3]]), int(b[at1[0]]),
                             int(b[at1[1]]), int(b[at1[2]]), int(b[at1[3]]));
}

// Channel c (0 = B .. 3 = A) of eight texel words, in byte units.
inline __m256 TexelChannel(__m256i texels, int c) {
    constexpr char x = char(0x80);  // a zero byte
    __m256i bytes;
    if (c == 0) {
        bytes = _mm256_and_si256(texels, _mm256_set1_epi32(0xFF));
    } else if (c == 1) {
        bytes = _mm256_shuffle_epi8(texels, _mm256_setr_epi8(1, x, x, x, 5, x, x, x, 9, x, x, x, 13, x, x, x, 1, x, x,
                                                             x, 5, x, x, x, 9, x, x, x, 13, x, x, x));
    } else if (c == 2) {
        bytes = _mm256_shuffle_epi8(texels, _mm256_setr_epi8(2, x, x, x, 6, x, x, x, 10, x, x, x, 14, x, x, x, 2, x, x,
                                                             x, 6, x, x, x, 10, x, x, x, 14, x, x, x));
    } else {
        bytes = _mm256_srli_epi32(texels, 24);
    }
    return _mm256_cvtepi32_ps(bytes);
}

// FilterTexels' bilinear filter of a wrapped power-of-two level per lane:
// the channels but alpha where it reads as opaque.
template <bool opaque, TexelFetch fetch>
[[gnu::always_inline]] inline void LinearChunk(const ChunkLevels& l, __m256 u, __m256 v, ChunkChannels& out) {
    const __m256 half = _mm256_set1_ps(0.5f), one = _mm256_set1_ps(1.0f);
    const __m256 fx = _mm256_sub_ps(_mm256_mul_ps(u, l.across), half);
    const __m256 fy = _mm256_sub_ps(_mm256_mul_ps(v, l.down), half);
    const __m256 floorX = PinnedFloors(fx), floorY = PinnedFloors(fy);
    const __m256i xi = _mm256_cvttps_epi32(floorX), yi = _mm256_cvttps_epi32(floorY);
    const __m256 ax = _mm256_sub_ps(fx, floorX), ay = _mm256_sub_ps(fy, floorY);
    const __m256 bx = _mm256_sub_ps(one, ax), by = _mm256_sub_ps(one, ay);
    const __m256i next = _mm256_set1_epi32(1);
    const __m256i x0 = _mm256_and_si256(xi, l.widthMask);
    const __m256i row0 = _mm256_mullo_epi32(_mm256_and_si256(yi, l.heightMask), l.rowTexels);
    const __m256i row1 = _mm256_mullo_epi32(_mm256_and_si256(_mm256_add_epi32(yi, next), l.heightMask), l.rowTexels);
    __m256i t00, t10, t01, t11;
    if (fetch == TexelFetch::Load && !_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(x0, l.widthMask)))) {
        ChunkNeighbours(l, x0, row0, t00, t10);
        ChunkNeighbours(l, x0, row1, t01, t11);
    } else {
        const __m256i x1 = _mm256_and_si256(_mm256_add_epi32(xi, next), l.widthMask);
        t00 = ChunkTexelsAt<fetch>(l, x0, row0), t10 = ChunkTexelsAt<fetch>(l, x1, row0);
        t01 = ChunkTexelsAt<fetch>(l, x0, row1), t11 = ChunkTexelsAt<fetch>(l, x1, row1);
    }
    constexpr int channels = opaque ? 3 : 4;
#pragma GCC unroll 4
    for (int c = 0; c < channels; ++c) {
        const __m256 top = _mm256_add_ps(_mm256_mul_ps(TexelChannel(t00, c), bx), _mm256_mul_ps(TexelChannel(t10, c), ax));
        const __m256 bottom = _mm256_add_ps(_mm256_mul_ps(TexelChannel(t01, c), bx), _mm256_mul_ps(TexelChannel(t11, c), ax));
        out[c] = _mm256_add_ps(_mm256_mul_ps(top, by), _mm256_mul_ps(bottom, ay));
    }
}

// The chunk of two quads through the linear filters, each quad with its
// own level pair and blend (a quad that blends no second level reads its
// first again and keeps the first's value) and, where it takes more than
// one, its own anisotropic probes: AnisotropicSum's loop runs to the
// larger count, and a quad's lanes add only its own probes.
template <MipMode mip, bool anisotropic, bool opaque, TexelFetch fetch>
void InPlaceChunkWide(const SamplerSetup& s, const float* u, const float* v, ChunkTexels* out) {
    constexpr int kChannels = opaque ? 3 : 4;  // an opaque alpha is set at the end
    LodChoice lods[2];
    LevelPair pairs[2];
    bool blends[2];
#pragma GCC unroll 2
    for (int q = 0; q < 2; ++q) {
        const float* qu = u + 4 * q;
        const float* qv = v + 4 * q;
        lods[q] = ChooseLodFor<anisotropic>(s, {qu[0], qv[0], qu[1] - qu[0], qv[1] - qv[0], qu[2] - qu[0], qv[2] - qv[0]});
        pairs[q] = lods[q].magnify ? LevelPair{s.baseLevel, 0.0f} : PickLevelsFor<mip>(s, lods[q].lambda);
        blends[q] = mip == MipMode::Linear && pairs[q].blend > 0.0f;
    }
    const auto perQuad = [](auto first, auto second) { return _mm256_setr_m128(_mm_set1_ps(first), _mm_set1_ps(second)); };
    const ChunkLevels first = ChunkLevelsOf(s.levels[pairs[0].first], s.levels[pairs[1].first]);
    const bool anyBlends = blends[0] || blends[1];
    const SampledLevel& second0 = s.levels[pairs[0].first + (blends[0] ? 1 : 0)];
    const SampledLevel& second1 = s.levels[pairs[1].first + (blends[1] ? 1 : 0)];
    // Probe's level blend at (pu, pv); the second level's constants are
    // spread where it is filtered, which keeps them out of the first's registers.
    const auto probe = [&](__m256 pu, __m256 pv, ChunkChannels& values) {
        LinearChunk<opaque, fetch>(first, pu, pv, values);
        if (!anyBlends) return;
        ChunkChannels next;
        LinearChunk<opaque, fetch>(ChunkLevelsOf(second0, second1), pu, pv, next);
        const __m256 blend = perQuad(pairs[0].blend, pairs[1].blend);
        const __m256 keep = _mm256_castsi256_ps(
            _mm256_setr_m128i(_mm_set1_epi32(blends[0] ? 0 : -1), _mm_set1_epi32(blends[1] ? 0 : -1)));
#pragma GCC unroll 4
        for (int c = 0; c < kChannels; ++c) {
            const __m256 blended = _mm256_add_ps(values[c], _mm256_mul_ps(_mm256_sub_ps(next[c], values[c]), blend));
            values[c] = _mm256_blendv_ps(blended, values[c], keep);
        }
    };
    const __m256 us = _mm256_loadu_ps(u), vs = _mm256_loadu_ps(v);
    ChunkChannels values;
    if (!anisotropic || (lods[0].probes == 1 && lods[1].probes == 1)) {
        probe(us, vs, values);
    } else {
        const std::uint32_t probes = std::max(lods[0].probes, lods[1].probes);
        const __m256 weight = perQuad(1.0f / float(lods[0].probes), 1.0f / float(lods[1].probes));
        const __m256 du = perQuad(lods[0].du, lods[1].du), dv = perQuad(lods[0].dv, lods[1].dv);
        const __m256i counts = _mm256_setr_m128i(_mm_set1_epi32(int(lods[0].probes)), _mm_set1_epi32(int(lods[1].probes)));
        ChunkChannels sum = {};
        for (std::uint32_t p = 0; p < probes; ++p) {
            const __m256 t = _mm256_sub_ps(_mm256_mul_ps(_mm256_set1_ps(float(p) + 0.5f), weight), _mm256_set1_ps(0.5f));
            probe(_mm256_add_ps(us, _mm256_mul_ps(t, du)), _mm256_add_ps(vs, _mm256_mul_ps(t, dv)), values);
            const __m256 adds = _mm256_castsi256_ps(_mm256_cmpgt_epi32(counts, _mm256_set1_epi32(int(p))));
#pragma GCC unroll 4
            for (int c = 0; c < kChannels; ++c) sum[c] = _mm256_blendv_ps(sum[c], _mm256_add_ps(sum[c], values[c]), adds);
        }
#pragma GCC unroll 4
        for (int c = 0; c < kChannels; ++c) values[c] = _mm256_mul_ps(sum[c], weight);
    }
    if constexpr (opaque) values[3] = _mm256_set1_ps(255.0f);
#pragma GCC unroll 4
    for (int c = 0; c < 4; ++c) _mm256_store_ps(out->channels[c], values[c]);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

}  // namespace
}  // namespace quillmark::software
