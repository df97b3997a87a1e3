#include "devices/core/driver_caps.h"

#include <algorithm>

#include "devices/core/device.h"

namespace quillmark::core {

D3DCAPS9 CapsWithDriver(const DriverCaps& driver) {
    D3DCAPS9 caps = CoreCaps();
    caps.MaxAnisotropy = DWORD(std::max(1.0f, driver.maxAnisotropy));
    if (driver.maxAnisotropy <= 1) caps.TextureFilterCaps &= ~DWORD{D3DPTFILTERCAPS_MINFANISOTROPIC};
    caps.MaxTextureWidth = std::min<DWORD>(caps.MaxTextureWidth, driver.maxTextureSize);
    caps.MaxTextureHeight = std::min<DWORD>(caps.MaxTextureHeight, driver.maxTextureSize);
    if (driver.borderColor) caps.TextureAddressCaps |= D3DPTADDRESSCAPS_BORDER;
    if (driver.mirrorOnce) caps.TextureAddressCaps |= D3DPTADDRESSCAPS_MIRRORONCE;
    return caps;
}

}  // namespace quillmark::core
