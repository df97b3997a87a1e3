#include "sampler_mapping.h"

#include <algorithm>
#include <bit>

#include "gl_api.h"

namespace quillmark::gl {
namespace {

GLenum Address(DWORD mode) {
    switch (mode) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
        default: return GL_REPEAT;  // BORDER, MIRRORONCE and unknown act as WRAP, as on the reference device
    }
}

bool Linear(DWORD filter) { return filter == D3DTEXF_LINEAR || filter == D3DTEXF_ANISOTROPIC; }

}  // namespace

GlSampling MapSamplerStates(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states, std::uint32_t levels,
                            float driverMaxAnisotropy) {
    GlSampling out;
    const bool minLinear = Linear(states[D3DSAMP_MINFILTER]);
    const DWORD mip = states[D3DSAMP_MIPFILTER];
    const std::uint32_t base = std::min<std::uint32_t>(states[D3DSAMP_MAXMIPLEVEL], levels - 1);
    if (mip == D3DTEXF_POINT) {
        out.minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        out.minLod = float(base);
    } else if (mip == D3DTEXF_LINEAR || mip == D3DTEXF_ANISOTROPIC) {
        out.minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        out.minLod = float(base);
    } else {
        out.minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
        out.baseLevel = base;
    }
    out.magFilter = Linear(states[D3DSAMP_MAGFILTER]) ? GL_LINEAR : GL_NEAREST;
    out.wrapS = Address(states[D3DSAMP_ADDRESSU]);
    out.wrapT = Address(states[D3DSAMP_ADDRESSV]);
    if (states[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC)
        out.maxAnisotropy = std::clamp(float(states[D3DSAMP_MAXANISOTROPY]), 1.0f, std::max(1.0f, driverMaxAnisotropy));
    out.lodBias = std::bit_cast<float>(states[D3DSAMP_MIPMAPLODBIAS]);
    return out;
}

}  // namespace quillmark::gl
