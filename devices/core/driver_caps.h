// What a driver's limits make of the core's capabilities, for the devices
// that draw through a driver.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/d3d9/d3d9.h"

namespace quillmark::core {

struct DriverCaps {
    float maxAnisotropy = 1;           // 1 without anisotropic filtering
    std::uint32_t maxTextureSize = 0;  // texels on a side
    bool borderColor = false;          // any BORDERCOLOR: D3DTADDRESS_BORDER
    bool mirrorOnce = false;           // D3DTADDRESS_MIRRORONCE
};

// The precision a driver states for its sampler (Vulkan's sub-texel and
// mipmap precision bits); absent where it states none.
struct StatedPrecision {
    std::optional<int> subTexelBits, mipmapBits;
};

// The core's capabilities (CoreCaps) less what the driver lacks, and the
// address modes it honours besides.
D3DCAPS9 CapsWithDriver(const DriverCaps& driver);

}  // namespace quillmark::core
