#include "devices/gl/sampler_mapping.h"

#include <algorithm>
#include <bit>

#include "devices/gl/gl_api.h"

namespace quillmark::gl {
namespace {

constexpr float kUnboundedLod = 1000.0f;  // OpenGL's initial MAX_LOD

bool Address(DWORD mode, const GlSamplerSupport& support, unsigned* wrap) {
    switch (mode) {
        case D3DTADDRESS_MIRROR: *wrap = GL_MIRRORED_REPEAT; return true;
        case D3DTADDRESS_CLAMP: *wrap = GL_CLAMP_TO_EDGE; return true;
        case D3DTADDRESS_BORDER: *wrap = GL_CLAMP_TO_BORDER; return true;
        case D3DTADDRESS_MIRRORONCE: *wrap = GL_MIRROR_CLAMP_TO_EDGE; return support.mirrorClampToEdge;
        default: *wrap = GL_REPEAT; return true;  // WRAP, and unknown modes as on the reference device
    }
}

bool Linear(DWORD filter) { return filter == D3DTEXF_LINEAR || filter == D3DTEXF_ANISOTROPIC; }

// D3DCOLOR (A8R8G8B8) as OpenGL's red, green, blue, alpha.
std::array<float, 4> ColorOf(DWORD argb) {
    auto channel = [argb](int shift) { return float((argb >> shift) & 0xFF) / 255.0f; };
    return {channel(16), channel(8), channel(0), channel(24)};
}

}  // namespace

bool MapSamplerStates(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states, std::uint32_t levels,
                      const GlSamplerSupport& support, GlSampling* out) {
    const bool minLinear = Linear(states[D3DSAMP_MINFILTER]);
    const DWORD mip = states[D3DSAMP_MIPFILTER];
    const std::uint32_t first = std::min<std::uint32_t>(states[D3DSAMP_MAXMIPLEVEL], levels - 1);
    out->minLod = float(first);
    out->maxLod = kUnboundedLod;
    if (mip == D3DTEXF_POINT) {
        out->minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    } else if (mip == D3DTEXF_LINEAR || mip == D3DTEXF_ANISOTROPIC) {
        out->minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    } else if (first == 0) {
        out->minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
    } else {
        out->minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        out->maxLod = float(first);
    }
    out->magFilter = Linear(states[D3DSAMP_MAGFILTER]) ? GL_LINEAR : GL_NEAREST;
    out->maxAnisotropy = 1;
    if (states[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC)
        out->maxAnisotropy =
            std::clamp(float(states[D3DSAMP_MAXANISOTROPY]), 1.0f, std::max(1.0f, support.maxAnisotropy));
    out->lodBias = std::bit_cast<float>(states[D3DSAMP_MIPMAPLODBIAS]);
    out->borderColor = ColorOf(states[D3DSAMP_BORDERCOLOR]);
    return Address(states[D3DSAMP_ADDRESSU], support, &out->wrapS) &&
           Address(states[D3DSAMP_ADDRESSV], support, &out->wrapT);
}

}  // namespace quillmark::gl
