// The block encoders. Colours are fitted in a luminance-weighted space: the
// best diagonal of the bounding box gives the endpoints, a few Gauss-Newton
// rounds move them, and each pixel then takes the nearest palette position.
// The alpha of DXT4/DXT5 is fitted likewise in one dimension. All arithmetic
// is on 32-bit floats with truncating conversions; nothing is allocated.
#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pixel/block_functions.h"
#include "platform/processor/processor_features.h"

namespace quillmark {

namespace {

constexpr int kMaxRounds = 8;
constexpr float kMinColorSpan = 0.000244140625f;  // 2^-12
constexpr float kColorStepLimit = 0.0000152587890625f;  // 2^-16
constexpr float kMinAlphaSpan = 0.00390625f;  // 1/256
constexpr float kAlphaStepLimit = 0.015625f;  // 1/64

// A colour in the weighted fitting space.
struct Vec3 {
    float x, y, z;

    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(float s) const { return {x * s, y * s, z * s}; }
    Vec3 operator/(float s) const { return {x / s, y / s, z / s}; }
    Vec3& operator+=(const Vec3& o) { return *this = *this + o; }
    Vec3& operator-=(const Vec3& o) { return *this = *this - o; }
    float Dot(const Vec3& o) const { return x * o.x + y * o.y + z * o.z; }
    float LengthSquared() const { return Dot(*this); }
};

// Luminance weights divided by green's, and their inverses.
constexpr Vec3 kWeights = {0.29703665f, 1.0f, 0.10078278f};
constexpr Vec3 kInverseWeights = {3.3665881f, 1.0f, 9.9223299f};

#if defined(__SSE2__)
__m128 Lanes(const Vec3& v) { return _mm_setr_ps(v.x, v.y, v.z, 0.0f); }
Vec3 FromLanes(__m128 v) {
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, v);
    return {lanes[0], lanes[1], lanes[2]};
}
#endif

Vec3 Weighted(float r, float g, float b) { return {r * kWeights.x, g * kWeights.y, b * kWeights.z}; }
Vec3 Weighted(const FloatColor& c) { return Weighted(c.r, c.g, c.b); }

// Palette position to code.
constexpr BYTE kFourColorCodes[4] = {0, 2, 3, 1};
constexpr BYTE kThreeColorCodes[3] = {0, 2, 1};
constexpr BYTE kEightAlphaCodes[8] = {0, 2, 3, 4, 5, 6, 7, 1};
constexpr BYTE kSixAlphaCodes[6] = {0, 2, 3, 4, 5, 1};

// Endpoint weights of the palette positions, 4 or 3 steps.
constexpr float kLowWeights4[4] = {1.0f, 2.0f / 3.0f, 1.0f / 3.0f, 0.0f};
constexpr float kHighWeights4[4] = {0.0f, 1.0f / 3.0f, 2.0f / 3.0f, 1.0f};
constexpr float kLowWeights3[3] = {1.0f, 0.5f, 0.0f};
constexpr float kHighWeights3[3] = {0.0f, 0.5f, 1.0f};

// Floyd-Steinberg spread of pixel p's error inside the 4 x 4 block.
template <class T>
void Diffuse(T* carry, UINT p, const T& error) {
    const bool lastColumn = p % 4 == 3;
    const bool firstColumn = p % 4 == 0;
    if (!lastColumn) carry[p + 1] += error * (7.0f / 16.0f);
    if (p >= 12) return;
    if (!firstColumn) carry[p + 3] += error * (3.0f / 16.0f);
    carry[p + 4] += error * (5.0f / 16.0f);
    if (!lastColumn) carry[p + 5] += error * (1.0f / 16.0f);
}

float Clamp01(float x) { return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x); }

// x x scale + 0.5 truncated toward zero.
int Quantise(float x, float scale) { return static_cast<int>(x * scale + 0.5f); }

// Mend: alpha quantisers clamp to 0..top, since a dithered alpha can carry
// past either end and its code would spill into the neighbouring bits.
int QuantiseInRange(float x, int top) {
    const int q = Quantise(x, static_cast<float>(top));
    return q < 0 ? 0 : (q > top ? top : q);
}

// The values i / 31 and i / 63 of the 5-6-5 grid.
template <int Top>
struct GridValues {
    float values[Top + 1];
    constexpr GridValues() : values() {
        for (int i = 0; i <= Top; ++i) values[i] = static_cast<float>(i) / static_cast<float>(Top);
    }
};
constexpr GridValues<31> kFifthBits;
constexpr GridValues<63> kSixthBits;
constexpr GridValues<255> kByteValues;

// x on the grid of `grid` (rounded, truncating toward zero; values off the
// grid's ends, which dithering can carry there, are divided out).
template <int Top>
float Snap(float x, const GridValues<Top>& grid) {
    const int q = Quantise(x, static_cast<float>(Top));
    return q >= 0 && q <= Top ? grid.values[q] : static_cast<float>(q) / static_cast<float>(Top);
}

std::uint32_t ColorTo565(const Vec3& c) {
    return static_cast<std::uint32_t>(Quantise(Clamp01(c.x), 31.0f)) << 11 |
           static_cast<std::uint32_t>(Quantise(Clamp01(c.y), 63.0f)) << 5 |
           static_cast<std::uint32_t>(Quantise(Clamp01(c.z), 31.0f));
}

Vec3 WeightedFrom565(std::uint32_t c) {
    return Weighted(static_cast<float>(c >> 11) / 31.0f, static_cast<float>((c >> 5) & 0x3F) / 63.0f,
                    static_cast<float>(c & 0x1F) / 31.0f);
}

void Put16(BYTE* p, std::uint32_t v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
}

