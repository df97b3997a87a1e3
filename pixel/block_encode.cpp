// The block encoders. Colours are fitted in a luminance-weighted space: the
// best diagonal of the bounding box gives the endpoints, a few Gauss-Newton
// rounds move them, and each pixel then takes the nearest palette position.
// The alpha of DXT4/DXT5 is fitted likewise in one dimension. All arithmetic
// is on 32-bit floats with truncating conversions; nothing is allocated.
#include <algorithm>
#include <cfloat>
#include <cstdint>
#include <utility>

#include "block_functions.h"

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

// Endpoints lo and hi in weighted space for a palette of `steps` (3 or 4)
// positions along lo..hi: the bounding box's best diagonal, then up to eight
// Gauss-Newton rounds, each summing over the pixels in order.
void FitColorEndpoints(const Vec3* points, int steps, Vec3& lo, Vec3& hi) {
    lo = kWeights;
    hi = {0.0f, 0.0f, 0.0f};
    for (UINT p = 0; p < kBlockPixels; ++p) {
        lo = {std::min(lo.x, points[p].x), std::min(lo.y, points[p].y), std::min(lo.z, points[p].z)};
        hi = {std::max(hi.x, points[p].x), std::max(hi.y, points[p].y), std::max(hi.z, points[p].z)};
    }
    if ((hi - lo).LengthSquared() < FLT_MIN) return;
    ChooseDiagonal(points, lo, hi);
    const PaletteWeights w = WeightsOf(steps);
    const float last = static_cast<float>(steps - 1);
    for (int round = 0; round < kMaxRounds; ++round) {
        const Vec3 span = hi - lo;
        const float spanSquared = span.LengthSquared();
        if (spanSquared < kMinColorSpan) return;
        Vec3 palette[4];
        for (int k = 0; k < steps; ++k) palette[k] = lo * w.low[k] + hi * w.high[k];
        Vec3 gLo = {}, gHi = {};
        float nLo = 0.0f, nHi = 0.0f;
        for (UINT p = 0; p < kBlockPixels; ++p) {
            const float t = (points[p] - lo).Dot(span) * last / spanSquared;
            const int k = NearestPosition(t, last, steps);
            const Vec3 e = palette[k] - points[p];
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

// The colour half of a block: four colours, or three and transparent black
// when `transparency` is allowed and some pixel has alpha below 0.5.
void EncodeColorBlock(const FloatColor* in, BYTE* block, bool transparency, bool dither) {
    int transparent = 0;
    if (transparency)
        for (UINT p = 0; p < kBlockPixels; ++p) transparent += in[p].a < 0.5f;
    if (transparent == static_cast<int>(kBlockPixels)) {
        PutColorBlock(block, 0x0000, 0xFFFF, 0xFFFFFFFFu);
        return;
    }
    const bool threeColor = transparent > 0;
    const int steps = threeColor ? 3 : 4;

    // Snap to the 5-6-5 grid (diffusing the difference when dithering).
    Vec3 snapped[kBlockPixels];
    Vec3 carry[kBlockPixels] = {};
    for (UINT p = 0; p < kBlockPixels; ++p) {
        Vec3 v = {in[p].r, in[p].g, in[p].b};
        if (dither) v += carry[p];
        const Vec3 q = {Snap(v.x, kFifthBits), Snap(v.y, kSixthBits), Snap(v.z, kFifthBits)};
        if (dither) Diffuse(carry, p, v - q);
        snapped[p] = Weighted(q.x, q.y, q.z);
    }

    Vec3 lo, hi;
    FitColorEndpoints(snapped, steps, lo, hi);
    const auto unweigh = [](const Vec3& c) {
        return Vec3{c.x * kInverseWeights.x, c.y * kInverseWeights.y, c.z * kInverseWeights.z};
    };
    const std::uint32_t e0 = ColorTo565(unweigh(lo));
    const std::uint32_t e1 = ColorTo565(unweigh(hi));
    if (!threeColor && e0 == e1) {
        PutColorBlock(block, e0, e0, 0);
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
    for (Vec3& c : carry) c = {};
    for (UINT p = 0; p < kBlockPixels; ++p) {
        std::uint32_t code = 3;
        if (!(threeColor && in[p].a < 0.5f)) {
            Vec3 v = Weighted(in[p]);
            if (dither) v += carry[p];
            const float t = (v - p0).Dot(d) * s;
            const int k = NearestPosition(t, last, steps);
            code = codesOf[k];
            if (dither) Diffuse(carry, p, v - palette[k]);
        }
        codes |= code << (2 * p);
    }
    PutColorBlock(block, colour0, colour1, codes);
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

void Premultiply(const FloatColor* in, FloatColor* out) {
    for (UINT p = 0; p < kBlockPixels; ++p) out[p] = {in[p].r * in[p].a, in[p].g * in[p].a, in[p].b * in[p].a, in[p].a};
}

}  // namespace

void EncodeDxt1Block(const FloatColor* given, BYTE* block, bool dither) {
    const ModerateBlock moderate(given);
    const FloatColor* in = moderate.pixels;
    if (!dither) {
        EncodeColorBlock(in, block, true, false);
        return;
    }
    FloatColor pixels[kBlockPixels];
    float carry[kBlockPixels] = {};
    for (UINT p = 0; p < kBlockPixels; ++p) {
        pixels[p] = in[p];
        const float a = in[p].a + carry[p];
        pixels[p].a = static_cast<float>(QuantiseInRange(a, 1));
        Diffuse(carry, p, a - pixels[p].a);
    }
    EncodeColorBlock(pixels, block, true, true);
}

void EncodeDxt3Block(const FloatColor* given, BYTE* block, bool dither) {
    const ModerateBlock moderate(given);
    const FloatColor* in = moderate.pixels;
    EncodeExplicitAlpha(in, block, dither);
    EncodeColorBlock(in, block + 8, false, dither);
}

void EncodeDxt5Block(const FloatColor* given, BYTE* block, bool dither) {
    const ModerateBlock moderate(given);
    const FloatColor* in = moderate.pixels;
    EncodeInterpolatedAlpha(in, block, dither);
    EncodeColorBlock(in, block + 8, false, dither);
}

void EncodeDxt2Block(const FloatColor* in, BYTE* block, bool dither) {
    FloatColor premultiplied[kBlockPixels];
    Premultiply(in, premultiplied);
    EncodeDxt3Block(premultiplied, block, dither);
}

void EncodeDxt4Block(const FloatColor* in, BYTE* block, bool dither) {
    FloatColor premultiplied[kBlockPixels];
    Premultiply(in, premultiplied);
    EncodeDxt5Block(premultiplied, block, dither);
}

}  // namespace quillmark
