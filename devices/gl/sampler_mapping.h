// A draw plan's sampler description as OpenGL sampler-object parameters.
#pragma once

#include <array>

#include "devices/core/draw_plan.h"

namespace quillmark::gl {

struct GlSampling {
    unsigned minFilter = 0;  // GL_NEAREST ... GL_LINEAR_MIPMAP_LINEAR
    unsigned magFilter = 0;
    unsigned wrapS = 0, wrapT = 0;
    float maxAnisotropy = 1;
    float lodBias = 0;
    float minLod = 0, maxLod = 0;
    std::array<float, 4> borderColor{};  // red, green, blue, alpha
};

// Min and mag POINT/LINEAR map one to one; the mip filter POINT and LINEAR
// pick the nearest level or blend two. The maximum anisotropy applies to
// anisotropic minification only. The first level m (MAXMIPLEVEL) clamps
// the level of detail from below (MIN_LOD = m); with the mip filter NONE
// level m alone is sampled (MIN_LOD = MAX_LOD = m; without a mip filter for
// m = 0). The LOD bias goes as it is (the driver clamps it to its
// MAX_TEXTURE_LOD_BIAS, 16 on Mesa). WRAP, MIRROR, CLAMP, BORDER (with the
// border colour) and MIRRORONCE address the texture as in Direct3D 9.
GlSampling MapSampler(const core::SamplerDescription& sampler);

}  // namespace quillmark::gl