void Put32(BYTE* p, std::uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

void PutColorBlock(BYTE* block, std::uint32_t colour0, std::uint32_t colour1, std::uint32_t codes) {
    Put16(block, colour0);
    Put16(block + 2, colour1);
    Put32(block + 4, codes);
}

#if defined(__SSE2__)
// The sums of ChooseDiagonal's four candidates in four lanes: x + (+-y) +
// (+-z), where adding a negated value is subtracting it.
[[gnu::noinline]] __m128 DiagonalSums(const Vec3* points, __m128 centre, __m128 scale) {
    const __m128 flipY = _mm_setr_ps(0.0f, 0.0f, -0.0f, -0.0f);
    const __m128 flipZ = _mm_setr_ps(0.0f, -0.0f, 0.0f, -0.0f);
    __m128 total = _mm_setzero_ps();
    for (UINT p = 0; p < kBlockPixels; ++p) {
        const __m128 v = _mm_mul_ps(_mm_sub_ps(Lanes(points[p]), centre), scale);
        const __m128 x = _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 0, 0, 0));
        const __m128 y = _mm_xor_ps(_mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1)), flipY);
        const __m128 z = _mm_xor_ps(_mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 2, 2, 2)), flipZ);
        const __m128 candidates = _mm_add_ps(_mm_add_ps(x, y), z);
        total = _mm_add_ps(total, _mm_mul_ps(candidates, candidates));
    }
    return total;
}
#endif

// Picks the diagonal of the bounding box lo..hi along which the points
// spread most, swapping lo and hi in blue, green or both.
void ChooseDiagonal(const Vec3* points, Vec3& lo, Vec3& hi) {
    const Vec3 centre = (lo + hi) / 2.0f;
    const Vec3 span = hi - lo;
    const Vec3 d = span / span.LengthSquared();
    float sums[4] = {};
#if defined(__SSE2__)
    if (processor::Allows(processor::kSse2)) {
        const __m128 total = DiagonalSums(points, Lanes(centre), Lanes(d));
        _mm_storeu_ps(sums, total);
    } else
#endif
        for (UINT p = 0; p < kBlockPixels; ++p) {
            const float x = (points[p].x - centre.x) * d.x;
            const float y = (points[p].y - centre.y) * d.y;
            const float z = (points[p].z - centre.z) * d.z;
            const float candidates[4] = {x + y + z, x + y - z, x - y + z, x - y - z};
            for (int i = 0; i < 4; ++i) sums[i] += candidates[i] * candidates[i];
        }
    int best = 0;
    for (int i = 1; i < 4; ++i)
        if (sums[i] > sums[best]) best = i;
    if (best & 1) std::swap(lo.z, hi.z);
    if (best & 2) std::swap(lo.y, hi.y);
}

// The endpoint weights of a palette of 3 or 4 positions.
struct PaletteWeights {
    const float* low;
    const float* high;
};
PaletteWeights WeightsOf(int steps) {
    return steps == 4 ? PaletteWeights{kLowWeights4, kHighWeights4} : PaletteWeights{kLowWeights3, kHighWeights3};
}

// The palette position of a pixel whose place along the line is t (0 at the
// first position, last at the final one).
int NearestPosition(float t, float last, int steps) {
    return t >= last ? steps - 1 : std::max(static_cast<int>(t + 0.5f), 0);
}

// One block's colour half between the steps of its encoding: the pixels,
// the mode, the snapped and weighted points and the endpoints being fitted.
struct ColorFit {
    const FloatColor* in;
    BYTE* block;
    bool threeColor;
    int steps;
    bool dither;
    Vec3 points[kBlockPixels];
    Vec3 lo, hi;
};

