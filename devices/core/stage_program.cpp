#include "devices/core/stage_program.h"

#include <algorithm>

namespace quillmark::core {
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

using Lanes = float __attribute__((vector_size(16)));

Lanes ToLanes(const Color4& c) { return Lanes{c.r, c.g, c.b, c.a}; }

Lanes Saturated(Lanes x) {
    const Lanes zero{0, 0, 0, 0}, one{1, 1, 1, 1};
    x = x < zero ? zero : x;
    return x > one ? one : x;
}

// An argument's value; `sources` is indexed by the D3DTA_ selector.
Lanes Fetch(const StageArgument& arg, const Lanes* sources) {
    Lanes c = sources[arg.source];
    if (arg.complement) c = Lanes{1, 1, 1, 1} - c;
    if (arg.alphaReplicate) c = Lanes{c[3], c[3], c[3], c[3]};
    return c;
}

Lanes Combine(DWORD op, Lanes a, Lanes b) {
    switch (op) {
        case D3DTOP_SELECTARG1: return a;
        case D3DTOP_SELECTARG2: return b;
        default: return a * b;
    }
}

}  // namespace

void FoldConstantStages(StageProgram& p);

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
    FoldConstantStages(p);
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

namespace {

// One stage; sources[D3DTA_TEXTURE] must hold the stage's texel.
Lanes RunStep(const StageStep& step, const Lanes* sources) {
    Lanes next = Saturated(Combine(step.colorOp, Fetch(step.color1, sources), Fetch(step.color2, sources)));
    if (step.alphaOp == D3DTOP_DISABLE) {
        next[3] = sources[D3DTA_CURRENT][3];
    } else {
        next[3] = Saturated(Combine(step.alphaOp, Fetch(step.alpha1, sources), Fetch(step.alpha2, sources)))[3];
    }
    return next;
}

bool SamplesTexture(const StageStep& step) { return step.readsTexture && step.hasTexture; }

bool IsPlain(const StageArgument& arg, DWORD source) {
    return arg.source == source && !arg.complement && !arg.alphaReplicate;
}

bool IsTextureTimesCurrent(const StageStep& step) {
    const bool color = step.colorOp == D3DTOP_MODULATE &&
                       ((IsPlain(step.color1, D3DTA_TEXTURE) && IsPlain(step.color2, D3DTA_CURRENT)) ||
                        (IsPlain(step.color1, D3DTA_CURRENT) && IsPlain(step.color2, D3DTA_TEXTURE)));
    const bool alpha = (step.alphaOp == D3DTOP_MODULATE &&
                        ((IsPlain(step.alpha1, D3DTA_TEXTURE) && IsPlain(step.alpha2, D3DTA_CURRENT)) ||
                         (IsPlain(step.alpha1, D3DTA_CURRENT) && IsPlain(step.alpha2, D3DTA_TEXTURE)))) ||
                       (step.alphaOp == D3DTOP_SELECTARG1 && IsPlain(step.alpha1, D3DTA_TEXTURE));
    return SamplesTexture(step) && color && alpha;
}

}  // namespace

void FoldConstantStages(StageProgram& p) {
    // Indexed by D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_TFACTOR.
    Lanes sources[4] = {ToLanes(p.diffuse), ToLanes(p.diffuse), ToLanes(kMissingTexture), ToLanes(p.textureFactor)};
    p.start = 0;
    while (p.start < p.count && !SamplesTexture(p.steps[p.start])) sources[D3DTA_CURRENT] = RunStep(p.steps[p.start++], sources);
    const Lanes& current = sources[D3DTA_CURRENT];
    p.startCurrent = {current[0], current[1], current[2], current[3]};
    p.textureTimesWhite = p.start + 1 == p.count && IsTextureTimesCurrent(p.steps[p.start]) &&
                          p.startCurrent.r == 1.0f && p.startCurrent.g == 1.0f && p.startCurrent.b == 1.0f;
}

Color4 RunAllStages(const StageProgram& p, const Color4* texels) {
    Lanes sources[4] = {ToLanes(p.diffuse), ToLanes(p.startCurrent), ToLanes(kMissingTexture), ToLanes(p.textureFactor)};
    for (std::uint32_t s = p.start; s < p.count; ++s) {
        const StageStep& step = p.steps[s];
        sources[D3DTA_TEXTURE] = SamplesTexture(step) ? ToLanes(texels[s]) : ToLanes(kMissingTexture);
        sources[D3DTA_CURRENT] = RunStep(step, sources);
    }
    const Lanes& result = sources[D3DTA_CURRENT];
    return {result[0], result[1], result[2], result[3]};
}

}  // namespace quillmark::core
