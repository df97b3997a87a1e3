// The λ meter's level encoding: the colours that make a frame show, at every
// pixel, the level of detail the device used.
//
// Every mip level of the texture is one flat colour, so filtering inside a
// level changes nothing and, under a linear mip filter, the colour drawn is
// linear in λ between the two neighbouring levels. Blue is 255 everywhere
// (the pixels the texture reached). In the first frame red is a ramp over
// the levels (the coarse λ) and green alternates between 0 and 255 from level
// to level (the fraction of a level, to about 1/255, but the same on both
// sides of a level). In the second frame green alternates the other way (a
// device that truncates rather than rounds is then read at the middle of
// its step) and red follows 0, 255, 255, 0, ... which is flat on one side of
// every level and steep on the other, so it tells on which side λ lies.
#pragma once

#include <cstdint>

namespace quillmark {

inline constexpr int kLodFrames = 2;

// Colour (0x00RRGGBB) of mip level `level` (0 .. lastLevel, lastLevel ≤ 9)
// in frame 0 or 1 of the measurement.
std::uint32_t LodLevelColour(int frame, int level);

// What the two frames say about one pixel.
struct MeasuredLod {
    bool covered = false;  // the texture reached the pixel in both frames
    double lambda = 0.0;   // the level of detail used, in [0, lastLevel]
};

// Decodes one pixel from its colour in frame 0 and in frame 1.
MeasuredLod DecodeLod(std::uint32_t first, std::uint32_t second, int lastLevel);

}  // namespace quillmark
