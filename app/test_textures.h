// The generated test texture: a 512 × 512, ten-level checkerboard whose
// levels are tinted in distinct colours.
#pragma once

#include "platform/win32/windows.h"

#include <cstdint>

namespace quillmark {

inline constexpr int kMipTextureSize = 512;
inline constexpr int kMipLevels = 10;

// Tint of levels 1 to 9 (index 0 unused: level 0 takes no tint).
inline constexpr std::uint32_t kLevelTints[kMipLevels] = {
    0x000000, 0x7F0000, 0x007F00, 0x00007F, 0x7F007F, 0x007F7F, 0x7F7F00, 0x7F0000, 0x007F00, 0x00007F};

// Exponent of the checker square size on a level for a checkerShift value.
int CheckerSquareShift(int checkerShift, int level);

// Texel value of the generated texture at (x, y) of a level.
std::uint32_t CheckerTexel(int level, int x, int y, int checkerShift, int tintMode);

// Creates mipTexture's levels unfilled (the message box says so on
// failure); S_OK or E_FAIL.
HRESULT CreateMipTexture();

// Releases mipTexture and creates and fills a new one; S_OK or E_FAIL.
HRESULT BuildMipTexture();

}  // namespace quillmark
