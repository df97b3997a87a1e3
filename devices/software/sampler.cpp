#include "devices/software/sampler.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "platform/processor/processor_features.h"

namespace quillmark::software {
namespace {

// Four float lanes; native texels are held in memory order (B, G, R, A).
using Lanes = float __attribute__((vector_size(16)));

// The widest steps the quad kernels may take, asked when a kernel is picked.
enum class Width { Scalar, Sse2, Avx2 };

Width AllowedWidth() {
    if (processor::Allows(processor::kSse2 | processor::kAvx2)) return Width::Avx2;
    if (processor::Allows(processor::kSse2)) return Width::Sse2;
    return Width::Scalar;
}

// How the 256-bit kernels fetch a level's texels: with AVX2 gathers, or,
// where gathers are slow (processor::kGather not allowed), with ordinary
// loads, one 64-bit load per pixel and row for a bilinear filter's two
// neighbouring texels. Both read the same texels.
enum class Fetch { Gather, Load };

Fetch AllowedFetch() { return processor::Allows(processor::kAvx2 | processor::kGather) ? Fetch::Gather : Fetch::Load; }

// A native texel's channels in memory order (B, G, R, A), in byte units.
inline Lanes Unpack(std::uint32_t p) {
    return Lanes{float(p & 0xFFu), float((p >> 8) & 0xFFu), float((p >> 16) & 0xFFu), float(p >> 24)};
}

AddressMode AddressFrom(DWORD value) {
    if (value == D3DTADDRESS_MIRROR) return AddressMode::Mirror;
    if (value == D3DTADDRESS_CLAMP) return AddressMode::Clamp;
    return AddressMode::Wrap;
}

// floor(value) as an integer, with non-finite and huge values pinned so
// that the conversion is always defined.
inline int FloorIndex(float value) {
    if (!(value > -1.0e9f)) return -1000000000;
    if (!(value < 1.0e9f)) return 1000000000;
    const int truncated = int(value);
    return float(truncated) > value ? truncated - 1 : truncated;
}

// Texel indices of one axis `size` texels long under the addressing mode:
// the nearest texel, or the two texels a linear filter blends.
template <AddressMode mode>
struct Axis {
    int size;
    int wrapMask;  // size - 1 for a power-of-two size, else -1

