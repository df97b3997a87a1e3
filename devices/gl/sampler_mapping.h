// Direct3D 9 sampler states as OpenGL sampler-object parameters.
#pragma once

#include <array>
#include <cstdint>

#include "platform/d3d9/d3d9types.h"

namespace quillmark::gl {

// What of the sampler states the driver can honour.
struct GlSamplerSupport {
    float maxAnisotropy = 1;         // 1 without anisotropic filtering
    bool mirrorClampToEdge = false;  // MIRRORONCE
};

struct GlSampling {
    unsigned minFilter = 0;  // GL_NEAREST ... GL_LINEAR_MIPMAP_LINEAR
    unsigned magFilter = 0;
    unsigned wrapS = 0, wrapT = 0;
    float maxAnisotropy = 1;
    float lodBias = 0;
    float minLod = 0, maxLod = 0;
    std::array<float, 4> borderColor{};  // red, green, blue, alpha
};

// Min and mag POINT/LINEAR map one to one (NONE and unknown act as POINT,
// mag ANISOTROPIC as LINEAR); the mip filter POINT and LINEAR pick the
// nearest level or blend two (ANISOTROPIC acts as LINEAR, unknown values as
// NONE). MAXANISOTROPY applies only with an ANISOTROPIC min filter, clamped
// to 1 .. the driver's maximum. MAXMIPLEVEL m, the most detailed level
// used, clamps the level of detail from below (MIN_LOD = m); with the mip
// filter NONE level m alone is sampled (MIN_LOD = MAX_LOD = m; without a
// mip filter for m = 0). WRAP, MIRROR, CLAMP, BORDER (with BORDERCOLOR) and
// MIRRORONCE address the texture as in Direct3D 9; unknown modes act as
// WRAP. False when a state asks for what the driver lacks (MIRRORONCE).
bool MapSamplerStates(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states, std::uint32_t levels,
                      const GlSamplerSupport& support, GlSampling* out);

}  // namespace quillmark::gl
