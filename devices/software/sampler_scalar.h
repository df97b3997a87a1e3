// The sampler's arithmetic as the rules state it, in portable C++: the
// texel reads, addressing and filters, the level of detail and the level
// pair, the anisotropic probe loop, the general kernels (any texture, pixel
// by pixel) and the in-place quad kernel in scalar steps, which the 128-bit
// steps (sampler_128.h) replace. Every wider kernel takes these operations
// in their order, lane by lane. For the files that instantiate kernels
// (draw_kernels.cpp) and the sampler's set-up (sampler.cpp).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>

#include "devices/software/sampler.h"

namespace quillmark::software {
namespace {

// Four float lanes; native texels are held in memory order (B, G, R, A).
using Lanes = float __attribute__((vector_size(16)));

// A native texel's channels in memory order (B, G, R, A), in byte units.
inline Lanes Unpack(std::uint32_t p) {
    return Lanes{float(p & 0xFFu), float((p >> 8) & 0xFFu), float((p >> 16) & 0xFFu), float(p >> 24)};
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
template <class Source, AddressMode acrossMode, AddressMode downMode>
struct TexelAccess {
    using Texels = Source;
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

// The filters of one wrapped power-of-two level for the pixels of a quad
// in `mask`, a pixel at a time.
struct ScalarSteps {
    template <TexelFilter filter>
    [[gnu::always_inline]] static void Filter(const SampledLevel& l, Lanes u, Lanes v, unsigned mask, Lanes* out) {
        ScalarQuad<filter>(l, u, v, mask, out);
    }
};

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

// One probe, with Probe's level blend, for the pixels of the quad in `mask`.
template <TexelFilter filter, MipMode mip, class Steps>
[[gnu::always_inline]] inline void ProbeQuad(const SamplerSetup& s, LevelPair levels, Lanes u, Lanes v,
                                             unsigned mask, Lanes* out) {
    Steps::template Filter<filter>(s.levels[levels.first], u, v, mask, out);
    if constexpr (mip == MipMode::Linear) {
        if (levels.blend <= 0.0f) return;
        Lanes second[4];
        Steps::template Filter<filter>(s.levels[levels.first + 1], u, v, mask, second);
        for (int i = 0; i < 4; ++i) {
            if (mask & (1u << i)) out[i] = out[i] + (second[i] - out[i]) * levels.blend;
        }
    }
}

// GeneralQuad for the pixels of the quad in `mask`, on a native, wrapped,
// power-of-two texture, with the filters, mip mode, anisotropy, opaque
// alpha (X8R8G8B8) and steps (ScalarSteps, or 128-bit ones) fixed for the draw.
template <TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic, bool opaque, class Steps>
void InPlaceQuad(const SamplerSetup& s, const float* u, const float* v, float dudx, float dvdx, float dudy,
                 float dvdy, unsigned mask, TexelLanes* out) {
    const LodChoice lod = ChooseLodFor<anisotropic>(s, {u[0], v[0], dudx, dvdx, dudy, dvdy});
    Lanes us, vs;
    std::memcpy(&us, u, sizeof(us));
    std::memcpy(&vs, v, sizeof(vs));
    Lanes values[4];
    if (lod.magnify) {
        ProbeQuad<magnify, MipMode::None, Steps>(s, {s.baseLevel, 0.0f}, us, vs, mask, values);
    } else if (!anisotropic || lod.probes == 1) {
        ProbeQuad<minify, mip, Steps>(s, PickLevelsFor<mip>(s, lod.lambda), us, vs, mask, values);
    } else {
        const LevelPair levels = PickLevelsFor<mip>(s, lod.lambda);
        const auto probeAt = [&](float du, float dv, Lanes* probe) {
            ProbeQuad<TexelFilter::Linear, mip, Steps>(s, levels, us + du, vs + dv, mask, probe);
        };
        AnisotropicSum(lod, 4, mask, probeAt, values);
    }
    for (int i = 0; i < 4; ++i) {
        if (!(mask & (1u << i))) continue;
        if constexpr (opaque) values[i][3] = 255.0f;
        out[i] = TexelLanes(values[i]);
    }
}

inline Color4 ToColor(Lanes value, float scale) {
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

}  // namespace
}  // namespace quillmark::software
