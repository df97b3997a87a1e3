#include "devices/gl/sampler_mapping.h"

#include "devices/gl/gl_api.h"

namespace quillmark::gl {
namespace {

using core::TextureAddress;

constexpr float kUnboundedLod = 1000.0f;  // OpenGL's initial MAX_LOD

unsigned WrapOf(TextureAddress address) {
    switch (address) {
        case TextureAddress::Mirror: return GL_MIRRORED_REPEAT;
        case TextureAddress::Clamp: return GL_CLAMP_TO_EDGE;
        case TextureAddress::Border: return GL_CLAMP_TO_BORDER;
        case TextureAddress::MirrorOnce: return GL_MIRROR_CLAMP_TO_EDGE;
        case TextureAddress::Wrap: break;
    }
    return GL_REPEAT;
}

// D3DCOLOR (A8R8G8B8) as OpenGL's red, green, blue, alpha.
std::array<float, 4> ColorOf(D3DCOLOR argb) {
    auto channel = [argb](int shift) { return float((argb >> shift) & 0xFF) / 255.0f; };
    return {channel(16), channel(8), channel(0), channel(24)};
}

}  // namespace

GlSampling MapSampler(const core::SamplerDescription& sampler) {
    GlSampling out;
    const bool minLinear = sampler.minify == core::TexelFilter::Linear;
    const std::uint32_t first = sampler.firstLevel;
    out.minLod = float(first);
    out.maxLod = kUnboundedLod;
    if (sampler.mip == core::MipFilter::Point) {
        out.minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    } else if (sampler.mip == core::MipFilter::Linear) {
        out.minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    } else if (first == 0) {
        out.minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
    } else {
        out.minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        out.maxLod = float(first);
    }
    out.magFilter = sampler.magnify == core::TexelFilter::Linear ? GL_LINEAR : GL_NEAREST;
    out.maxAnisotropy = sampler.anisotropic ? float(sampler.maxAnisotropy) : 1.0f;
    out.lodBias = sampler.lodBias;
    out.borderColor = ColorOf(sampler.borderColor);
    out.wrapS = WrapOf(sampler.addressU);
    out.wrapT = WrapOf(sampler.addressV);
    return out;
}

}  // namespace quillmark::gl