    int operator()(int i) const {
        if constexpr (mode == AddressMode::Clamp) {
            return std::clamp(i, 0, size - 1);
        } else if constexpr (mode == AddressMode::Mirror) {
            int m = i % (2 * size);
            if (m < 0) m += 2 * size;
            return m < size ? m : 2 * size - 1 - m;
        } else {
            if (wrapMask >= 0) return i & wrapMask;
            i %= size;
            return i < 0 ? i + size : i;
        }
    }
};

// Texel reads of one level. Native levels give channels 0..255 (scaled to
// 0..1 once per sample), decoded levels their stored values.
struct NativeTexels {
    const SampledLevel& level;
    Lanes Raw(int x, int y) const { return Unpack(level.argb[std::size_t(y) * level.rowTexels + std::size_t(x)]); }
};

struct DecodedTexels {
    const SampledLevel& level;
    Lanes Raw(int x, int y) const {
        const FloatColor& c = level.decoded[std::size_t(y) * level.rowTexels + std::size_t(x)];
        return Lanes{c.b, c.g, c.r, c.a};
    }
};

// One level filtered at (u, v) with the axes' addressing, in Raw's units.
template <TexelFilter filter, class Texels, class Across, class Down>
Lanes FilterTexels(const Texels& texels, const Across& across, const Down& down, float u, float v) {
    const float w = texels.level.texelsAcross, h = texels.level.texelsDown;
    if constexpr (filter == TexelFilter::Point) return texels.Raw(across(FloorIndex(u * w)), down(FloorIndex(v * h)));
    const float fx = u * w - 0.5f, fy = v * h - 0.5f;
    const int xi = FloorIndex(fx), yi = FloorIndex(fy);
    const float ax = fx - float(xi), ay = fy - float(yi);
    const int x0 = across(xi), x1 = across(xi + 1);
    const int y0 = down(yi), y1 = down(yi + 1);
    const Lanes top = texels.Raw(x0, y0) * (1 - ax) + texels.Raw(x1, y0) * ax;
    const Lanes bottom = texels.Raw(x0, y1) * (1 - ax) + texels.Raw(x1, y1) * ax;
    return top * (1 - ay) + bottom * ay;
}

// How the general kernels read a texture: texel source and addressing per axis.
template <class TexelSource, AddressMode acrossMode, AddressMode downMode>
struct TexelAccess {
    using Texels = TexelSource;
    static constexpr bool native = std::is_same_v<Texels, NativeTexels>;
    static constexpr AddressMode addressU = acrossMode, addressV = downMode;
};

// Level `level` filtered at (u, v).
template <class Access, TexelFilter filter>
Lanes FilterAt(const SamplerSetup& s, std::uint32_t level, float u, float v) {
    const SampledLevel& l = s.levels[level];
    const Axis<Access::addressU> across{int(l.width), l.widthMask};
    const Axis<Access::addressV> down{int(l.height), l.heightMask};
    Lanes filtered = FilterTexels<filter>(typename Access::Texels{l}, across, down, u, v);
    if constexpr (Access::native) {
        if (s.texture->opaque) filtered[3] = 255.0f;  // the unused byte of X8R8G8B8 reads as opaque
    }
    return filtered;
}

// Correctly rounded square roots of four lanes, without the C library's
// errno path for negative arguments (a length's square is never negative;
// NaN stays NaN; the library is built without errno for maths). Each lane
// has the bits of its scalar square root.
[[gnu::always_inline]] inline Lanes SquareRoots(Lanes squares) {
    for (int i = 0; i < 4; ++i) squares[i] = __builtin_sqrtf(squares[i]);
    return squares;
}

// ChooseLod with the anisotropy of the setup known to the kernel.
template <bool anisotropic>
[[gnu::always_inline]] inline LodChoice ChooseLodFor(const SamplerSetup& s, const Footprint& f) {
    const float w = s.levels[0].texelsAcross, h = s.levels[0].texelsDown;
    // The x and y axes' lengths in lanes 0 and 1.
    const Lanes du{f.dudx, f.dudy, 0.0f, 0.0f}, dv{f.dvdx, f.dvdy, 0.0f, 0.0f};
    const Lanes lengths = SquareRoots(du * w * du * w + dv * h * dv * h);
    const float xLength = lengths[0], yLength = lengths[1];
    const float rhoMax = std::max(xLength, yLength);
    const float rhoMin = std::min(xLength, yLength);
    LodChoice lod;
    if (!(rhoMax > 0.0f && rhoMax < std::numeric_limits<float>::infinity())) return lod;  // zero, NaN, infinite
    const float lambda = std::log2(rhoMax) + s.lodBias;
    if (lambda <= 0.0f) return lod;
    lod.magnify = false;
    lod.lambda = lambda;
    if (!anisotropic || s.maxAnisotropy == 1) return lod;
    const float ratio = rhoMin > 0.0f ? std::ceil(rhoMax / rhoMin) : float(s.maxAnisotropy);
    lod.probes = std::uint32_t(std::min(ratio, float(s.maxAnisotropy)));
    if (lod.probes <= 1) {
        lod.probes = 1;
        return lod;
    }
    lod.lambda = std::log2(rhoMax / float(lod.probes)) + s.lodBias;
    const bool alongX = xLength >= yLength;
    lod.du = alongX ? f.dudx : f.dudy;
    lod.dv = alongX ? f.dvdx : f.dvdy;
    return lod;
}

// The levels a probe reads for lambda under the mip mode, and the weight
// of the second (0 when there is none).
struct LevelPair {
    std::uint32_t first;
    float blend;
};

// Lambda is measured in level-0 texels; the base level (MAXMIPLEVEL) is
// the largest level used, so it clamps lambda from below.
template <MipMode mip>
[[gnu::always_inline]] inline LevelPair PickLevelsFor(const SamplerSetup& s, float lambda) {
    const std::uint32_t last = s.lastLevel;
    const float clamped = std::clamp(lambda, s.lowestLambda, s.highestLambda);
    if constexpr (mip == MipMode::None) return {s.baseLevel, 0.0f};
    if constexpr (mip == MipMode::Point) return {std::min(std::uint32_t(std::floor(clamped + 0.5f)), last), 0.0f};
    const float lower = std::floor(clamped);  // a small whole number: exact as an index
    return {std::uint32_t(lower), clamped - lower};
}

// One probe: the level pair filtered and blended.
template <class Access, TexelFilter filter, MipMode mip>
Lanes Probe(const SamplerSetup& s, LevelPair levels, float u, float v) {
    const Lanes first = FilterAt<Access, filter>(s, levels.first, u, v);
    if constexpr (mip == MipMode::Linear) {
        if (levels.blend <= 0.0f) return first;
        const Lanes second = FilterAt<Access, filter>(s, levels.first + 1, u, v);
        return first + (second - first) * levels.blend;
    }
    return first;
}

// The scalar filter of one wrapped power-of-two level for the pixels of the
// quad in `mask`.
template <TexelFilter filter>
void ScalarQuad(const SampledLevel& l, Lanes u, Lanes v, unsigned mask, Lanes* out) {
    const Axis<AddressMode::Wrap> across{int(l.width), l.widthMask}, down{int(l.height), l.heightMask};
    for (int i = 0; i < 4; ++i) {
        if (mask & (1u << i)) out[i] = FilterTexels<filter>(NativeTexels{l}, across, down, u[i], v[i]);
    }
}

#if defined(__SSE2__)
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

#endif

// The anisotropic probes of a footprint along (du, dv): probe i at offset
// (i + 0.5) / N - 0.5 times (du, dv), read by probeAt(offsetU, offsetV,
// values) for the `lanes` values selected by `mask`, summed in order and
// scaled by 1 / N. The one probe loop of every path; a value holds one
// pixel (Lanes) or two (the 256-bit pairs).
template <class Value, class ProbeAt>
[[gnu::always_inline]] inline void AnisotropicSum(const LodChoice& lod, int lanes, unsigned mask, ProbeAt probeAt,
                                                  Value* out) {
    Value sum[4] = {};
    const float weight = 1.0f / float(lod.probes);
    for (std::uint32_t p = 0; p < lod.probes; ++p) {
        const float t = (float(p) + 0.5f) * weight - 0.5f;
        Value probe[4];
        probeAt(t * lod.du, t * lod.dv, probe);
        for (int i = 0; i < lanes; ++i) {
            if (mask & (1u << i)) sum[i] += probe[i];
        }
    }
    for (int i = 0; i < lanes; ++i) out[i] = sum[i] * weight;
}

// One level of the quad through the filter, in scalar or 128-bit steps.
template <TexelFilter filter, Width width>
[[gnu::always_inline]] inline void FilterQuad(const SampledLevel& l, Lanes u, Lanes v, unsigned mask, Lanes* out) {
    if constexpr (width == Width::Scalar)
        ScalarQuad<filter>(l, u, v, mask, out);
#if defined(__SSE2__)
    else if constexpr (filter == TexelFilter::Point)
        PointQuad(l, __m128(u), __m128(v), mask, out);
    else
        LinearQuad(l, __m128(u), __m128(v), mask, out);
#endif
}

// One probe, with Probe's level blend, for the pixels of the quad in `mask`.
template <TexelFilter filter, MipMode mip, Width width>
[[gnu::always_inline]] inline void ProbeQuad(const SamplerSetup& s, LevelPair levels, Lanes u, Lanes v,
                                             unsigned mask, Lanes* out) {
    FilterQuad<filter, width>(s.levels[levels.first], u, v, mask, out);
    if constexpr (mip == MipMode::Linear) {
        if (levels.blend <= 0.0f) return;
        Lanes second[4];
        FilterQuad<filter, width>(s.levels[levels.first + 1], u, v, mask, second);
        for (int i = 0; i < 4; ++i) {
            if (mask & (1u << i)) out[i] = out[i] + (second[i] - out[i]) * levels.blend;
        }
    }
}

// GeneralQuad for the pixels of the quad in `mask`, on a native, wrapped,
// power-of-two texture, with the filters, mip mode, anisotropy, opaque
// alpha (X8R8G8B8) and vector width (scalar or 128-bit) fixed for the draw.
template <TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic, bool opaque, Width width>
void InPlaceQuad(const SamplerSetup& s, const float* u, const float* v, float dudx, float dvdx, float dudy,
                 float dvdy, unsigned mask, TexelLanes* out) {
    const LodChoice lod = ChooseLodFor<anisotropic>(s, {u[0], v[0], dudx, dvdx, dudy, dvdy});
    Lanes us, vs;
    std::memcpy(&us, u, sizeof(us));
    std::memcpy(&vs, v, sizeof(vs));
    Lanes values[4];
    if (lod.magnify) {
        ProbeQuad<magnify, MipMode::None, width>(s, {s.baseLevel, 0.0f}, us, vs, mask, values);
    } else if (!anisotropic || lod.probes == 1) {
        ProbeQuad<minify, mip, width>(s, PickLevelsFor<mip>(s, lod.lambda), us, vs, mask, values);
    } else {
        const LevelPair levels = PickLevelsFor<mip>(s, lod.lambda);
        const auto probeAt = [&](float du, float dv, Lanes* probe) {
            ProbeQuad<TexelFilter::Linear, mip, width>(s, levels, us + du, vs + dv, mask, probe);
        };
        AnisotropicSum(lod, 4, mask, probeAt, values);
    }
    for (int i = 0; i < 4; ++i) {
        if (!(mask & (1u << i))) continue;
        if constexpr (opaque) values[i][3] = 255.0f;
        out[i] = TexelLanes(values[i]);
    }
}

#if defined(__SSE2__)
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

template <Fetch fetch>
inline __m128i FetchTexels(const LevelLanes& l, __m128i x, __m128i rowStart) {
    const __m128i index = _mm_add_epi32(rowStart, x);
    if constexpr (fetch == Fetch::Gather) {
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
template <Fetch fetch>
inline void PointPairs(const LevelLanes& l, __m128 u, __m128 v, __m256* out) {
    const __m128i xi = _mm_cvttps_epi32(PinnedFloors(_mm_mul_ps(u, l.across)));
    const __m128i yi = _mm_cvttps_epi32(PinnedFloors(_mm_mul_ps(v, l.down)));
    const __m128i texels = FetchTexels<fetch>(l, _mm_and_si128(xi, l.widthMask), RowStarts(l, yi));
    for (int p = 0; p < 2; ++p) out[p] = TexelPair(texels, p);
}

// FilterTexels' bilinear filter on a wrapped power-of-two level.
template <Fetch fetch>
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
    if (fetch == Fetch::Load && !_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(x0, widthMask)))) {
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
template <TexelFilter filter, Fetch fetch>
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
template <TexelFilter filter, MipMode mip, Fetch fetch>
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
template <MipMode mip, Fetch fetch>
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
template <TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic, bool opaque, Fetch fetch>
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
template <Fetch fetch>
inline __m256i ChunkTexelsAt(const ChunkLevels& l, __m256i x, __m256i rowStart) {
    const __m256i index = _mm256_add_epi32(rowStart, x);
    if constexpr (fetch == Fetch::Gather) {
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
template <bool opaque, Fetch fetch>
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
    if (fetch == Fetch::Load && !_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(x0, l.widthMask)))) {
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
template <MipMode mip, bool anisotropic, bool opaque, Fetch fetch>
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
#endif

// pick.template operator()<c>() for the candidate c equal to `value`; the
// last candidate also stands for any value not listed.
template <auto first, auto... rest, class Pick>
auto Resolve(decltype(first) value, const Pick& pick) {
    if constexpr (sizeof...(rest) == 0) {
        (void)value;
        return pick.template operator()<first>();
    } else {
        return value == first ? pick.template operator()<first>() : Resolve<rest...>(value, pick);
    }
}

// True when minification may take more than one probe; with MAXANISOTROPY 1
// the anisotropic filter is the linear one.
bool Probes(const SamplerSetup& s) { return s.anisotropic && s.maxAnisotropy > 1; }

// pick.template operator()<magnify, minify, mip, anisotropic>() for the setup's filters.
template <class Pick>
auto ResolveFilters(const SamplerSetup& s, const Pick& pick) {
    return Resolve<TexelFilter::Point, TexelFilter::Linear>(s.magnify, [&]<TexelFilter magnify>() {
        return Resolve<TexelFilter::Point, TexelFilter::Linear>(s.minify, [&]<TexelFilter minify>() {
            return Resolve<MipMode::None, MipMode::Point, MipMode::Linear>(s.mip, [&]<MipMode mip>() {
                return Resolve<false, true>(Probes(s), [&]<bool anisotropic>() {
                    return pick.template operator()<magnify, minify, mip, anisotropic>();
                });
            });
        });
    });
}

// pick.template operator()<magnify, minify, mip, anisotropic, opaque>() for
// the setup of an in-place texture.
template <class Pick>
auto ResolveInPlace(const SamplerSetup& s, const Pick& pick) {
    return ResolveFilters(s, [&]<TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic>() {
        return Resolve<false, true>(s.texture->opaque, [&]<bool opaque>() {
            return pick.template operator()<magnify, minify, mip, anisotropic, opaque>();
        });
    });
}

// The in-place kernel of the filters at the vector width.
template <TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic, bool opaque>
InPlaceQuadKernel InPlaceKernelFor(Width width, Fetch fetch) {
#if defined(__SSE2__)
    if (width == Width::Avx2 && fetch == Fetch::Gather)
        return InPlaceQuadWide<magnify, minify, mip, anisotropic, opaque, Fetch::Gather>;
    if (width == Width::Avx2) return InPlaceQuadWide<magnify, minify, mip, anisotropic, opaque, Fetch::Load>;
    if (width == Width::Sse2) return InPlaceQuad<magnify, minify, mip, anisotropic, opaque, Width::Sse2>;
#endif
    (void)width, (void)fetch;
    return InPlaceQuad<magnify, minify, mip, anisotropic, opaque, Width::Scalar>;
}

Color4 ToColor(Lanes value, float scale) {
    return {value[2] * scale, value[1] * scale, value[0] * scale, value[3] * scale};
}

// SampleQuad through an in-place kernel, scaled to [0, 1].
template <InPlaceQuadKernel kernel>
void InPlaceColors(const SamplerSetup& s, const float* u, const float* v, float dudx, float dvdx, float dudy,
                   float dvdy, unsigned mask, Color4* out) {
    TexelLanes values[4];
    kernel(s, u, v, dudx, dvdx, dudy, dvdy, mask, values);
    for (int i = 0; i < 4; ++i) {
        if (mask & (1u << i)) out[i] = ToColor(Lanes(values[i]), kByteScale);
    }
}

template <TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic, bool opaque>
QuadKernel InPlaceColorsFor(Width width, Fetch fetch) {
#if defined(__SSE2__)
    if (width == Width::Avx2 && fetch == Fetch::Gather)
        return InPlaceColors<InPlaceQuadWide<magnify, minify, mip, anisotropic, opaque, Fetch::Gather>>;
    if (width == Width::Avx2) return InPlaceColors<InPlaceQuadWide<magnify, minify, mip, anisotropic, opaque, Fetch::Load>>;
    if (width == Width::Sse2) return InPlaceColors<InPlaceQuad<magnify, minify, mip, anisotropic, opaque, Width::Sse2>>;
#endif
    (void)width, (void)fetch;
    return InPlaceColors<InPlaceQuad<magnify, minify, mip, anisotropic, opaque, Width::Scalar>>;
}

// SampleQuad for any texture, pixel by pixel, with the texel source, the
// addressing of both axes, the filters, mip mode and anisotropy fixed for
// the draw.
template <class Access, TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic>
void GeneralQuad(const SamplerSetup& s, const float* u, const float* v, float dudx, float dvdx, float dudy,
                 float dvdy, unsigned mask, Color4* out) {
    constexpr float scale = Access::native ? kByteScale : 1.0f;
    const LodChoice lod = ChooseLodFor<anisotropic>(s, {u[0], v[0], dudx, dvdx, dudy, dvdy});
    if (lod.magnify) {
        for (int i = 0; i < 4; ++i) {
            if (mask & (1u << i)) out[i] = ToColor(FilterAt<Access, magnify>(s, s.baseLevel, u[i], v[i]), scale);
        }
        return;
    }
    const LevelPair levels = PickLevelsFor<mip>(s, lod.lambda);
    for (int i = 0; i < 4; ++i) {
        if (!(mask & (1u << i))) continue;
        Lanes value;
        if (!anisotropic || lod.probes == 1) {
            value = Probe<Access, minify, mip>(s, levels, u[i], v[i]);
        } else {
            AnisotropicSum(lod, 1, 1u, [&](float du, float dv, Lanes* probe) {
                probe[0] = Probe<Access, TexelFilter::Linear, mip>(s, levels, u[i] + du, v[i] + dv);
            }, &value);
        }
        out[i] = ToColor(value, scale);
    }
}

// The kernel of a setup: in place for native, wrapped, power-of-two
// textures, else the general one of its texel source and addressing.
QuadKernel PickQuadKernel(const SamplerSetup& s) {
    if (SamplesInPlace(s)) {
        const Width width = AllowedWidth();
        const Fetch fetch = AllowedFetch();
        return ResolveInPlace(s, [&]<TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic, bool opaque>() {
            return InPlaceColorsFor<magnify, minify, mip, anisotropic, opaque>(width, fetch);
        });
    }
    constexpr auto kWrap = AddressMode::Wrap, kMirror = AddressMode::Mirror, kClamp = AddressMode::Clamp;
    return Resolve<kWrap, kMirror, kClamp>(s.addressU, [&]<AddressMode across>() {
        return Resolve<kWrap, kMirror, kClamp>(s.addressV, [&]<AddressMode down>() {
            return Resolve<false, true>(s.texture->native, [&]<bool native>() {
                using Access = TexelAccess<std::conditional_t<native, NativeTexels, DecodedTexels>, across, down>;
                return ResolveFilters(s, [&]<TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic>() {
                    return QuadKernel(GeneralQuad<Access, magnify, minify, mip, anisotropic>);
                });
            });
        });
    });
}

}  // namespace

SamplerSetup MakeSamplerSetup(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states,
                              const SampledTexture& texture) {
    SamplerSetup s;
    s.texture = &texture;
    const DWORD mag = states[D3DSAMP_MAGFILTER];
    const DWORD min = states[D3DSAMP_MINFILTER];
    const DWORD mip = states[D3DSAMP_MIPFILTER];
    // Anisotropic magnification is linear: a magnified footprint is smaller than a texel.
    s.magnify = (mag == D3DTEXF_LINEAR || mag == D3DTEXF_ANISOTROPIC) ? TexelFilter::Linear : TexelFilter::Point;
    s.minify = (min == D3DTEXF_LINEAR || min == D3DTEXF_ANISOTROPIC) ? TexelFilter::Linear : TexelFilter::Point;
    s.anisotropic = min == D3DTEXF_ANISOTROPIC;
    s.mip = mip == D3DTEXF_POINT ? MipMode::Point
            : (mip == D3DTEXF_LINEAR || mip == D3DTEXF_ANISOTROPIC) ? MipMode::Linear
                                                                     : MipMode::None;
    s.lodBias = std::bit_cast<float>(states[D3DSAMP_MIPMAPLODBIAS]);
    if (!std::isfinite(s.lodBias)) s.lodBias = 0.0f;
    s.maxAnisotropy = std::clamp<DWORD>(states[D3DSAMP_MAXANISOTROPY], 1, 16);
    s.baseLevel = std::min<DWORD>(states[D3DSAMP_MAXMIPLEVEL], DWORD(texture.levels.size()) - 1);
    s.addressU = AddressFrom(states[D3DSAMP_ADDRESSU]);
    s.addressV = AddressFrom(states[D3DSAMP_ADDRESSV]);
    s.levels = texture.levels.data();
    s.lastLevel = std::uint32_t(texture.levels.size()) - 1;
    s.lowestLambda = float(s.baseLevel);
    s.highestLambda = float(s.lastLevel);
    s.kernel = PickQuadKernel(s);
    return s;
}

LodChoice ChooseLod(const SamplerSetup& s, const Footprint& f) {
    return s.anisotropic ? ChooseLodFor<true>(s, f) : ChooseLodFor<false>(s, f);
}

bool SamplesInPlace(const SamplerSetup& s) {
    return s.texture->native && s.texture->powerOfTwo && s.addressU == AddressMode::Wrap &&
           s.addressV == AddressMode::Wrap;
}

InPlaceChunkKernel PickInPlaceChunkKernel(const SamplerSetup& s) {
#if defined(__SSE2__)
    if (AllowedWidth() != Width::Avx2) return nullptr;
    if (s.magnify != TexelFilter::Linear || s.minify != TexelFilter::Linear) return nullptr;
    const Fetch fetch = AllowedFetch();
    return ResolveInPlace(s, [&]<TexelFilter, TexelFilter, MipMode mip, bool anisotropic, bool opaque>() {
        if (fetch == Fetch::Gather) return InPlaceChunkKernel(InPlaceChunkWide<mip, anisotropic, opaque, Fetch::Gather>);
        return InPlaceChunkKernel(InPlaceChunkWide<mip, anisotropic, opaque, Fetch::Load>);
    });
#else
    (void)s;
    return nullptr;
#endif
}

InPlaceQuadKernel PickInPlaceKernel(const SamplerSetup& s) {
    const Width width = AllowedWidth();
    const Fetch fetch = AllowedFetch();
    return ResolveInPlace(s, [&]<TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic, bool opaque>() {
        return InPlaceKernelFor<magnify, minify, mip, anisotropic, opaque>(width, fetch);
    });
}

void SampleQuad(const SamplerSetup& s, const float* u, const float* v, float dudx, float dvdx, float dudy,
                float dvdy, unsigned mask, Color4* out) {
    s.kernel(s, u, v, dudx, dvdx, dudy, dvdy, mask, out);
}

}  // namespace quillmark::software