// The start of the endpoint fit: lo and hi from the per-channel minimum and
// maximum, then the bounding box's best diagonal. False when the box is too
// small to have one (lo and hi are then final).
bool StartEndpoints(ColorFit& fit) {
    Vec3& lo = fit.lo;
    Vec3& hi = fit.hi;
#if defined(__SSE2__)
    if (processor::Allows(processor::kSse2)) {
        // min(lo, p) keeps lo unless p < lo, as _mm_min_ps(p, lo) does; max likewise.
        __m128 low = Lanes(kWeights), high = _mm_setzero_ps();
        for (const Vec3& p : fit.points) {
            low = _mm_min_ps(Lanes(p), low);
            high = _mm_max_ps(Lanes(p), high);
        }
        lo = FromLanes(low);
        hi = FromLanes(high);
    } else
#endif
    {
        lo = kWeights;
        hi = {0.0f, 0.0f, 0.0f};
        for (const Vec3& p : fit.points) {
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
    }
    if ((hi - lo).LengthSquared() < FLT_MIN) return false;
    ChooseDiagonal(fit.points, lo, hi);
    return true;
}

// Up to eight Gauss-Newton rounds moving lo and hi, each summing over the
// pixels in order; they stop once the span or the step gets small.
void RefineEndpoints(ColorFit& fit) {
    Vec3& lo = fit.lo;
    Vec3& hi = fit.hi;
    const PaletteWeights w = WeightsOf(fit.steps);
    const float last = static_cast<float>(fit.steps - 1);
    for (int round = 0; round < kMaxRounds; ++round) {
        const Vec3 span = hi - lo;
        const float spanSquared = span.LengthSquared();
        if (spanSquared < kMinColorSpan) return;
        Vec3 palette[4];
        for (int k = 0; k < fit.steps; ++k) palette[k] = lo * w.low[k] + hi * w.high[k];
        Vec3 gLo = {}, gHi = {};
        float nLo = 0.0f, nHi = 0.0f;
        for (const Vec3& p : fit.points) {
            const float t = (p - lo).Dot(span) * last / spanSquared;
            const int k = NearestPosition(t, last, fit.steps);
            const Vec3 e = palette[k] - p;
            gLo += e * w.low[k] / 8.0f;
            gHi += e * w.high[k] / 8.0f;
            nLo += w.low[k] * w.low[k] / 8.0f;
            nHi += w.high[k] * w.high[k] / 8.0f;
        }
        if (nLo > 0.0f) lo -= gLo / nLo;
        if (nHi > 0.0f) hi -= gHi / nHi;
        const bool small = gLo.x * gLo.x < kColorStepLimit && gLo.y * gLo.y < kColorStepLimit &&
                           gLo.z * gLo.z < kColorStepLimit && gHi.x * gHi.x < kColorStepLimit &&
                           gHi.y * gHi.y < kColorStepLimit && gHi.z * gHi.z < kColorStepLimit;
        if (small) return;
    }
}

#if defined(__SSE2__)
constexpr UINT kFitLanes = 4;

// One float of each of up to four fits in lanes; spare lanes repeat fit 0.
template <class Fit>
class FitGather {
public:
    FitGather(Fit* const* fits, UINT count) {
        for (UINT i = 0; i < kFitLanes; ++i) fits_[i] = fits[i < count ? i : 0];
    }
    template <class Field>
    __m128 operator()(Field field) const {
        return _mm_setr_ps(field(*fits_[0]), field(*fits_[1]), field(*fits_[2]), field(*fits_[3]));
    }

private:
    const Fit* fits_[kFitLanes];
};

__m128 Blend(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
#endif

// The rounds of every fit: side by side in lanes (Lanes) where the processor
// has four and at least two fits are left, else one at a time (refine).
template <class Lanes, class Fit>
void RefineFits(Fit* const* fits, UINT count, void (*refine)(Fit&)) {
    UINT done = 0;
#if defined(__SSE2__)
    if (processor::Allows(processor::kSse2))
        for (; count - done >= 2; done += std::min(count - done, kFitLanes))
            Lanes(fits + done, std::min(count - done, kFitLanes)).Refine();
#endif
    for (; done < count; ++done) refine(*fits[done]);
}

#if defined(__SSE2__)
// The rounds of up to four fits side by side, fit i in lane i. Every lane
// takes exactly the operations RefineEndpoints takes, in the same order; a
// lane that stops keeps its endpoints while the others go on.
class EndpointLanes {
public:
    EndpointLanes(ColorFit* const* fits, UINT count) : fits_(fits), count_(count) {
        const FitGather<ColorFit> lanes(fits, count);
        Lanes& s = lanes_;
        for (UINT p = 0; p < kBlockPixels; ++p) {
            s.point[p][0] = lanes([p](const ColorFit& fit) { return fit.points[p].x; });
            s.point[p][1] = lanes([p](const ColorFit& fit) { return fit.points[p].y; });
            s.point[p][2] = lanes([p](const ColorFit& fit) { return fit.points[p].z; });
        }
        s.lo[0] = lanes([](const ColorFit& fit) { return fit.lo.x; });
        s.lo[1] = lanes([](const ColorFit& fit) { return fit.lo.y; });
        s.lo[2] = lanes([](const ColorFit& fit) { return fit.lo.z; });
        s.hi[0] = lanes([](const ColorFit& fit) { return fit.hi.x; });
        s.hi[1] = lanes([](const ColorFit& fit) { return fit.hi.y; });
        s.hi[2] = lanes([](const ColorFit& fit) { return fit.hi.z; });
        s.last = lanes([](const ColorFit& fit) { return static_cast<float>(fit.steps - 1); });
        s.lastPosition = _mm_cvttps_epi32(s.last);
        s.step = _mm_div_ps(_mm_set1_ps(1.0f), s.last);
        s.active = _mm_castsi128_ps(_mm_set1_epi32(-1));
    }

    void Refine() {
        Lanes& s = lanes_;
        for (int round = 0; round < kMaxRounds; ++round) {
            for (int c = 0; c < 3; ++c) s.span[c] = _mm_sub_ps(s.hi[c], s.lo[c]);
            s.spanSquared = Dot(s.span, s.span);
            s.active = _mm_and_ps(s.active, _mm_cmpnlt_ps(s.spanSquared, _mm_set1_ps(kMinColorSpan)));
            if (_mm_movemask_ps(s.active) == 0) break;
            Step(s, SumPixels(s));
        }
        float lanes[6][kFitLanes];
        for (int c = 0; c < 3; ++c) {
            _mm_storeu_ps(lanes[c], s.lo[c]);
            _mm_storeu_ps(lanes[3 + c], s.hi[c]);
        }
        for (UINT i = 0; i < count_; ++i) {
            fits_[i]->lo = {lanes[0][i], lanes[1][i], lanes[2][i]};
            fits_[i]->hi = {lanes[3][i], lanes[4][i], lanes[5][i]};
        }
    }

private:
    // The fits' points and endpoints, and one round's sums.
    struct Lanes {
        __m128 point[kBlockPixels][3];
        __m128 lo[3], hi[3], span[3];
        __m128 spanSquared, last, active;
        __m128i lastPosition;
        __m128 step;  // 1 / last, the weight of one palette position
    };

    // One round's sums, each over the pixels in order; kept apart from the
    // lanes' state so that they stay in registers.
    struct Sums {
        __m128 gLoX, gLoY, gLoZ, gHiX, gHiY, gHiZ, nLo, nHi;
    };

    // (a0 b0 + a1 b1) + a2 b2, as Vec3::Dot.
    static __m128 Dot(const __m128* a, const __m128* b) {
        return _mm_add_ps(_mm_add_ps(_mm_mul_ps(a[0], b[0]), _mm_mul_ps(a[1], b[1])), _mm_mul_ps(a[2], b[2]));
    }

    // One channel's share of gLo and gHi: palette position k, lo wLo[k] +
    // hi wHi[k], formed from the chosen weights (the same products and sum),
    // less the point.
    static void AddChannel(__m128 lo, __m128 hi, __m128 point, __m128 wLo, __m128 wHi, __m128& gLo, __m128& gHi) {
        const __m128 eighth = _mm_set1_ps(0.125f);
        const __m128 e = _mm_sub_ps(_mm_add_ps(_mm_mul_ps(lo, wLo), _mm_mul_ps(hi, wHi)), point);
        gLo = _mm_add_ps(gLo, _mm_mul_ps(_mm_mul_ps(e, wLo), eighth));
        gHi = _mm_add_ps(gHi, _mm_mul_ps(_mm_mul_ps(e, wHi), eighth));
    }

    // Each pixel's place, palette position and share of the sums.
    static Sums SumPixels(const Lanes& s) {
        const __m128 zero = _mm_setzero_ps();
        const __m128 eighth = _mm_set1_ps(0.125f);
        Sums u = {zero, zero, zero, zero, zero, zero, zero, zero};
        for (UINT p = 0; p < kBlockPixels; ++p) {
            const __m128* point = s.point[p];
            const __m128 offset[3] = {_mm_sub_ps(point[0], s.lo[0]), _mm_sub_ps(point[1], s.lo[1]),
                                      _mm_sub_ps(point[2], s.lo[2])};
            const __m128 t = _mm_div_ps(_mm_mul_ps(Dot(offset, s.span), s.last), s.spanSquared);
            // NearestPosition: the last position from t >= last on, else t +
            // 0.5 truncated and held at 0.
            __m128i k = _mm_cvttps_epi32(_mm_add_ps(t, _mm_set1_ps(0.5f)));
            k = _mm_andnot_si128(_mm_srai_epi32(k, 31), k);
            const __m128i atEnd = _mm_castps_si128(_mm_cmpge_ps(t, s.last));
            k = _mm_or_si128(_mm_and_si128(atEnd, s.lastPosition), _mm_andnot_si128(atEnd, k));
            // The endpoint weights of position k, (last - k) / last and k /
            // last: for 3 and 4 positions, k x (1 / last) rounds to the
            // tables' values.
            const __m128 position = _mm_cvtepi32_ps(k);
            const __m128 wLo = _mm_mul_ps(_mm_sub_ps(s.last, position), s.step);
            const __m128 wHi = _mm_mul_ps(position, s.step);
            AddChannel(s.lo[0], s.hi[0], point[0], wLo, wHi, u.gLoX, u.gHiX);
            AddChannel(s.lo[1], s.hi[1], point[1], wLo, wHi, u.gLoY, u.gHiY);
            AddChannel(s.lo[2], s.hi[2], point[2], wLo, wHi, u.gLoZ, u.gHiZ);
            u.nLo = _mm_add_ps(u.nLo, _mm_mul_ps(_mm_mul_ps(wLo, wLo), eighth));
            u.nHi = _mm_add_ps(u.nHi, _mm_mul_ps(_mm_mul_ps(wHi, wHi), eighth));
        }
        return u;
    }

    // The round's step of the lanes still going; lanes whose step was small
    // stop.
    static void Step(Lanes& s, const Sums& u) {
        const __m128 gLo[3] = {u.gLoX, u.gLoY, u.gLoZ};
        const __m128 gHi[3] = {u.gHiX, u.gHiY, u.gHiZ};
        const __m128 moveLo = _mm_and_ps(s.active, _mm_cmpgt_ps(u.nLo, _mm_setzero_ps()));
        const __m128 moveHi = _mm_and_ps(s.active, _mm_cmpgt_ps(u.nHi, _mm_setzero_ps()));
        __m128 small = s.active;
        const __m128 limit = _mm_set1_ps(kColorStepLimit);
        for (int c = 0; c < 3; ++c) {
            s.lo[c] = Blend(moveLo, _mm_sub_ps(s.lo[c], _mm_div_ps(gLo[c], u.nLo)), s.lo[c]);
            s.hi[c] = Blend(moveHi, _mm_sub_ps(s.hi[c], _mm_div_ps(gHi[c], u.nHi)), s.hi[c]);
            small = _mm_and_ps(small, _mm_cmplt_ps(_mm_mul_ps(gLo[c], gLo[c]), limit));
            small = _mm_and_ps(small, _mm_cmplt_ps(_mm_mul_ps(gHi[c], gHi[c]), limit));
        }
        s.active = _mm_andnot_ps(small, s.active);
    }

    ColorFit* const* fits_;
    UINT count_;
    Lanes lanes_;
};
#else
using EndpointLanes = void;  // every fit refined on its own
#endif


// The pixels' colours on the 5-6-5 grid, weighted: with dithering, each
// difference is diffused to the pixels after it.
void SnapDithered(const FloatColor* in, Vec3* points) {
    Vec3 carry[kBlockPixels] = {};
    for (UINT p = 0; p < kBlockPixels; ++p) {
        const Vec3 v = Vec3{in[p].r, in[p].g, in[p].b} + carry[p];
        const Vec3 q = {Snap(v.x, kFifthBits), Snap(v.y, kSixthBits), Snap(v.z, kFifthBits)};
        Diffuse(carry, p, v - q);
        points[p] = Weighted(q.x, q.y, q.z);
    }
}

// Without dithering the pixels are independent; the channels of one pixel
// go together where the processor has four lanes (x x top + 0.5 truncated,
// over top, weighted: the operations Snap and Weighted take).
void SnapPlain(const FloatColor* in, Vec3* points) {
#if defined(__SSE2__)
    if (processor::Allows(processor::kSse2)) {
        const __m128 top = _mm_setr_ps(31.0f, 63.0f, 31.0f, 1.0f);
        const __m128 weights = _mm_setr_ps(kWeights.x, kWeights.y, kWeights.z, 0.0f);
        for (UINT p = 0; p < kBlockPixels; ++p) {
            const __m128 v = _mm_loadu_ps(&in[p].r);
            const __m128i q = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, top), _mm_set1_ps(0.5f)));
            float snapped[4];
            _mm_storeu_ps(snapped, _mm_mul_ps(_mm_div_ps(_mm_cvtepi32_ps(q), top), weights));
            points[p] = {snapped[0], snapped[1], snapped[2]};
        }
        return;
    }
