// Read-back of each frame of an analysis run: the back buffer is locked once
// per frame; in a row or column pass each pixel's colours extend the range of
// marked rows or columns it saw (from which the pass's period is taken), in a
// cell pass each coloured channel is one hit, counted per pixel and plotted;
// once the run is done the back buffer is overwritten with a heat map of the
// hits per pixel.
//
// A frame's classification waits until the frame has been presented: ReadBack
// keeps a copy of the pixels, which the run applies or drops (analysis.h,
// SettleLastFrame) when it knows how Present went.
#pragma once

#include <cstdint>

namespace quillmark {

// 32-bit X8R8G8B8 pixels, rows `pitch` bytes apart.
struct PixelView {
    std::uint8_t* bits;
    int pitch;
    int width;
    int height;
};

// Channel masks of a back-buffer pixel and the cell each one belongs to,
// relative to `phase` as left by the frame's marking step.
inline constexpr std::uint32_t kRedMask = 0x00FF0000;
inline constexpr std::uint32_t kGreenMask = 0x0000FF00;
inline constexpr std::uint32_t kBlueMask = 0x000000FF;

// Reads the back buffer of the frame just drawn (after EndScene, before
// Present). A back buffer that is not 32 bits per pixel or not the window's
// size cannot be classified and is left alone.
void ReadBack();

// Row and column passes: extends every pixel's (first, last) range and spanMax.
void MeasureSpans(const PixelView& frame);

// Cell passes: one hit per coloured channel, counted in hitCounts (each
// counter stops at 65 535 rather than wrap) and maxHits, hitTotal and the
// texel sum (64-bit).
void RecordHits(const PixelView& frame);

// One hit at back-buffer pixel (x, y) on the level under analysis.
void RecordHit(int x, int y);

// Overwrites the frame with the heat map of hitCounts: red where no marked
// texel arrived, green where the most did.
void DrawHeatMap(const PixelView& frame);

// The copy of the frame read back last: applied (measured or counted) once
// the frame was presented, dropped when it was lost.
void ApplyHeldFrame();
void DropHeldFrame();

}  // namespace quillmark
