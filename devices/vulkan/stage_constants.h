// The texture stages of one draw as the specialisation constants of the
// stage shaders (shaders/stages.frag): one word per stage, then the first
// and the end of the stages that run.
#pragma once

#include <array>
#include <cstdint>

#include "devices/core/stage_program.h"

namespace quillmark::vulkan {

// Per stage: bits 0-1 the colour operation (0 SELECTARG1, 1 SELECTARG2,
// 2 MODULATE), bits 2-3 the alpha operation (the same, 3 DISABLE), four
// bits per argument from bit 4 (colour 1, colour 2, alpha 1, alpha 2: the
// source, 0 DIFFUSE, 1 CURRENT, 2 TEXTURE, 3 TFACTOR, then COMPLEMENT and
// ALPHAREPLICATE), bits 20-23 the coordinate set + 1 (0: nothing sampled)
// and bit 24 whether q divides the coordinates.
struct StageConstants {
    std::array<std::uint32_t, core::kStageCount> stages{};
    std::uint32_t start = 0;
    std::uint32_t count = 0;
};
inline constexpr std::uint32_t kStageConstantCount = core::kStageCount + 2;

// `coordinateSet[s]`: the set stage s samples with, -1 for none.
StageConstants PackStages(const core::StageProgram& program,
                          const std::array<int, core::kStageCount>& coordinateSet,
                          const std::array<bool, core::kStageCount>& projected);

}  // namespace quillmark::vulkan