#endif
    for (UINT p = 0; p < kBlockPixels; ++p)
        points[p] = Weighted(Snap(in[p].r, kFifthBits), Snap(in[p].g, kSixthBits), Snap(in[p].b, kFifthBits));
}

// The colour half of a block, up to its endpoint rounds: four colours, or
// three and transparent black when `transparency` is allowed and some pixel
// has alpha below 0.5. False when the block is written already (all
// transparent) or its endpoints are final without rounds; `refine` says
// which.
bool StartColorFit(const FloatColor* in, BYTE* block, bool transparency, bool dither, ColorFit& fit, bool& refine) {
    int transparent = 0;
    if (transparency)
        for (UINT p = 0; p < kBlockPixels; ++p) transparent += in[p].a < 0.5f;
    if (transparent == static_cast<int>(kBlockPixels)) {
        PutColorBlock(block, 0x0000, 0xFFFF, 0xFFFFFFFFu);
        return false;
    }
    fit.in = in;
    fit.block = block;
    fit.threeColor = transparent > 0;
    fit.steps = fit.threeColor ? 3 : 4;
    fit.dither = dither;

    if (dither) {
        SnapDithered(in, fit.points);
    } else {
        SnapPlain(in, fit.points);
    }
    refine = StartEndpoints(fit);
    return true;
}

