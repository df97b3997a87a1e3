#include "devices/software/model_sampler.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <limits>
#include <type_traits>

#include "devices/core/device.h"

namespace quillmark::software {
namespace {

std::atomic<bool> g_forceModelKernel{false};

// Four float channels of one pixel (B, G, R, A), lane by lane the scalar
// float operations.
using Lanes = float __attribute__((vector_size(16)));

// floor(value) as an integer, non-finite and huge values pinned as the
// reference pins them.
int FloorIndex(float value) {
    if (!(value > -1.0e9f)) return -1000000000;
    if (!(value < 1.0e9f)) return 1000000000;
    const int truncated = int(value);
    return float(truncated) > value ? truncated - 1 : truncated;
}

// x kept to `bits` fraction bits: floor(x · 2^bits) / 2^bits (rounded to
// nearest with `nearest`), or x itself for ModelKnobs::kExact.
float Quantise(float x, int bits, bool nearest = false) {
    if (bits == ModelKnobs::kExact) return x;
    const float scale = std::ldexp(1.0f, bits);
    return std::floor(nearest ? x * scale + 0.5f : x * scale) / scale;
}

// Texel index of one axis under its addressing mode.
template <AddressMode mode>
int Address(int i, int size) {
    if constexpr (mode == AddressMode::Clamp) {
        return std::clamp(i, 0, size - 1);
    } else if constexpr (mode == AddressMode::Mirror) {
        int m = i % (2 * size);
        if (m < 0) m += 2 * size;
        return m < size ? m : 2 * size - 1 - m;
    } else {
        i %= size;
        return i < 0 ? i + size : i;
    }
}

// The texel source (native bytes or decoded floats) and both axes'
// addressing, fixed for the draw.
template <bool native, AddressMode across, AddressMode down>
struct Access {
    static Lanes Raw(const SampledLevel& l, int x, int y) {
        const std::size_t at = std::size_t(Address<down>(y, int(l.height))) * l.rowTexels +
                               std::size_t(Address<across>(x, int(l.width)));
        if constexpr (native) {
            const std::uint32_t p = l.argb[at];
            return Lanes{float(p & 0xFFu), float((p >> 8) & 0xFFu), float((p >> 16) & 0xFFu), float(p >> 24)};
        } else {
            const FloatColor& c = l.decoded[at];
            return Lanes{c.b, c.g, c.r, c.a};
        }
    }
};

// Level `level` at (u, v) through the filter; the bilinear weights kept to
// subtexel-bits.
template <class Texels>
Lanes Filter(const SamplerSetup& s, std::uint32_t level, TexelFilter filter, float u, float v) {
    const SampledLevel& l = s.levels[level];
    const float w = l.texelsAcross, h = l.texelsDown;
    Lanes value;
    if (filter == TexelFilter::Point) {
        value = Texels::Raw(l, FloorIndex(u * w), FloorIndex(v * h));
    } else {
        const float fx = u * w - 0.5f, fy = v * h - 0.5f;
        const int x0 = FloorIndex(fx), y0 = FloorIndex(fy);
        const int bits = s.model->subtexelBits;
        const float ax = Quantise(fx - float(x0), bits, true), ay = Quantise(fy - float(y0), bits, true);
        const Lanes top = Texels::Raw(l, x0, y0) * (1 - ax) + Texels::Raw(l, x0 + 1, y0) * ax;
        const Lanes bottom = Texels::Raw(l, x0, y0 + 1) * (1 - ax) + Texels::Raw(l, x0 + 1, y0 + 1) * ax;
        value = top * (1 - ay) + bottom * ay;
    }
    if (s.texture->native && s.texture->opaque) value[3] = 255.0f;  // X8R8G8B8's unused byte reads as opaque
    return value;
}

// log2 by the knob: log2f, or e + (m - 1) for x = m · 2^e, 1 <= m < 2.
float Log2(float x, Log2Rule rule) {
    if (rule == Log2Rule::Exact) return std::log2(x);
    int exponent = 0;
    const float half = std::frexp(x, &exponent);  // x = half · 2^exponent, 0.5 <= half < 1
    return float(exponent - 1) + (half * 2.0f - 1.0f);
}

// The length of one footprint axis, (du · W, dv · H), by the axis rule.
float AxisLength(float du, float dv, float w, float h, AxisRule rule) {
    if (rule == AxisRule::Exact) return std::sqrt(((du * w) * du) * w + ((dv * h) * dv) * h);
    const float a = std::fabs(du * w), b = std::fabs(dv * h);
    return rule == AxisRule::Max ? std::max(a, b) : a + b;
}

// λ of a footprint length: log2 by the knob, the bias (with lod-offset)
// added, the fraction kept to lod-bits.
float Lambda(const SamplerSetup& s, float length) {
    return Quantise(Log2(length, s.model->log2) + s.lodBias, s.model->lodBits);
}

// ChooseLod's rule with the knobs' axis lengths, log2, λ bits and probe rounding.
LodChoice ModelLod(const SamplerSetup& s, const Footprint& f) {
    const ModelKnobs& k = *s.model;
    const float w = s.levels[0].texelsAcross, h = s.levels[0].texelsDown;
    const float xLength = AxisLength(f.dudx, f.dvdx, w, h, k.axes);
    const float yLength = AxisLength(f.dudy, f.dvdy, w, h, k.axes);
    const float rhoMax = std::max(xLength, yLength);
    const float rhoMin = std::min(xLength, yLength);
    LodChoice lod;
    if (!(rhoMax > 0.0f && rhoMax < std::numeric_limits<float>::infinity())) return lod;  // zero, NaN, infinite
    const float lambda = Lambda(s, rhoMax);
    if (lambda <= 0.0f) return lod;
    lod.magnify = false;
    lod.lambda = lambda;
    if (!s.anisotropic || s.maxAnisotropy == 1) return lod;
    const float ratio = rhoMin > 0.0f ? std::ceil(rhoMax / rhoMin) : float(s.maxAnisotropy);
    lod.probes = std::uint32_t(std::min(ratio, float(s.maxAnisotropy)));
    if (k.anisoSteps == ProbeSteps::PowerOfTwo) lod.probes = std::min(std::bit_ceil(lod.probes), std::bit_floor(s.maxAnisotropy));
    if (lod.probes <= 1) {
        lod.probes = 1;
        return lod;
    }
    lod.lambda = Lambda(s, rhoMax / float(lod.probes));
    const bool alongX = xLength >= yLength;
    lod.du = alongX ? f.dudx : f.dudy;
    lod.dv = alongX ? f.dvdx : f.dvdy;
    return lod;
}

// The first level a probe reads and the weight of the next one: 0 reads
// the first alone, 1 the next alone.
struct LevelPair {
    std::uint32_t first;
    float blend;
};

// The mip rule for λ, the linear one with the knobs' blend band and bits.
LevelPair PickLevels(const SamplerSetup& s, float lambda) {
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
template <class Texels>
Lanes Probe(const SamplerSetup& s, LevelPair levels, TexelFilter filter, float u, float v) {
    if (levels.blend >= 1.0f) return Filter<Texels>(s, levels.first + 1, filter, u, v);
    const Lanes first = Filter<Texels>(s, levels.first, filter, u, v);
    if (levels.blend <= 0.0f) return first;
    const Lanes second = Filter<Texels>(s, levels.first + 1, filter, u, v);
    return first + (second - first) * levels.blend;
}

// The model's quad kernel (QuadKernel's contract), pixel by pixel.
template <class Texels>
void ModelQuad(const SamplerSetup& s, const float* u, const float* v, float dudx, float dvdx, float dudy, float dvdy,
               unsigned mask, Color4* out) {
    const float scale = s.texture->native ? kByteScale : 1.0f;
    const LodChoice lod = ModelLod(s, {u[0], v[0], dudx, dvdx, dudy, dvdy});
    const LevelPair levels = lod.magnify ? LevelPair{s.baseLevel, 0.0f} : PickLevels(s, lod.lambda);
    const TexelFilter filter = lod.magnify ? s.magnify : s.minify;
    const float weight = 1.0f / float(lod.probes);
    for (int i = 0; i < 4; ++i) {
        if (!(mask & (1u << i))) continue;
        Lanes value;
        if (lod.probes == 1) {
            value = Probe<Texels>(s, levels, filter, u[i], v[i]);
        } else {
            value = Lanes{};
            for (std::uint32_t p = 0; p < lod.probes; ++p) {
                const float t = (float(p) + 0.5f) * weight - 0.5f;
                value += Probe<Texels>(s, levels, TexelFilter::Linear, u[i] + t * lod.du, v[i] + t * lod.dv);
            }
            value = value * weight;
        }
        out[i] = {value[2] * scale, value[1] * scale, value[0] * scale, value[3] * scale};
    }
}

template <bool native, AddressMode across>
QuadKernel ModelKernelDown(AddressMode down) {
    if (down == AddressMode::Mirror) return ModelQuad<Access<native, across, AddressMode::Mirror>>;
    if (down == AddressMode::Clamp) return ModelQuad<Access<native, across, AddressMode::Clamp>>;
    return ModelQuad<Access<native, across, AddressMode::Wrap>>;
}

template <bool native>
QuadKernel ModelKernelFor(const SamplerSetup& s) {
    if (s.addressU == AddressMode::Mirror) return ModelKernelDown<native, AddressMode::Mirror>(s.addressV);
    if (s.addressU == AddressMode::Clamp) return ModelKernelDown<native, AddressMode::Clamp>(s.addressV);
    return ModelKernelDown<native, AddressMode::Wrap>(s.addressV);
}

// Whether the knobs change anything that the sampler states cannot express.
bool NeedsModelKernel(const ModelKnobs& k) {
    const ModelKnobs d;
    return g_forceModelKernel || k.axes != d.axes || k.anisoSteps != d.anisoSteps || k.lodBits != d.lodBits ||
           k.log2 != d.log2 || k.blendWidth != d.blendWidth || k.blendBits != d.blendBits ||
           k.subtexelBits != d.subtexelBits;
}

}  // namespace

SamplerSetup MakeModelSamplerSetup(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states,
                                   const SampledTexture& texture, const ModelKnobs& knobs, std::uint32_t stage) {
    std::array<DWORD, D3D_SAMPLER_STATE_COUNT> changed = states;
    if (knobs.stageReduce && stage != 0) {
        if (states[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC) changed[D3DSAMP_MINFILTER] = D3DTEXF_LINEAR;
        if (states[D3DSAMP_MIPFILTER] == D3DTEXF_LINEAR || states[D3DSAMP_MIPFILTER] == D3DTEXF_ANISOTROPIC)
            changed[D3DSAMP_MIPFILTER] = D3DTEXF_POINT;
    }
    DWORD& maxAnisotropy = changed[D3DSAMP_MAXANISOTROPY];
    if (knobs.anisoIgnoresMax && changed[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC)
        maxAnisotropy = CoreCaps().MaxAnisotropy;
    maxAnisotropy = std::min<DWORD>(std::max<DWORD>(maxAnisotropy, 1), knobs.anisoCap);
    SamplerSetup s = MakeSamplerSetup(changed, texture);
    s.lodBias = s.lodBias + knobs.lodOffset;
    if (NeedsModelKernel(knobs)) {
        s.model = &knobs;
        s.kernel = texture.native ? ModelKernelFor<true>(s) : ModelKernelFor<false>(s);
    }
    return s;
}

void ForceModelKernel(bool force) { g_forceModelKernel = force; }

}  // namespace quillmark::software
