// The texture stages as one small program per draw: which stages run, what
// each combines, and which of them read their texture.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "devices/core/device_state.h"
#include "devices/core/color.h"

namespace quillmark::core {

struct StageArgument {
    std::uint8_t source = 0;  // D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_TFACTOR
    bool complement = false;
    bool alphaReplicate = false;
};

struct StageStep {
    DWORD colorOp = D3DTOP_DISABLE;
    DWORD alphaOp = D3DTOP_DISABLE;
    StageArgument color1, color2, alpha1, alpha2;
    bool readsTexture = false;
    bool hasTexture = false;
};

struct StageProgram {
    std::array<StageStep, kStageCount> steps{};
    std::uint32_t count = 0;  // stages before the first disabled colour operation
    // The stages before `start` read no texture, so their result is the same
    // for every pixel: `startCurrent`.
    std::uint32_t start = 0;
    Color4 startCurrent{1, 1, 1, 1};
    // The common case, computed without the general stage loop: one
    // remaining stage that modulates its texture with a white CURRENT
    // (colour) and modulates or selects the texture's alpha.
    bool textureTimesWhite = false;
    Color4 diffuse{1, 1, 1, 1};
    Color4 textureFactor{1, 1, 1, 1};
};

// Builds the program from the stage states; false for an operation or
// argument the device does not implement. `bound[s]` tells whether stage s
// has a texture.
bool BuildStageProgram(const DeviceState& state, const std::array<bool, kStageCount>& bound, StageProgram* out);

// The diffuse colour of every vertex: the lit emissive (and ambient)
// material when lighting is on (no lights are implemented), else white.
Color4 VertexDiffuse(const DeviceState& state);

// Runs the stages from `start` for one pixel, without the white-modulation shortcut.
Color4 RunAllStages(const StageProgram& program, const Color4* texels);

inline float Saturate(float x) { return std::clamp(x, 0.0f, 1.0f); }

// Runs the stages for one pixel; `texels[s]` is stage s's filtered texture.
// Inline, as it runs for every pixel drawn.
inline Color4 RunStages(const StageProgram& p, const Color4* texels) {
    if (!p.textureTimesWhite) return RunAllStages(p, texels);
    const Color4& t = texels[p.start];
    const float alpha = p.steps[p.start].alphaOp == D3DTOP_MODULATE ? t.a * p.startCurrent.a : t.a;
    return {Saturate(t.r), Saturate(t.g), Saturate(t.b), Saturate(alpha)};
}

}  // namespace quillmark::core