// The codes of an undithered block whose palette runs from p0 along d, a
// pixel's place along it being (v - p0) . d x s: each pixel on its own,
// four at a time where the processor has the lanes, with the operations
// FinishColorFit takes.
std::uint32_t PlainColorCodes(const ColorFit& fit, const Vec3& p0, const Vec3& d, float s) {
    const FloatColor* in = fit.in;
    const bool threeColor = fit.threeColor;
    const int steps = fit.steps;
    const float last = static_cast<float>(steps - 1);
    const BYTE* codesOf = threeColor ? kThreeColorCodes : kFourColorCodes;
    std::uint32_t codes = 0;
    UINT p = 0;
#if defined(__SSE2__)
    const __m128 lastLanes = _mm_set1_ps(last);
    if (processor::Allows(processor::kSse2))
        for (; p < kBlockPixels; p += 4) {
            __m128 r = _mm_loadu_ps(&in[p].r), g = _mm_loadu_ps(&in[p + 1].r);
            __m128 b = _mm_loadu_ps(&in[p + 2].r), a = _mm_loadu_ps(&in[p + 3].r);
            _MM_TRANSPOSE4_PS(r, g, b, a);
            const __m128 x = _mm_sub_ps(_mm_mul_ps(r, _mm_set1_ps(kWeights.x)), _mm_set1_ps(p0.x));
            const __m128 y = _mm_sub_ps(_mm_mul_ps(g, _mm_set1_ps(kWeights.y)), _mm_set1_ps(p0.y));
            const __m128 z = _mm_sub_ps(_mm_mul_ps(b, _mm_set1_ps(kWeights.z)), _mm_set1_ps(p0.z));
            const __m128 dot = _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, _mm_set1_ps(d.x)), _mm_mul_ps(y, _mm_set1_ps(d.y))),
                                          _mm_mul_ps(z, _mm_set1_ps(d.z)));
            const __m128 t = _mm_mul_ps(dot, _mm_set1_ps(s));
            // NearestPosition, as the refinement lanes take it.
            __m128i k = _mm_cvttps_epi32(_mm_add_ps(t, _mm_set1_ps(0.5f)));
            k = _mm_andnot_si128(_mm_srai_epi32(k, 31), k);
            const __m128i atEnd = _mm_castps_si128(_mm_cmpge_ps(t, lastLanes));
            k = _mm_or_si128(_mm_and_si128(atEnd, _mm_set1_epi32(steps - 1)), _mm_andnot_si128(atEnd, k));
            alignas(16) std::int32_t positions[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(positions), k);
            const int clear = threeColor ? _mm_movemask_ps(_mm_cmplt_ps(a, _mm_set1_ps(0.5f))) : 0;
            for (UINT i = 0; i < 4; ++i) {
                const std::uint32_t code = (clear >> i) & 1 ? 3 : codesOf[positions[i]];
                codes |= code << (2 * (p + i));
            }
        }
#endif
    for (; p < kBlockPixels; ++p) {
        std::uint32_t code = 3;
        if (!(threeColor && in[p].a < 0.5f)) {
            const float t = (Weighted(in[p]) - p0).Dot(d) * s;
            code = codesOf[NearestPosition(t, last, steps)];
        }
        codes |= code << (2 * p);
    }
    return codes;
}

// The colour half from its fitted endpoints: the end colours, their order,
// and each pixel's code.
void FinishColorFit(const ColorFit& fit) {
    const FloatColor* in = fit.in;
    const bool threeColor = fit.threeColor;
    const int steps = fit.steps;
    const auto unweigh = [](const Vec3& c) {
        return Vec3{c.x * kInverseWeights.x, c.y * kInverseWeights.y, c.z * kInverseWeights.z};
    };
    const std::uint32_t e0 = ColorTo565(unweigh(fit.lo));
    const std::uint32_t e1 = ColorTo565(unweigh(fit.hi));
    if (!threeColor && e0 == e1) {
        PutColorBlock(fit.block, e0, e0, 0);
        return;
    }
    const bool keep = (e1 < e0) != threeColor;
    const std::uint32_t colour0 = keep ? e0 : e1;
    const std::uint32_t colour1 = keep ? e1 : e0;
    const Vec3 p0 = WeightedFrom565(colour0);
    const Vec3 p1 = WeightedFrom565(colour1);

    // Each pixel's place along the palette, and with dithering the palette
    // itself for the errors.
    const Vec3 d = p1 - p0;
    const float last = static_cast<float>(steps - 1);
    const float s = colour0 == colour1 ? 0.0f : last / d.LengthSquared();
    if (!fit.dither) {
        PutColorBlock(fit.block, colour0, colour1, PlainColorCodes(fit, p0, d, s));
        return;
    }
    const auto along = [&](float (*channel)(float, float)) {
        return Vec3{channel(p0.x, p1.x), channel(p0.y, p1.y), channel(p0.z, p1.z)};
    };
    const Vec3 palette[4] = {p0, threeColor ? along(HalfwayBetween) : along(OneThirdAlong),
                             threeColor ? p1 : along(TwoThirdsAlong), p1};
    const BYTE* codesOf = threeColor ? kThreeColorCodes : kFourColorCodes;
    std::uint32_t codes = 0;
    Vec3 carry[kBlockPixels] = {};
    for (UINT p = 0; p < kBlockPixels; ++p) {
        std::uint32_t code = 3;
        if (!(threeColor && in[p].a < 0.5f)) {
            const Vec3 v = Weighted(in[p]) + carry[p];
            const float t = (v - p0).Dot(d) * s;
            const int k = NearestPosition(t, last, steps);
            code = codesOf[k];
            Diffuse(carry, p, v - palette[k]);
        }
        codes |= code << (2 * p);
    }
    PutColorBlock(fit.block, colour0, colour1, codes);
}

void EncodeExplicitAlpha(const FloatColor* in, BYTE* block, bool dither) {
    float carry[kBlockPixels] = {};
    std::uint64_t bits = 0;
    for (UINT p = 0; p < kBlockPixels; ++p) {
        const float a = in[p].a + (dither ? carry[p] : 0.0f);
        const int q = QuantiseInRange(a, 15);
        if (dither) Diffuse(carry, p, a - static_cast<float>(q) / 15.0f);
        bits |= std::uint64_t(q) << (4 * p);
    }
    for (int i = 0; i < 8; ++i) block[i] = static_cast<BYTE>(bits >> (8 * i));
}

