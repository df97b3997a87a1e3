// Frames drawn for measuring rather than for looking at: the back buffer read
// into memory, and the scene drawn with every mip level of the generated
// texture one flat colour (the level-choice frames of "compare" and the
// λ meter's frames of "lod").
#pragma once

#include "platform/win32/windows.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace quillmark {
class Probe;
}

namespace quillmark::batch {

// The back buffer's pixels, row by row (the window's size); empty when it
// cannot be read.
std::vector<std::uint32_t> BackBufferPixels();

// Writes pixels of the window's size as a BMP file through the library's
// writer; false when it cannot.
bool WritePixels(const std::filesystem::path& path, const std::vector<std::uint32_t>& pixels);

// Fills texel (x, y) of level l of the generated texture with colour(l, x, y)
// (0x00RRGGBB); false when it cannot be written. BuildMipTexture puts the
// test texture back.
bool FillGeneratedTexture(const std::function<std::uint32_t(int level, int x, int y)>& colour);

// Draws the scene with level l of the generated texture filled with
// colour(l) (0x00RRGGBB) and, when given, the mip filter `mipFilter` instead
// of the user's; *frame gets the back buffer. The generated texture (also
// when a texture file is in use), the mip filter and the screen are put back
// afterwards. False when a frame could not be drawn.
bool DrawLevelColouredFrame(Probe& probe, const std::function<std::uint32_t(int level)>& colour,
                            std::optional<DWORD> mipFilter,
                            std::vector<std::uint32_t>* frame);

// Draws the scene of the settings in use, which must sample the generated
// texture, with level l of it filled with colour(l), and reads the back
// buffer into *frame; at once, without handling a message (the desktop
// window measures between its messages, and what the user does meanwhile
// waits in the queue). The caller puts the texture back (BuildMipTexture).
bool DrawLevelColouredFrameNow(const std::function<std::uint32_t(int level)>& colour,
                               std::vector<std::uint32_t>* frame);

// The same with texel (x, y) of level l filled with colour(l, x, y).
bool DrawTexelColouredFrame(Probe& probe, const std::function<std::uint32_t(int level, int x, int y)>& colour,
                            std::optional<DWORD> mipFilter, std::vector<std::uint32_t>* frame);

}  // namespace quillmark::batch
