// Turns the settings into sampler and texture-stage states every frame: the
// stage under test samples the chosen texture, the stages below it pass the
// (white) vertex colour through, the stages above it are disabled.
#pragma once

namespace quillmark {

inline constexpr int kTextureStages = 8;

void ConfigureStages();

}  // namespace quillmark