// One block's interpolated alpha half between the steps of its encoding:
// the pixels, the quantised alphas, the palette size n (6 or 8) and the
// endpoints lo <= hi being fitted. In six-value mode 0 and 1 have codes of
// their own and do not pull the fit.
struct AlphaFit {
    const FloatColor* in;
    BYTE* block;
    bool dither;
    int n;
    float values[kBlockPixels];
    float lo, hi;
};

// The start of the fit: the smallest and largest alpha that the palette's
// ends take.
void StartAlphaEndpoints(AlphaFit& fit) {
    const bool six = fit.n == 6;
    fit.lo = 1.0f;
    fit.hi = 0.0f;
    for (const float v : fit.values) {
        if (six && (v <= 0.0f || v >= 1.0f)) continue;
        fit.lo = std::min(fit.lo, v);
        fit.hi = std::max(fit.hi, v);
    }
}

// Up to eight Gauss-Newton rounds moving lo and hi, each summing over the
// pixels in order; they stop once the span or the step gets small.
void RefineAlphaEndpoints(AlphaFit& fit) {
    const float* values = fit.values;
    const int n = fit.n;
    const bool six = n == 6;
    float& lo = fit.lo;
    float& hi = fit.hi;
    const float last = static_cast<float>(n - 1);
    float wLo[8], wHi[8];
    for (int k = 0; k < n; ++k) {
        wLo[k] = static_cast<float>(n - 1 - k) / last;
        wHi[k] = static_cast<float>(k) / last;
    }
    for (int round = 0; round < kMaxRounds && hi - lo >= kMinAlphaSpan; ++round) {
        float palette[8];
        for (int k = 0; k < n; ++k) palette[k] = lo * wLo[k] + hi * wHi[k];
        float gLo = 0.0f, gHi = 0.0f, nLo = 0.0f, nHi = 0.0f;
        for (UINT p = 0; p < kBlockPixels; ++p) {
            const float v = values[p];
            const float t = (v - lo) * last / (hi - lo);
            if (six && ((t <= 0.0f && v <= lo / 2.0f) || (t >= last && v >= (hi + 1.0f) / 2.0f))) continue;
            const int k = t <= 0.0f ? 0 : (t >= last ? n - 1 : static_cast<int>(t + 0.5f));
            const float e = palette[k] - v;
            gLo += e * wLo[k];
            nLo += wLo[k] * wLo[k];
            gHi += e * wHi[k];
            nHi += wHi[k] * wHi[k];
        }
        if (nLo > 0.0f) lo -= gLo / nLo;
        if (nHi > 0.0f) hi -= gHi / nHi;
        if (lo > hi) std::swap(lo, hi);
        if (gLo * gLo < kAlphaStepLimit && gHi * gHi < kAlphaStepLimit) break;
    }
}

#if defined(__SSE2__)
// The rounds of up to four alpha fits side by side, fit i in lane i, each
// lane taking exactly RefineAlphaEndpoints' operations in its order; pixels
// a lane skips leave its sums as they are.
class AlphaLanes {
public:
    AlphaLanes(AlphaFit* const* fits, UINT count) : fits_(fits), count_(count) {
        const FitGather<AlphaFit> lanes(fits, count);
        for (UINT p = 0; p < kBlockPixels; ++p) values_[p] = lanes([p](const AlphaFit& fit) { return fit.values[p]; });
        lo_ = lanes([](const AlphaFit& fit) { return fit.lo; });
        hi_ = lanes([](const AlphaFit& fit) { return fit.hi; });
        last_ = lanes([](const AlphaFit& fit) { return static_cast<float>(fit.n - 1); });
        six_ = _mm_cmpeq_ps(last_, _mm_set1_ps(5.0f));
    }

    void Refine() {
        __m128 active = _mm_castsi128_ps(_mm_set1_epi32(-1));
        for (int round = 0; round < kMaxRounds; ++round) {
            active = _mm_and_ps(active, _mm_cmpge_ps(_mm_sub_ps(hi_, lo_), _mm_set1_ps(kMinAlphaSpan)));
            if (_mm_movemask_ps(active) == 0) break;
            active = Round(active);
        }
        alignas(16) float lo[kFitLanes], hi[kFitLanes];
        _mm_store_ps(lo, lo_);
        _mm_store_ps(hi, hi_);
        for (UINT i = 0; i < count_; ++i) {
            fits_[i]->lo = lo[i];
            fits_[i]->hi = hi[i];
        }
    }

private:

