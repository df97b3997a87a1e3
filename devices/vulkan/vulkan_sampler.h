// Direct3D 9 sampler states as a Vulkan sampler's parameters.
#pragma once

#include <array>
#include <cstdint>

#include "platform/d3d9/d3d9types.h"
#include "devices/vulkan/vulkan_api.h"

namespace quillmark::vulkan {

// What of the sampler states the driver can honour.
struct VulkanSamplerSupport {
    float maxAnisotropy = 1;         // 1 without anisotropic filtering
    float maxLodBias = 0;            // |mipLodBias| at most this
    bool customBorderColor = false;  // any BORDERCOLOR
    bool mirrorClampToEdge = false;  // MIRRORONCE
};

// Min and mag POINT/LINEAR map one to one (NONE and unknown act as POINT,
// ANISOTROPIC as LINEAR); the mip filter POINT picks the nearest level,
// LINEAR (and ANISOTROPIC) blends two, NONE samples one level only.
// MAXANISOTROPY applies only with an ANISOTROPIC min filter, clamped to
// 1 .. the driver's maximum. MAXMIPLEVEL m, the most detailed level used,
// clamps the level of detail from below (minLod = m); with the mip filter
// NONE level m alone is sampled (minLod = maxLod = m, and for m = 0 a
// maxLod of 0.25, under which the nearest level is 0 while the min filter
// still applies above λ = 0). MIPMAPLODBIAS is clamped to the driver's
// range. WRAP, MIRROR, CLAMP, BORDER (with BORDERCOLOR) and MIRRORONCE
// address the texture as in Direct3D 9; unknown modes act as WRAP.
// False when a state asks for what the driver lacks: MIRRORONCE without
// mirror-clamp-to-edge, a BORDERCOLOR other than opaque black, transparent
// black or opaque white without custom border colours.
bool MapSamplerStates(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states, std::uint32_t levels,
                      const VulkanSamplerSupport& support, VkSamplerCreateInfo* out,
                      VkSamplerCustomBorderColorCreateInfoEXT* border);

}  // namespace quillmark::vulkan
