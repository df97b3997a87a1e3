#include "devices/vulkan/vulkan_sampler.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace quillmark::vulkan {
namespace {

// Below half a level: the nearest level is 0, and λ > 0 still minifies.
constexpr float kOnlyLevelZero = 0.25f;

bool Address(DWORD mode, const VulkanSamplerSupport& support, VkSamplerAddressMode* address) {
    switch (mode) {
        case D3DTADDRESS_MIRROR: *address = VK_SAMPLER_ADDRESS_MODE_MIRRORED_REPEAT; return true;
        case D3DTADDRESS_CLAMP: *address = VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_EDGE; return true;
        case D3DTADDRESS_BORDER: *address = VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_BORDER; return true;
        case D3DTADDRESS_MIRRORONCE:
            *address = VK_SAMPLER_ADDRESS_MODE_MIRROR_CLAMP_TO_EDGE;
            return support.mirrorClampToEdge;
        default: *address = VK_SAMPLER_ADDRESS_MODE_REPEAT; return true;  // WRAP, and unknown modes
    }
}

VkFilter FilterOf(DWORD filter) {
    return filter == D3DTEXF_LINEAR || filter == D3DTEXF_ANISOTROPIC ? VK_FILTER_LINEAR : VK_FILTER_NEAREST;
}

// The border colour: the built-in one it equals, else (where the driver
// has them) a custom one; false when neither.
bool Border(DWORD argb, const VulkanSamplerSupport& support, VkSamplerCreateInfo* out,
            VkSamplerCustomBorderColorCreateInfoEXT* border) {
    switch (argb) {
        case 0x00000000: out->borderColor = VK_BORDER_COLOR_FLOAT_TRANSPARENT_BLACK; return true;
        case 0xFF000000: out->borderColor = VK_BORDER_COLOR_FLOAT_OPAQUE_BLACK; return true;
        case 0xFFFFFFFF: out->borderColor = VK_BORDER_COLOR_FLOAT_OPAQUE_WHITE; return true;
        default: break;
    }
    if (!support.customBorderColor)
        return false;
    auto channel = [argb](int shift) { return float((argb >> shift) & 0xFF) / 255.0f; };
    out->borderColor = VK_BORDER_COLOR_FLOAT_CUSTOM_EXT;
    border->customBorderColor.float32[0] = channel(16);
    border->customBorderColor.float32[1] = channel(8);
    border->customBorderColor.float32[2] = channel(0);
    border->customBorderColor.float32[3] = channel(24);
    return true;
}

}  // namespace

bool MapSamplerStates(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states, std::uint32_t levels,
                      const VulkanSamplerSupport& support, VkSamplerCreateInfo* out,
                      VkSamplerCustomBorderColorCreateInfoEXT* border) {
    *out = VulkanStruct<VkSamplerCreateInfo>(VK_STRUCTURE_TYPE_SAMPLER_CREATE_INFO);
    *border = VulkanStruct<VkSamplerCustomBorderColorCreateInfoEXT>(
        VK_STRUCTURE_TYPE_SAMPLER_CUSTOM_BORDER_COLOR_CREATE_INFO_EXT);
    out->minFilter = FilterOf(states[D3DSAMP_MINFILTER]);
    out->magFilter = FilterOf(states[D3DSAMP_MAGFILTER]);
    const DWORD mip = states[D3DSAMP_MIPFILTER];
    const std::uint32_t first = std::min<std::uint32_t>(states[D3DSAMP_MAXMIPLEVEL], levels - 1);
    out->minLod = float(first);
    out->maxLod = VK_LOD_CLAMP_NONE;
    out->mipmapMode = mip == D3DTEXF_LINEAR || mip == D3DTEXF_ANISOTROPIC ? VK_SAMPLER_MIPMAP_MODE_LINEAR
                                                                          : VK_SAMPLER_MIPMAP_MODE_NEAREST;
    if (mip != D3DTEXF_POINT && mip != D3DTEXF_LINEAR && mip != D3DTEXF_ANISOTROPIC)
        out->maxLod = first == 0 ? kOnlyLevelZero : float(first);
    if (states[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC && support.maxAnisotropy > 1) {
        out->anisotropyEnable = VK_TRUE;
        out->maxAnisotropy = std::clamp(float(states[D3DSAMP_MAXANISOTROPY]), 1.0f, support.maxAnisotropy);
    } else {
        out->maxAnisotropy = 1;
    }
    const float bias = std::bit_cast<float>(states[D3DSAMP_MIPMAPLODBIAS]);
    out->mipLodBias = std::isnan(bias) ? 0.0f : std::clamp(bias, -support.maxLodBias, support.maxLodBias);
    out->addressModeW = VK_SAMPLER_ADDRESS_MODE_REPEAT;
    if (!Address(states[D3DSAMP_ADDRESSU], support, &out->addressModeU) ||
        !Address(states[D3DSAMP_ADDRESSV], support, &out->addressModeV))
        return false;
    const bool bordered = out->addressModeU == VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_BORDER ||
                          out->addressModeV == VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_BORDER;
    return !bordered || Border(states[D3DSAMP_BORDERCOLOR], support, out, border);
}

}  // namespace quillmark::vulkan