    // One round of the lanes in `active`; returns those that go on.
    __m128 Round(__m128 active) {
        const __m128 zero = _mm_setzero_ps();
        const __m128 span = _mm_sub_ps(hi_, lo_);
        const __m128 below = _mm_div_ps(lo_, _mm_set1_ps(2.0f));
        const __m128 above = _mm_div_ps(_mm_add_ps(hi_, _mm_set1_ps(1.0f)), _mm_set1_ps(2.0f));
        __m128 gLo = zero, gHi = zero, nLo = zero, nHi = zero;
        for (UINT p = 0; p < kBlockPixels; ++p) {
            const __m128 v = values_[p];
            const __m128 t = _mm_div_ps(_mm_mul_ps(_mm_sub_ps(v, lo_), last_), span);
            const __m128 atStart = _mm_cmple_ps(t, zero);
            const __m128 atEnd = _mm_cmpge_ps(t, last_);
            const __m128 skip = _mm_and_ps(six_, _mm_or_ps(_mm_and_ps(atStart, _mm_cmple_ps(v, below)),
                                                           _mm_and_ps(atEnd, _mm_cmpge_ps(v, above))));
            // k: 0 from t <= 0 on, the last from t >= last on, else t + 0.5
            // truncated; its weights (last - k) / last and k / last.
            const __m128 inner = _mm_cvtepi32_ps(_mm_cvttps_epi32(_mm_add_ps(t, _mm_set1_ps(0.5f))));
            const __m128 k = Blend(atStart, zero, Blend(atEnd, last_, inner));
            const __m128 wLo = _mm_div_ps(_mm_sub_ps(last_, k), last_);
            const __m128 wHi = _mm_div_ps(k, last_);
            const __m128 e = _mm_sub_ps(_mm_add_ps(_mm_mul_ps(lo_, wLo), _mm_mul_ps(hi_, wHi)), v);
            gLo = Blend(skip, gLo, _mm_add_ps(gLo, _mm_mul_ps(e, wLo)));
            nLo = Blend(skip, nLo, _mm_add_ps(nLo, _mm_mul_ps(wLo, wLo)));
            gHi = Blend(skip, gHi, _mm_add_ps(gHi, _mm_mul_ps(e, wHi)));
            nHi = Blend(skip, nHi, _mm_add_ps(nHi, _mm_mul_ps(wHi, wHi)));
        }
        __m128 lo = Blend(_mm_cmpgt_ps(nLo, zero), _mm_sub_ps(lo_, _mm_div_ps(gLo, nLo)), lo_);
        __m128 hi = Blend(_mm_cmpgt_ps(nHi, zero), _mm_sub_ps(hi_, _mm_div_ps(gHi, nHi)), hi_);
        const __m128 swap = _mm_cmpgt_ps(lo, hi);
        const __m128 ordered = Blend(swap, hi, lo);
        hi = Blend(swap, lo, hi);
        lo_ = Blend(active, ordered, lo_);
        hi_ = Blend(active, hi, hi_);
        const __m128 limit = _mm_set1_ps(kAlphaStepLimit);
        const __m128 small =
            _mm_and_ps(_mm_cmplt_ps(_mm_mul_ps(gLo, gLo), limit), _mm_cmplt_ps(_mm_mul_ps(gHi, gHi), limit));
        return _mm_andnot_ps(small, active);
    }

    AlphaFit* const* fits_;
    UINT count_;
    __m128 values_[kBlockPixels];
    __m128 lo_, hi_, last_, six_;
};
#else
using AlphaLanes = void;  // every fit refined on its own
#endif


// Codes of alphas in a palette whose codes 0 and 1 hold v0 and v1, with n
// (6 or 8) values.
class AlphaCoder {
public:
    AlphaCoder(float v0, float v1, int n)
        : v0_(v0), v1_(v1), last_(static_cast<float>(n - 1)), six_(n == 6), below_(v0 / 2.0f),
          above_((v1 + 1.0f) / 2.0f) {}

    std::uint32_t operator()(float a) const {
        // Mend: with v0 = v1 (six values, one of them besides 0 and 1) a
        // place of 0 for every alpha would code alpha 1 as v0; instead an
        // alpha sits below or above that one value.
        const float t = v0_ == v1_ ? (a > v0_ ? last_ : 0.0f) : (a - v0_) * last_ / (v1_ - v0_);
        if (t <= 0.0f) return six_ && a <= below_ ? 6 : 0;
        if (t >= last_) return six_ && a >= above_ ? 7 : 1;
        const int position = static_cast<int>(t + 0.5f);
        return six_ ? kSixAlphaCodes[position] : kEightAlphaCodes[position];
    }

private:
    float v0_, v1_, last_;
    bool six_;
    float below_, above_;
};

void PutAlphaBlock(BYTE* block, UINT alpha0, UINT alpha1, std::uint64_t codes) {
    block[0] = static_cast<BYTE>(alpha0);
    block[1] = static_cast<BYTE>(alpha1);
    for (int i = 0; i < 6; ++i) block[2 + i] = static_cast<BYTE>(codes >> (8 * i));
}

// The alpha half up to its endpoint rounds: the alphas quantised to bytes
// (dithered within the block when asked) and the palette size. False when
// the block is written already (all opaque).
bool StartAlphaFit(const FloatColor* in, BYTE* block, bool dither, AlphaFit& fit) {
    float carry[kBlockPixels] = {};
    float minimum = in[0].a, maximum = in[0].a;
    for (UINT p = 0; p < kBlockPixels; ++p) {
        const float a = in[p].a + (dither ? carry[p] : 0.0f);
        fit.values[p] = kByteValues.values[QuantiseInRange(a, 255)];
        if (dither) Diffuse(carry, p, a - fit.values[p]);
        if (fit.values[p] < minimum) {
            minimum = fit.values[p];
        } else if (fit.values[p] > maximum) {
            maximum = fit.values[p];
        }
    }
    if (minimum == 1.0f) {
        PutAlphaBlock(block, 255, 255, 0);
        return false;
    }
    fit.in = in;
    fit.block = block;
    fit.dither = dither;
    fit.n = minimum == 0.0f || maximum == 1.0f ? 6 : 8;
    StartAlphaEndpoints(fit);
    return true;
}

// The alpha half from its fitted endpoints: the end values, their order and
// each pixel's code.
void FinishAlphaFit(const AlphaFit& fit) {
    const FloatColor* in = fit.in;
    const int n = fit.n;
    const bool dither = fit.dither;
    UINT lo8 = static_cast<UINT>(Quantise(Clamp01(fit.lo), 255.0f));
    UINT hi8 = static_cast<UINT>(Quantise(Clamp01(fit.hi), 255.0f));
    if (n == 8 && lo8 == hi8) {
        PutAlphaBlock(fit.block, lo8, lo8, 0);
        return;
    }
    // Mend: with no alpha strictly between 0 and 1 the fit returns lo = 1,
    // hi = 0, which would write alpha0 > alpha1 and so an eight-value block;
    // the six-value block takes endpoints 0 and 255 instead.
    if (n == 6 && lo8 > hi8) std::swap(lo8, hi8);
    const UINT alpha0 = n == 8 ? hi8 : lo8;
    const UINT alpha1 = n == 8 ? lo8 : hi8;
    float values[8];
    InterpolatedAlphaValues(alpha0, alpha1, values);
    const AlphaCoder coder(values[0], values[1], n);
    std::uint64_t codes = 0;
    float carry[kBlockPixels] = {};
    for (UINT p = 0; p < kBlockPixels; ++p) {
        const float a = in[p].a + (dither ? carry[p] : 0.0f);
        const std::uint32_t code = coder(a);
        if (dither) Diffuse(carry, p, a - values[code]);
        codes |= std::uint64_t{code} << (3 * p);
    }
    PutAlphaBlock(fit.block, alpha0, alpha1, codes);
}

