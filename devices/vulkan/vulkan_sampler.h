// A draw plan's sampler description as a Vulkan sampler's parameters.
#pragma once

#include "devices/core/draw_plan.h"
#include "devices/vulkan/vulkan_api.h"

namespace quillmark::vulkan {

// The driver's sampler limits.
struct VulkanSamplerLimits {
    float maxAnisotropy = 1;  // 1 without anisotropic filtering
    float maxLodBias = 0;     // |mipLodBias| at most this
};

// Min and mag POINT/LINEAR map one to one; the mip filter POINT picks the
// nearest level, LINEAR blends two, NONE samples one level only. The
// maximum anisotropy applies to anisotropic minification only (where the
// driver filters anisotropically). The first level m (MAXMIPLEVEL) clamps
// the level of detail from below (minLod = m); with the mip filter NONE
// level m alone is sampled (minLod = maxLod = m, and for m = 0 a maxLod of
// 0.25, under which the nearest level is 0 while the min filter still
// applies above λ = 0). The LOD bias is clamped to the driver's range.
// WRAP, MIRROR, CLAMP, BORDER and MIRRORONCE address the texture as in
// Direct3D 9; the border colour is the built-in one it equals (opaque
// black, transparent black, opaque white) or a custom one in `border` (the
// plan gives BORDER only where the driver has custom border colours).
void MapSampler(const core::SamplerDescription& sampler, const VulkanSamplerLimits& limits, VkSamplerCreateInfo* out,
                VkSamplerCustomBorderColorCreateInfoEXT* border);

}  // namespace quillmark::vulkan
