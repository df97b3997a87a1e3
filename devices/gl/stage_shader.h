// The fixed-function texture stages as OpenGL shaders: one pair of shaders
// per stage configuration, generated from the device's stage program.
#pragma once

#include <array>
#include <string>

#include "devices/core/stage_program.h"

namespace quillmark::gl {

// What shapes the shaders of one draw: the stage program's operations and
// arguments, and per sampling stage the vertex attribute holding its (s, t, q)
// coordinates (-1: the stage samples nothing) and whether q divides them.
struct StageShaderKey {
    const core::StageProgram* program = nullptr;
    std::array<int, core::kStageCount> coordinateSet{};
    std::array<bool, core::kStageCount> projected{};
};

struct StageShaderSource {
    std::string vertex;
    std::string fragment;
    std::string key;  // equal for equal shaders
};

// Vertex attribute 0 is the clip-space position; attribute 1 + k the
// coordinates of set k. Uniforms: `diffuse`, `textureFactor`,
// `startCurrent` (vec4) and sampler `stageTextureS` for each sampling stage.
StageShaderSource GenerateStageShaders(const StageShaderKey& key, int coordinateSets);

}  // namespace quillmark::gl