// The block's pixels with every channel made finite and moderate: NaN as 0,
// magnitudes held to kChannelLimit. Unchanged, a NaN or infinite channel
// turned the palette fits' positions into NaN, which indexed the code
// tables far outside them; no value a pixel format can hold comes near the
// limit.
constexpr float kChannelLimit = 65536.0f;

float Moderate(float x) { return x == x ? std::min(std::max(x, -kChannelLimit), kChannelLimit) : 0.0f; }

struct ModerateBlock {
    FloatColor pixels[kBlockPixels];
    explicit ModerateBlock(const FloatColor* in) {
        for (UINT p = 0; p < kBlockPixels; ++p)
            pixels[p] = {Moderate(in[p].r), Moderate(in[p].g), Moderate(in[p].b), Moderate(in[p].a)};
    }
};

// DXT1 with dithering: each alpha becomes 0 or 1, its difference diffused
// inside the block.
void DitherOneBitAlpha(FloatColor* pixels) {
    float carry[kBlockPixels] = {};
    for (UINT p = 0; p < kBlockPixels; ++p) {
        const float a = pixels[p].a + carry[p];
        pixels[p].a = static_cast<float>(QuantiseInRange(a, 1));
        Diffuse(carry, p, a - pixels[p].a);
    }
}

void Premultiply(const FloatColor* in, FloatColor* out) {
    for (UINT p = 0; p < kBlockPixels; ++p) out[p] = {in[p].r * in[p].a, in[p].g * in[p].a, in[p].b * in[p].a, in[p].a};
}

enum class AlphaHalf { None, Explicit, Interpolated };

// Blocks of one format, a few at a time: each block's explicit alpha or the
// start of its interpolated alpha fit, and the start of its colour fit; then
// the endpoint rounds of all of them together, then each half's codes.
template <AlphaHalf Alpha, bool Premultiplied>
void EncodeBlocks(const FloatColor* given, BYTE* blocks, UINT count, bool dither) {
    constexpr UINT kGroup = 8;
    constexpr UINT kBytes = Alpha == AlphaHalf::None ? 8 : 16;
    constexpr UINT kColorHalf = kBytes - 8;
    for (UINT first = 0; first < count; first += kGroup) {
        const UINT n = std::min(kGroup, count - first);
        FloatColor pixels[kGroup][kBlockPixels];
        ColorFit fits[kGroup];
        ColorFit* refining[kGroup];
        bool started[kGroup];
        UINT refiningCount = 0;
        AlphaFit alphaFits[Alpha == AlphaHalf::Interpolated ? kGroup : 1];
        AlphaFit* alphaRefining[kGroup];
        UINT alphaCount = 0;
        for (UINT i = 0; i < n; ++i) {
            const FloatColor* source = given + std::size_t{first + i} * kBlockPixels;
            BYTE* block = blocks + std::size_t{first + i} * kBytes;
            FloatColor* in = pixels[i];
            if constexpr (Premultiplied) {
                Premultiply(source, in);
                source = in;
            }
            const ModerateBlock moderate(source);
            std::copy_n(moderate.pixels, kBlockPixels, in);
            if constexpr (Alpha == AlphaHalf::None) {
                if (dither) DitherOneBitAlpha(in);
            } else if constexpr (Alpha == AlphaHalf::Explicit) {
                EncodeExplicitAlpha(in, block, dither);
            } else {
                if (StartAlphaFit(in, block, dither, alphaFits[alphaCount])) {
                    alphaRefining[alphaCount] = &alphaFits[alphaCount];
                    ++alphaCount;
                }
            }
            bool refine = false;
            started[i] = StartColorFit(in, block + kColorHalf, Alpha == AlphaHalf::None, dither, fits[i], refine);
            if (refine) refining[refiningCount++] = &fits[i];
        }
        if constexpr (Alpha == AlphaHalf::Interpolated) {
            RefineFits<AlphaLanes>(alphaRefining, alphaCount, RefineAlphaEndpoints);
            for (UINT i = 0; i < alphaCount; ++i) FinishAlphaFit(alphaFits[i]);
        }
        RefineFits<EndpointLanes>(refining, refiningCount, RefineEndpoints);
        for (UINT i = 0; i < n; ++i)
            if (started[i]) FinishColorFit(fits[i]);
    }
}

}  // namespace

void EncodeDxt1Blocks(const FloatColor* in, BYTE* blocks, UINT count, bool dither) {
    EncodeBlocks<AlphaHalf::None, false>(in, blocks, count, dither);
}
void EncodeDxt2Blocks(const FloatColor* in, BYTE* blocks, UINT count, bool dither) {
    EncodeBlocks<AlphaHalf::Explicit, true>(in, blocks, count, dither);
}
void EncodeDxt3Blocks(const FloatColor* in, BYTE* blocks, UINT count, bool dither) {
    EncodeBlocks<AlphaHalf::Explicit, false>(in, blocks, count, dither);
}
void EncodeDxt4Blocks(const FloatColor* in, BYTE* blocks, UINT count, bool dither) {
    EncodeBlocks<AlphaHalf::Interpolated, true>(in, blocks, count, dither);
}
void EncodeDxt5Blocks(const FloatColor* in, BYTE* blocks, UINT count, bool dither) {
    EncodeBlocks<AlphaHalf::Interpolated, false>(in, blocks, count, dither);
}

void EncodeDxt1Block(const FloatColor* in, BYTE* block, bool dither) { EncodeDxt1Blocks(in, block, 1, dither); }
void EncodeDxt2Block(const FloatColor* in, BYTE* block, bool dither) { EncodeDxt2Blocks(in, block, 1, dither); }
void EncodeDxt3Block(const FloatColor* in, BYTE* block, bool dither) { EncodeDxt3Blocks(in, block, 1, dither); }
void EncodeDxt4Block(const FloatColor* in, BYTE* block, bool dither) { EncodeDxt4Blocks(in, block, 1, dither); }
void EncodeDxt5Block(const FloatColor* in, BYTE* block, bool dither) { EncodeDxt5Blocks(in, block, 1, dither); }

}  // namespace quillmark
