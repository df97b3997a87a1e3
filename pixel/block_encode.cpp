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

#include "block_functions.h"
#include "processor_features.h"

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

// Picks the diagonal of the bounding box lo..hi along which the points
// spread most, swapping lo and hi in blue, green or both.
void ChooseDiagonal(const Vec3* points, Vec3& lo, Vec3& hi) {
    const Vec3 centre = (lo + hi) / 2.0f;
    const Vec3 span = hi - lo;
    const Vec3 d = span / span.LengthSquared();
    float sums[4] = {};
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
    lo = kWeights;
    hi = {0.0f, 0.0f, 0.0f};
    for (const Vec3& p : fit.points) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
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
// The rounds of up to four fits side by side, fit i in lane i. Every lane
// takes exactly the operations RefineEndpoints takes, in the same order; a
// lane that stops keeps its endpoints while the others go on.
class EndpointLanes {
public:
    static constexpr UINT kLanes = 4;

    EndpointLanes(ColorFit* const* fits, UINT count) : fits_(fits), count_(count) {
        const ColorFit* f[kLanes];
        for (UINT i = 0; i < kLanes; ++i) f[i] = fits[i < count ? i : 0];  // spare lanes repeat fit 0
        const auto lanes = [&](auto field) {
            return _mm_setr_ps(field(*f[0]), field(*f[1]), field(*f[2]), field(*f[3]));
        };
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
        const __m128 four = _mm_cmpeq_ps(s.last, _mm_set1_ps(3.0f));
        for (int k = 0; k < 4; ++k) {
            s.wLo[k] = Blend(four, _mm_set1_ps(kLowWeights4[k]), _mm_set1_ps(k < 3 ? kLowWeights3[k] : 0.0f));
            s.wHi[k] = Blend(four, _mm_set1_ps(kHighWeights4[k]), _mm_set1_ps(k < 3 ? kHighWeights3[k] : 0.0f));
        }
        s.active = _mm_castsi128_ps(_mm_set1_epi32(-1));
    }

    void Refine() {
        Lanes& s = lanes_;
        for (int round = 0; round < kMaxRounds; ++round) {
            for (int c = 0; c < 3; ++c) s.span[c] = _mm_sub_ps(s.hi[c], s.lo[c]);
            s.spanSquared = Dot(s.span, s.span);
            s.active = _mm_and_ps(s.active, _mm_cmpnlt_ps(s.spanSquared, _mm_set1_ps(kMinColorSpan)));
            if (_mm_movemask_ps(s.active) == 0) break;
            for (int c = 0; c < 3; ++c) s.gLo[c] = s.gHi[c] = _mm_setzero_ps();
            s.nLo = s.nHi = _mm_setzero_ps();
            for (UINT p = 0; p < kBlockPixels; ++p) AddPixel(s, p);
            Step(s);
        }
        float lanes[6][kLanes];
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
        __m128 wLo[4], wHi[4];
        __m128 gLo[3], gHi[3], nLo, nHi;
    };

    static __m128 Blend(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
    // (a0 b0 + a1 b1) + a2 b2, as Vec3::Dot.
    static __m128 Dot(const __m128* a, const __m128* b) {
        return _mm_add_ps(_mm_add_ps(_mm_mul_ps(a[0], b[0]), _mm_mul_ps(a[1], b[1])), _mm_mul_ps(a[2], b[2]));
    }

    // One pixel's place, palette position and share of the sums.
    static void AddPixel(Lanes& s, UINT p) {
        const __m128* point = s.point[p];
        const __m128 offset[3] = {_mm_sub_ps(point[0], s.lo[0]), _mm_sub_ps(point[1], s.lo[1]),
                                  _mm_sub_ps(point[2], s.lo[2])};
        const __m128 t = _mm_div_ps(_mm_mul_ps(Dot(offset, s.span), s.last), s.spanSquared);
        // NearestPosition: the last position from t >= last on, else t + 0.5
        // truncated and held at 0.
        __m128i k = _mm_cvttps_epi32(_mm_add_ps(t, _mm_set1_ps(0.5f)));
        k = _mm_andnot_si128(_mm_srai_epi32(k, 31), k);
        const __m128i atEnd = _mm_castps_si128(_mm_cmpge_ps(t, s.last));
        k = _mm_or_si128(_mm_and_si128(atEnd, s.lastPosition), _mm_andnot_si128(atEnd, k));
        __m128 wLo = s.wLo[0], wHi = s.wHi[0];
        for (int j = 1; j < 4; ++j) {
            const __m128 at = _mm_castsi128_ps(_mm_cmpeq_epi32(k, _mm_set1_epi32(j)));
            wLo = Blend(at, s.wLo[j], wLo);
            wHi = Blend(at, s.wHi[j], wHi);
        }
        const __m128 eighth = _mm_set1_ps(0.125f);
        for (int c = 0; c < 3; ++c) {
            // Palette position k, lo wLo[k] + hi wHi[k], formed from the
            // chosen weights (the same products and sum).
            const __m128 position = _mm_add_ps(_mm_mul_ps(s.lo[c], wLo), _mm_mul_ps(s.hi[c], wHi));
            const __m128 e = _mm_sub_ps(position, point[c]);
            s.gLo[c] = _mm_add_ps(s.gLo[c], _mm_mul_ps(_mm_mul_ps(e, wLo), eighth));
            s.gHi[c] = _mm_add_ps(s.gHi[c], _mm_mul_ps(_mm_mul_ps(e, wHi), eighth));
        }
        s.nLo = _mm_add_ps(s.nLo, _mm_mul_ps(_mm_mul_ps(wLo, wLo), eighth));
        s.nHi = _mm_add_ps(s.nHi, _mm_mul_ps(_mm_mul_ps(wHi, wHi), eighth));
    }

    // The round's step of the lanes still going; lanes whose step was small
    // stop.
    static void Step(Lanes& s) {
        const __m128 moveLo = _mm_and_ps(s.active, _mm_cmpgt_ps(s.nLo, _mm_setzero_ps()));
        const __m128 moveHi = _mm_and_ps(s.active, _mm_cmpgt_ps(s.nHi, _mm_setzero_ps()));
        __m128 small = s.active;
        const __m128 limit = _mm_set1_ps(kColorStepLimit);
        for (int c = 0; c < 3; ++c) {
            s.lo[c] = Blend(moveLo, _mm_sub_ps(s.lo[c], _mm_div_ps(s.gLo[c], s.nLo)), s.lo[c]);
            s.hi[c] = Blend(moveHi, _mm_sub_ps(s.hi[c], _mm_div_ps(s.gHi[c], s.nHi)), s.hi[c]);
            small = _mm_and_ps(small, _mm_cmplt_ps(_mm_mul_ps(s.gLo[c], s.gLo[c]), limit));
            small = _mm_and_ps(small, _mm_cmplt_ps(_mm_mul_ps(s.gHi[c], s.gHi[c]), limit));
        }
        s.active = _mm_andnot_ps(small, s.active);
    }

    ColorFit* const* fits_;
    UINT count_;
    Lanes lanes_;
};
#endif

// The rounds of every fit that has them; side by side where the processor
// has four lanes.
void RefineAll(ColorFit* const* fits, UINT count) {
    UINT done = 0;
#if defined(__SSE2__)
    if (processor::Allows(processor::kSse2))
        for (; count - done >= 2; done += std::min(count - done, EndpointLanes::kLanes))
            EndpointLanes(fits + done, std::min(count - done, EndpointLanes::kLanes)).Refine();
#endif
    for (; done < count; ++done) RefineEndpoints(*fits[done]);
}

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

    // The palette (for the dithered errors) and each pixel's place along it.
    const auto along = [&](float (*channel)(float, float)) {
        return Vec3{channel(p0.x, p1.x), channel(p0.y, p1.y), channel(p0.z, p1.z)};
    };
    const Vec3 palette[4] = {p0, threeColor ? along(HalfwayBetween) : along(OneThirdAlong),
                             threeColor ? p1 : along(TwoThirdsAlong), p1};
    const BYTE* codesOf = threeColor ? kThreeColorCodes : kFourColorCodes;
    const Vec3 d = p1 - p0;
    const float last = static_cast<float>(steps - 1);
    const float s = colour0 == colour1 ? 0.0f : last / d.LengthSquared();

    std::uint32_t codes = 0;
    Vec3 carry[kBlockPixels];
    if (fit.dither) std::fill_n(carry, kBlockPixels, Vec3{});
    for (UINT p = 0; p < kBlockPixels; ++p) {
        std::uint32_t code = 3;
        if (!(threeColor && in[p].a < 0.5f)) {
            Vec3 v = Weighted(in[p]);
            if (fit.dither) v += carry[p];
            const float t = (v - p0).Dot(d) * s;
            const int k = NearestPosition(t, last, steps);
            code = codesOf[k];
            if (fit.dither) Diffuse(carry, p, v - palette[k]);
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

// Endpoints lo <= hi in [0, 1] of an alpha palette of n (6 or 8) values. In
// six-value mode 0 and 1 have codes of their own and do not pull the fit.
void FitAlphaEndpoints(const float* values, int n, float& lo, float& hi) {
    const bool six = n == 6;
    lo = 1.0f;
    hi = 0.0f;
    for (UINT p = 0; p < kBlockPixels; ++p) {
        const float v = values[p];
        if (six && (v <= 0.0f || v >= 1.0f)) continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
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
    lo = Clamp01(lo);
    hi = Clamp01(hi);
}

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

void EncodeInterpolatedAlpha(const FloatColor* in, BYTE* block, bool dither) {
    float quantised[kBlockPixels];
    float carry[kBlockPixels] = {};
    float minimum = in[0].a, maximum = in[0].a;
    for (UINT p = 0; p < kBlockPixels; ++p) {
        const float a = in[p].a + (dither ? carry[p] : 0.0f);
        quantised[p] = kByteValues.values[QuantiseInRange(a, 255)];
        if (dither) Diffuse(carry, p, a - quantised[p]);
        if (quantised[p] < minimum) {
            minimum = quantised[p];
        } else if (quantised[p] > maximum) {
            maximum = quantised[p];
        }
    }
    if (minimum == 1.0f) {
        PutAlphaBlock(block, 255, 255, 0);
        return;
    }
    const int n = minimum == 0.0f || maximum == 1.0f ? 6 : 8;
    float lo, hi;
    FitAlphaEndpoints(quantised, n, lo, hi);
    UINT lo8 = static_cast<UINT>(Quantise(lo, 255.0f));
    UINT hi8 = static_cast<UINT>(Quantise(hi, 255.0f));
    if (n == 8 && lo8 == hi8) {
        PutAlphaBlock(block, lo8, lo8, 0);
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
    for (float& c : carry) c = 0.0f;
    for (UINT p = 0; p < kBlockPixels; ++p) {
        const float a = in[p].a + (dither ? carry[p] : 0.0f);
        const std::uint32_t code = coder(a);
        if (dither) Diffuse(carry, p, a - values[code]);
        codes |= std::uint64_t{code} << (3 * p);
    }
    PutAlphaBlock(block, alpha0, alpha1, codes);
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

// Blocks of one format, a few at a time: each block's alpha and the start of
// its colour fit, then the endpoint rounds of all of them together, then
// each colour half's codes.
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
                EncodeInterpolatedAlpha(in, block, dither);
            }
            bool refine = false;
            started[i] = StartColorFit(in, block + kColorHalf, Alpha == AlphaHalf::None, dither, fits[i], refine);
            if (refine) refining[refiningCount++] = &fits[i];
        }
        RefineAll(refining, refiningCount);
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
