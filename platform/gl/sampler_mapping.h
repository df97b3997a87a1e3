// Direct3D 9 sampler states as OpenGL texture and sampler parameters.
#pragma once

#include <array>
#include <cstdint>

#include "d3d9types.h"

namespace quillmark::gl {

struct GlSampling {
    unsigned minFilter = 0;  // GL_NEAREST ... GL_LINEAR_MIPMAP_LINEAR
    unsigned magFilter = 0;
    unsigned wrapS = 0, wrapT = 0;
    float maxAnisotropy = 1;
    float lodBias = 0;
    std::uint32_t baseLevel = 0;  // GL_TEXTURE_BASE_LEVEL (mip filter NONE only)
    float minLod = 0;             // GL_TEXTURE_MIN_LOD (mipmapped filters)
};

// Min and mag POINT/LINEAR map one to one (NONE and unknown act as POINT,
// mag ANISOTROPIC as LINEAR); the mip filter NONE samples the base level
// only, POINT and LINEAR pick the nearest level or blend two (ANISOTROPIC
// acts as LINEAR, unknown values as NONE). MAXANISOTROPY applies only with
// an ANISOTROPIC min filter, clamped to 1 .. `driverMaxAnisotropy`.
// MAXMIPLEVEL becomes the base level (NONE) or the smallest level of detail.
GlSampling MapSamplerStates(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states, std::uint32_t levels,
                            float driverMaxAnisotropy);

}  // namespace quillmark::gl
