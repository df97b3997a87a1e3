#include "devices/vulkan/vulkan_sampler.h"

#include <algorithm>

namespace quillmark::vulkan {
namespace {

using core::TextureAddress;

// Below half a level: the nearest level is 0, and λ > 0 still minifies.
constexpr float kOnlyLevelZero = 0.25f;

VkSamplerAddressMode AddressOf(TextureAddress address) {
    switch (address) {
        case TextureAddress::Mirror: return VK_SAMPLER_ADDRESS_MODE_MIRRORED_REPEAT;
        case TextureAddress::Clamp: return VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE;
        case TextureAddress::Border: return VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_BORDER;
        case TextureAddress::MirrorOnce: return VK_SAMPLER_ADDRESS_MODE_MIRROR_CLAMP_TO_EDGE;
        case TextureAddress::Wrap: break;
    }
    return VK_SAMPLER_ADDRESS_MODE_REPEAT;
}

VkFilter FilterOf(core::TexelFilter filter) {
    return filter == core::TexelFilter::Linear ? VK_FILTER_LINEAR : VK_FILTER_NEAREST;
}

// The border colour: the built-in one it equals, else a custom one.
void Border(D3DCOLOR argb, VkSamplerCreateInfo* out, VkSamplerCustomBorderColorCreateInfoEXT* border) {
    switch (argb) {
        case 0x00000000: out->borderColor = VK_BORDER_COLOR_FLOAT_TRANSPARENT_BLACK; return;
        case 0xFF000000: out->borderColor = VK_BORDER_COLOR_FLOAT_OPAQUE_BLACK; return;
        case 0xFFFFFFFF: out->borderColor = VK_BORDER_COLOR_FLOAT_OPAQUE_WHITE; return;
        default: break;
    }
    auto channel = [argb](int shift) { return float((argb >> shift) & 0xFF) / 255.0f; };
    out->borderColor = VK_BORDER_COLOR_FLOAT_CUSTOM_EXT;
    border->customBorderColor.float32[0] = channel(16);
    border->customBorderColor.float32[1] = channel(8);
    border->customBorderColor.float32[2] = channel(0);
    border->customBorderColor.float32[3] = channel(24);
}

}  // namespace

void MapSampler(const core::SamplerDescription& sampler, const VulkanSamplerLimits& limits, VkSamplerCreateInfo* out,
                VkSamplerCustomBorderColorCreateInfoEXT* border) {
    *out = VulkanStruct<VkSamplerCreateInfo>(VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO);
    *border = VulkanStruct<VkSamplerCustomBorderColorCreateInfoEXT>(
        VK_STRUCTURE_TYPE_SAMPLER_CUSTOM_BORDER_COLOR_CREATE_INFO_EXT);
    out->minFilter = FilterOf(sampler.minify);
    out->magFilter = FilterOf(sampler.magnify);
    const std::uint32_t first = sampler.firstLevel;
    out->minLod = float(first);
    out->maxLod = VK_LOD_CLAMP_NONE;
    out->mipmapMode =
        sampler.mip == core::MipFilter::Linear ? VK_SAMPLER_MIPMAP_MODE_LINEAR : VK_SAMPLER_MIPMAP_MODE_NEAREST;
    if (sampler.mip == core::MipFilter::None) out->maxLod = first == 0 ? kOnlyLevelZero : float(first);
    if (sampler.anisotropic && limits.maxAnisotropy > 1) {
        out->anisotropyEnable = VK_TRUE;
        out->maxAnisotropy = std::min(float(sampler.maxAnisotropy), limits.maxAnisotropy);
    } else {
        out->maxAnisotropy = 1;
    }
    out->mipLodBias = std::clamp(sampler.lodBias, -limits.maxLodBias, limits.maxLodBias);
    out->addressModeU = AddressOf(sampler.addressU);
    out->addressModeV = AddressOf(sampler.addressV);
    out->addressModeW = VK_SAMPLER_ADDRESS_MODE_REPEAT;
    if (sampler.addressU == TextureAddress::Border || sampler.addressV == TextureAddress::Border)
        Border(sampler.borderColor, out, border);
}

}  // namespace quillmark::vulkan
