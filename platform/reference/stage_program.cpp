#include "stage_program.h"

#include <algorithm>

namespace quillmark::reference {
namespace {

constexpr Color4 kMissingTexture{0, 0, 0, 1};

bool ReadArgument(DWORD value, StageArgument* out) {
    const DWORD source = value & D3DTA_SELECTMASK;
    if (value & ~DWORD{D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE}) return false;
    if (source != D3DTA_DIFFUSE && source != D3DTA_CURRENT && source != D3DTA_TEXTURE && source != D3DTA_TFACTOR)
        return false;
    *out = {std::uint8_t(source), (value & D3DTA_COMPLEMENT) != 0, (value & D3DTA_ALPHAREPLICATE) != 0};
    return true;
}

bool KnownOp(DWORD op) {
    return op == D3DTOP_DISABLE || op == D3DTOP_SELECTARG1 || op == D3DTOP_SELECTARG2 || op == D3DTOP_MODULATE;
}

bool UsesArg1(DWORD op) { return op == D3DTOP_SELECTARG1 || op == D3DTOP_MODULATE; }
bool UsesArg2(DWORD op) { return op == D3DTOP_SELECTARG2 || op == D3DTOP_MODULATE; }

Color4 FromD3DColor(DWORD c) {
    return {float((c >> 16) & 0xFF) / 255.0f, float((c >> 8) & 0xFF) / 255.0f, float(c & 0xFF) / 255.0f,
            float(c >> 24) / 255.0f};
}

float Saturate(float x) { return std::clamp(x, 0.0f, 1.0f); }

Color4 Fetch(const StageArgument& arg, const StageProgram& p, const Color4& current, const Color4& texel) {
    Color4 c = arg.source == D3DTA_TEXTURE   ? texel
               : arg.source == D3DTA_CURRENT ? current
               : arg.source == D3DTA_TFACTOR ? p.textureFactor
                                             : p.diffuse;
    if (arg.complement) c = {1 - c.r, 1 - c.g, 1 - c.b, 1 - c.a};
    if (arg.alphaReplicate) c = {c.a, c.a, c.a, c.a};
    return c;
}

float Combine(DWORD op, float a, float b) {
    switch (op) {
        case D3DTOP_SELECTARG1: return a;
        case D3DTOP_SELECTARG2: return b;
        default: return a * b;
    }
}

}  // namespace

bool BuildStageProgram(const DeviceState& state, const std::array<bool, kStageCount>& bound, StageProgram* out) {
    StageProgram p;
    for (std::uint32_t s = 0; s < kStageCount; ++s) {
        const auto& ts = state.stageStates[s];
        StageStep& step = p.steps[s];
        step.colorOp = ts[D3DTSS_COLOROP];
        step.alphaOp = ts[D3DTSS_ALPHAOP];
        if (step.colorOp == D3DTOP_DISABLE) break;
        if (!KnownOp(step.colorOp) || !KnownOp(step.alphaOp) || ts[D3DTSS_RESULTARG] != D3DTA_CURRENT) return false;
        if (!ReadArgument(ts[D3DTSS_COLORARG1], &step.color1) || !ReadArgument(ts[D3DTSS_COLORARG2], &step.color2) ||
            !ReadArgument(ts[D3DTSS_ALPHAARG1], &step.alpha1) || !ReadArgument(ts[D3DTSS_ALPHAARG2], &step.alpha2))
            return false;
        step.readsTexture = (UsesArg1(step.colorOp) && step.color1.source == D3DTA_TEXTURE) ||
                            (UsesArg2(step.colorOp) && step.color2.source == D3DTA_TEXTURE) ||
                            (UsesArg1(step.alphaOp) && step.alpha1.source == D3DTA_TEXTURE) ||
                            (UsesArg2(step.alphaOp) && step.alpha2.source == D3DTA_TEXTURE);
        step.hasTexture = bound[s];
        p.count = s + 1;
    }
    p.diffuse = VertexDiffuse(state);
    p.textureFactor = FromD3DColor(state.renderStates[D3DRS_TEXTUREFACTOR]);
    *out = p;
    return true;
}

Color4 VertexDiffuse(const DeviceState& state) {
    if (!state.renderStates[D3DRS_LIGHTING]) return {1, 1, 1, 1};
    const D3DMATERIAL9& m = state.material;
    const Color4 ambient = FromD3DColor(state.renderStates[D3DRS_AMBIENT]);
    return {Saturate(m.Emissive.r + m.Ambient.r * ambient.r), Saturate(m.Emissive.g + m.Ambient.g * ambient.g),
            Saturate(m.Emissive.b + m.Ambient.b * ambient.b), Saturate(m.Diffuse.a)};
}

Color4 RunStages(const StageProgram& p, const Color4* texels) {
    Color4 current = p.diffuse;
    for (std::uint32_t s = 0; s < p.count; ++s) {
        const StageStep& step = p.steps[s];
        const Color4 texel = step.readsTexture && step.hasTexture ? texels[s] : kMissingTexture;
        const Color4 c1 = Fetch(step.color1, p, current, texel);
        const Color4 c2 = Fetch(step.color2, p, current, texel);
        Color4 next{Saturate(Combine(step.colorOp, c1.r, c2.r)), Saturate(Combine(step.colorOp, c1.g, c2.g)),
                    Saturate(Combine(step.colorOp, c1.b, c2.b)), current.a};
        if (step.alphaOp != D3DTOP_DISABLE) {
            const float a1 = Fetch(step.alpha1, p, current, texel).a;
            const float a2 = Fetch(step.alpha2, p, current, texel).a;
            next.a = Saturate(Combine(step.alphaOp, a1, a2));
        }
        current = next;
    }
    return current;
}

}  // namespace quillmark::reference
