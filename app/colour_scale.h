// The colour scales of the figures: a perceptual sequential scale (for λ and
// hit counts) and a diverging one (for errors), both readable with the common
// forms of colour blindness, and the colour bar that explains either.
#pragma once

#include "app/picture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillmark {

// Sequential scale, t from 0 (dark blue-violet) to 1 (yellow); lightness
// grows steadily along it. t outside [0, 1] is clamped.
std::uint32_t SequentialColour(double t);

// Diverging scale, t from -1 (dark blue) through 0 (near white) to +1 (dark
// red). t outside [-1, 1] is clamped.
std::uint32_t DivergingColour(double t);

// A labelled mark along a colour bar: position 0 at the bar's bottom, 1 at its top.
struct ScaleTick {
    double position;
    std::string label;
};

// A vertical colour bar `height` pixels tall for a scale given as a function
// of the position along it (0 bottom, 1 top), with tick marks and labels on
// its right and the title above it.
Picture ColourBar(std::uint32_t (*colour)(double position), const std::vector<ScaleTick>& ticks,
                  const std::string& title, int height);

// Ticks of a logarithmic count axis from 0 to `maximum` (position
// log(1 + n) / log(1 + maximum)): 0, the powers of ten below the maximum and
// the maximum itself.
std::vector<ScaleTick> LogCountTicks(int maximum);

// The two pictures side by side, tops aligned, with a margin between them.
Picture SideBySide(const Picture& left, const Picture& right, std::uint32_t background);

// Background and text colours of every figure.
inline constexpr std::uint32_t kFigureBackground = 0xFFFFFF;
inline constexpr std::uint32_t kFigureInk = 0x202020;

}  // namespace quillmark
