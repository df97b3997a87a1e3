#include "devices/vulkan/stage_constants.h"

namespace quillmark::vulkan {
namespace {

using core::StageArgument;

constexpr std::uint32_t kAlphaDisabled = 3;
constexpr std::uint32_t kSetShift = 20;
constexpr std::uint32_t kProjected = 1u << 24;

std::uint32_t Operation(DWORD op) {
    switch (op) {
        case D3DTOP_SELECTARG1: return 0;
        case D3DTOP_SELECTARG2: return 1;
        case D3DTOP_DISABLE: return kAlphaDisabled;
        default: return 2;  // MODULATE, the one other operation a stage program holds
    }
}

std::uint32_t Source(std::uint8_t source) {
    switch (source) {
        case D3DTA_DIFFUSE: return 0;
        case D3DTA_TEXTURE: return 2;
        case D3DTA_TFACTOR: return 3;
        default: return 1;  // CURRENT
    }
}

std::uint32_t Argument(const StageArgument& a) {
    return Source(a.source) | (a.complement ? 4u : 0u) | (a.alphaReplicate ? 8u : 0u);
}

}  // namespace

StageConstants PackStages(const core::StageProgram& program,
                          const std::array<int, core::kStageCount>& coordinateSet,
                          const std::array<bool, core::kStageCount>& projected) {
    StageConstants out;
    out.start = program.start;
    out.count = program.count;
    for (std::uint32_t s = program.start; s < program.count; ++s) {
        const core::StageStep& step = program.steps[s];
        std::uint32_t word = Operation(step.colorOp) | Operation(step.alphaOp) << 2 | Argument(step.color1) << 4 |
                             Argument(step.color2) << 8 | Argument(step.alpha1) << 12 | Argument(step.alpha2) << 16;
        if (coordinateSet[s] >= 0)
            word |= std::uint32_t(coordinateSet[s] + 1) << kSetShift;
        if (projected[s])
            word |= kProjected;
        out.stages[s] = word;
    }
    return out;
}

}  // namespace quillmark::vulkan
