// The one place the software renderer's kernels are chosen: each choice of
// a DrawKey resolved into a template argument, so that no kernel branches
// on any of them. A new kernel dimension is a DrawKey member and one more
// resolution here. Every kernel is instantiated in this file.
#include "devices/software/draw_key.h"

#include <type_traits>

#include "devices/software/model_kernel.h"
#include "devices/software/sampler_scalar.h"
#include "devices/software/tile_functions.h"
#if defined(QUILLMARK_X86_KERNELS)
#include "devices/software/sampler_128.h"
#include "devices/software/sampler_256.h"
#endif

namespace quillmark::software {
namespace {

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

// pick.template operator()<magnify, minify, mip, anisotropic>() for the key's filters.
template <class Pick>
auto ResolveFilters(const SamplerKey& k, const Pick& pick) {
    return Resolve<TexelFilter::Point, TexelFilter::Linear>(k.magnify, [&]<TexelFilter magnify>() {
        return Resolve<TexelFilter::Point, TexelFilter::Linear>(k.minify, [&]<TexelFilter minify>() {
            return Resolve<MipMode::None, MipMode::Point, MipMode::Linear>(k.mip, [&]<MipMode mip>() {
                return Resolve<false, true>(k.probes, [&]<bool anisotropic>() {
                    return pick.template operator()<magnify, minify, mip, anisotropic>();
                });
            });
        });
    });
}

// The kernels of an in-place texture for the filters and its alpha, at the
// lane width, texels fetched by `fetch` in 256-bit steps.
template <TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic, bool opaque>
SamplerKernels InPlaceKernels(LaneWidth lanes, TexelFetch fetch) {
#if defined(QUILLMARK_X86_KERNELS)
    if (lanes == LaneWidth::Lanes256) {
        const auto wide = [&]<TexelFetch texels>() {
            constexpr InPlaceQuadKernel kernel = InPlaceQuadWide<magnify, minify, mip, anisotropic, opaque, texels>;
            InPlaceChunkKernel chunk = nullptr;
            if constexpr (magnify == TexelFilter::Linear && minify == TexelFilter::Linear)
                chunk = InPlaceChunkWide<mip, anisotropic, opaque, texels>;
            return SamplerKernels{InPlaceColors<kernel>, kernel, chunk};
        };
        return Resolve<TexelFetch::Gather, TexelFetch::Load>(fetch, wide);
    }
    if (lanes == LaneWidth::Lanes128) {
        constexpr InPlaceQuadKernel kernel = InPlaceQuad<magnify, minify, mip, anisotropic, opaque, Steps128>;
        return {InPlaceColors<kernel>, kernel, nullptr};
    }
#endif
    (void)lanes, (void)fetch;
    constexpr InPlaceQuadKernel kernel = InPlaceQuad<magnify, minify, mip, anisotropic, opaque, ScalarSteps>;
    return {InPlaceColors<kernel>, kernel, nullptr};
}

// pick.template operator()<Access>() for the key's texel source and addressing.
template <class Pick>
auto ResolveAccess(const SamplerKey& k, const Pick& pick) {
    constexpr auto kWrap = AddressMode::Wrap, kMirror = AddressMode::Mirror, kClamp = AddressMode::Clamp;
    return Resolve<kWrap, kMirror, kClamp>(k.addressU, [&]<AddressMode across>() {
        return Resolve<kWrap, kMirror, kClamp>(k.addressV, [&]<AddressMode down>() {
            return Resolve<TexelSource::Native, TexelSource::Decoded>(k.source, [&]<TexelSource source>() {
                using Texels = std::conditional_t<source == TexelSource::Native, NativeTexels, DecodedTexels>;
                return pick.template operator()<TexelAccess<Texels, across, down>>();
            });
        });
    });
}

// The general kernel of the key's texel source, addressing and filters.
QuadKernel GeneralKernel(const SamplerKey& k) {
    return ResolveAccess(k, [&]<class Access>() {
        return ResolveFilters(k, [&]<TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic>() {
            return QuadKernel(GeneralQuad<Access, magnify, minify, mip, anisotropic>);
        });
    });
}

// The model device's kernel of the key's texel source and addressing (its
// filters and knobs are read from the setup, per quad).
QuadKernel ModelKernel(const SamplerKey& k) {
    return ResolveAccess(k, [&]<class Access>() { return QuadKernel(ModelQuad<Access>); });
}

// The tile function of the depth comparison at the lane width.
template <DWORD func>
TileRasterizer TileFor(LaneWidth lanes) {
    switch (lanes) {
#if defined(QUILLMARK_X86_KERNELS)
        case LaneWidth::Lanes256: return Avx2Tile<func>;
        case LaneWidth::Lanes128: return Sse2Tile<func>;
#endif
        default: return ScalarTile<func>;
    }
}

TileRasterizer PickTile(DWORD depthFunc, LaneWidth lanes) {
    switch (depthFunc) {
        case D3DCMP_NEVER: return TileFor<D3DCMP_NEVER>(lanes);
        case D3DCMP_LESS: return TileFor<D3DCMP_LESS>(lanes);
        case D3DCMP_EQUAL: return TileFor<D3DCMP_EQUAL>(lanes);
        case D3DCMP_LESSEQUAL: return TileFor<D3DCMP_LESSEQUAL>(lanes);
        case D3DCMP_GREATER: return TileFor<D3DCMP_GREATER>(lanes);
        case D3DCMP_NOTEQUAL: return TileFor<D3DCMP_NOTEQUAL>(lanes);
        case D3DCMP_GREATEREQUAL: return TileFor<D3DCMP_GREATEREQUAL>(lanes);
        default: return TileFor<D3DCMP_ALWAYS>(lanes);
    }
}

}  // namespace

SamplerKernels PickSamplerKernels(const SamplerKey& key, LaneWidth lanes, TexelFetch fetch) {
    if (key.model) return {ModelKernel(key), nullptr, nullptr};
    if (!key.inPlace) return {GeneralKernel(key), nullptr, nullptr};
    return ResolveFilters(key, [&]<TexelFilter magnify, TexelFilter minify, MipMode mip, bool anisotropic>() {
        return Resolve<false, true>(key.opaque, [&]<bool opaque>() {
            return InPlaceKernels<magnify, minify, mip, anisotropic, opaque>(lanes, fetch);
        });
    });
}

DrawKernels PickDrawKernels(const DrawKey& key) {
    DrawKernels kernels;
    for (std::uint32_t s = 0; s < kStageCount; ++s) {
        if (key.sampledStages & (1u << s)) kernels.samplers[s] = PickSamplerKernels(key.samplers[s], key.lanes, key.fetch);
    }
    kernels.tile = PickTile(key.depthFunc, key.lanes);
    return kernels;
}

}  // namespace quillmark::software
