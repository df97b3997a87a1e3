// The model device's quad kernel: the reference's scalar rules
// (sampler_scalar.h) with the steps the knobs add (docs/model-device.md),
// pixel by pixel. For draw_kernels.cpp, which instantiates it where a
// stage's key says the model draws (SamplerKey::model).
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "devices/software/model_knobs.h"
#include "devices/software/sampler_scalar.h"

namespace quillmark::software {
namespace {

// x kept to `bits` fraction bits: floor(x · 2^bits) / 2^bits (rounded to
// nearest with `nearest`), or x itself for ModelKnobs::kExact.
inline float Quantise(float x, int bits, bool nearest = false) {
    if (bits == ModelKnobs::kExact) return x;
    const float scale = std::ldexp(1.0f, bits);
    return std::floor(nearest ? x * scale + 0.5f : x * scale) / scale;
}

// Level `level` at (u, v) through the filter: FilterAt's rule with the
// bilinear weights kept to subtexel-bits.
template <class Access>
Lanes ModelFilter(const SamplerSetup& s, std::uint32_t level, TexelFilter filter, float u, float v) {
    const SampledLevel& l = s.levels[level];
    const Axis<Access::addressU> across{int(l.width), l.widthMask};
    const Axis<Access::addressV> down{int(l.height), l.heightMask};
    const typename Access::Texels texels{l};
    const float w = l.texelsAcross, h = l.texelsDown;
    Lanes value;
    if (filter == TexelFilter::Point) {
        value = texels.Raw(across(FloorIndex(u * w)), down(FloorIndex(v * h)));
    } else {
        const float fx = u * w - 0.5f, fy = v * h - 0.5f;
        const int xi = FloorIndex(fx), yi = FloorIndex(fy);
        const int bits = s.model->subtexelBits;
        const float ax = Quantise(fx - float(xi), bits, true), ay = Quantise(fy - float(yi), bits, true);
        const int x0 = across(xi), x1 = across(xi + 1);
        const int y0 = down(yi), y1 = down(yi + 1);
        const Lanes top = texels.Raw(x0, y0) * (1 - ax) + texels.Raw(x1, y0) * ax;
        const Lanes bottom = texels.Raw(x0, y1) * (1 - ax) + texels.Raw(x1, y1) * ax;
        value = top * (1 - ay) + bottom * ay;
    }
    if constexpr (Access::native) {
        if (s.texture->opaque) value[3] = 255.0f;  // the unused byte of X8R8G8B8 reads as opaque
    }
    return value;
}

// log2 by the knob: log2f, or e + (m - 1) for x = m · 2^e, 1 <= m < 2.
inline float ModelLog2(float x, Log2Rule rule) {
    if (rule == Log2Rule::Exact) return std::log2(x);
    int exponent = 0;
    const float half = std::frexp(x, &exponent);  // x = half · 2^exponent, 0.5 <= half < 1
    return float(exponent - 1) + (half * 2.0f - 1.0f);
}

// The length of one footprint axis, (du · W, dv · H), by the axis rule.
inline float AxisLength(float du, float dv, float w, float h, AxisRule rule) {
    if (rule == AxisRule::Exact) return __builtin_sqrtf(((du * w) * du) * w + ((dv * h) * dv) * h);
    const float a = std::fabs(du * w), b = std::fabs(dv * h);
    return rule == AxisRule::Max ? std::max(a, b) : a + b;
}

// λ of a footprint length: log2 by the knob, the bias (with lod-offset)
// added, the fraction kept to lod-bits.
inline float ModelLambda(const SamplerSetup& s, float length) {
    return Quantise(ModelLog2(length, s.model->log2) + s.lodBias, s.model->lodBits);
}

// ChooseLod's rule with the knobs' axis lengths, log2, λ bits and probe rounding.
inline LodChoice ModelLod(const SamplerSetup& s, const Footprint& f) {
    const ModelKnobs& k = *s.model;
    const float w = s.levels[0].texelsAcross, h = s.levels[0].texelsDown;
    const float xLength = AxisLength(f.dudx, f.dvdx, w, h, k.axes);
    const float yLength = AxisLength(f.dudy, f.dvdy, w, h, k.axes);
    const float rhoMax = std::max(xLength, yLength);
    const float rhoMin = std::min(xLength, yLength);
    LodChoice lod;
    if (!(rhoMax > 0.0f && rhoMax < std::numeric_limits<float>::infinity())) return lod;  // zero, NaN, infinite
    const float lambda = ModelLambda(s, rhoMax);
    if (lambda <= 0.0f) return lod;
    lod.magnify = false;
    lod.lambda = lambda;
    if (!s.anisotropic || s.maxAnisotropy == 1) return lod;
    const float ratio = rhoMin > 0.0f ? std::ceil(rhoMax / rhoMin) : float(s.maxAnisotropy);
    lod.probes = std::uint32_t(std::min(ratio, float(s.maxAnisotropy)));
    if (k.anisoSteps == ProbeSteps::PowerOfTwo)
        lod.probes = std::min(std::bit_ceil(lod.probes), std::bit_floor(s.maxAnisotropy));
    if (lod.probes <= 1) {
        lod.probes = 1;
        return lod;
    }
    lod.lambda = ModelLambda(s, k.anisoLod == AnisoLod::Short && rhoMin > 0.0f ? rhoMin : rhoMax / float(lod.probes));
    const bool alongX = xLength >= yLength;
    lod.du = alongX ? f.dudx : f.dudy;
    lod.dv = alongX ? f.dvdx : f.dvdy;
    return lod;
}

// The first level a probe reads and the weight of the next one: 0 reads
// the first alone, 1 the next alone.
struct ModelLevels {
    std::uint32_t first;
    float blend;
};

// The mip rule for λ, the linear one with the knobs' blend band and bits.
inline ModelLevels ModelPickLevels(const SamplerSetup& s, float lambda) {
    const float clamped = std::clamp(lambda, s.lowestLambda, s.highestLambda);
    if (s.mip == MipMode::None) return {s.baseLevel, 0.0f};
    if (s.mip == MipMode::Point) return {std::min(std::uint32_t(std::floor(clamped + 0.5f)), s.lastLevel), 0.0f};
    const float lower = std::floor(clamped);
    const float width = s.model->blendWidth;
    float blend;
    if (width == 0.0f) {
        blend = clamped + 0.5f >= lower + 1.0f ? 1.0f : 0.0f;  // the point rule's choice
    } else {
        const float start = (1.0f - width) * 0.5f;
        blend = std::clamp((clamped - lower - start) / width, 0.0f, 1.0f);
    }
    return {std::uint32_t(lower), Quantise(blend, s.model->blendBits)};
}

// One probe: the level pair filtered and blended.
template <class Access>
Lanes ModelProbe(const SamplerSetup& s, ModelLevels levels, TexelFilter filter, float u, float v) {
    if (levels.blend >= 1.0f) return ModelFilter<Access>(s, levels.first + 1, filter, u, v);
    const Lanes first = ModelFilter<Access>(s, levels.first, filter, u, v);
    if (levels.blend <= 0.0f) return first;
    const Lanes second = ModelFilter<Access>(s, levels.first + 1, filter, u, v);
    return first + (second - first) * levels.blend;
}

// The model's quad kernel (QuadKernel's contract), pixel by pixel.
template <class Access>
void ModelQuad(const SamplerSetup& s, const float* u, const float* v, float dudx, float dvdx, float dudy, float dvdy,
               unsigned mask, Color4* out) {
    constexpr float scale = Access::native ? kByteScale : 1.0f;
    const LodChoice lod = ModelLod(s, {u[0], v[0], dudx, dvdx, dudy, dvdy});
    const ModelLevels levels = lod.magnify ? ModelLevels{s.baseLevel, 0.0f} : ModelPickLevels(s, lod.lambda);
    const TexelFilter filter = lod.magnify ? s.magnify : s.minify;
    const float weight = 1.0f / float(lod.probes);
    for (int i = 0; i < 4; ++i) {
        if (!(mask & (1u << i))) continue;
        Lanes value;
        if (lod.probes == 1) {
            value = ModelProbe<Access>(s, levels, filter, u[i], v[i]);
        } else {
            value = Lanes{};
            for (std::uint32_t p = 0; p < lod.probes; ++p) {
                const float t = (float(p) + 0.5f) * weight - 0.5f;
                value += ModelProbe<Access>(s, levels, TexelFilter::Linear, u[i] + t * lod.du, v[i] + t * lod.dv);
            }
            value = value * weight;
        }
        out[i] = ToColor(value, scale);
    }
}

}  // namespace
}  // namespace quillmark::software
