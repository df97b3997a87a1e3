// The quick probe of one pixel's footprint: which texels of which levels of
// the generated texture reach one screen pixel, and with what weight. Like
// the texel analysis it draws the scene with a black texture in which a few
// texels are marked in pure red, green or blue, but it reads only the one
// pixel: first each whole level is marked (the pixel's colour then tells how
// much of it each level makes up), then, on every level that reached the
// pixel, the texels around the footprint the scene's geometry predicts, three
// per frame, the box growing until it holds the level's whole weight.
#pragma once

#include "app/lod_ideal.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillmark {
class Probe;

// One texel that reached the pixel and its share of the pixel's colour
// (0 .. 1, to 1/255).
struct TexelWeight {
    int level = 0;
    int x = 0, y = 0;  // within the level, 0 .. size - 1
    double weight = 0;
};

// A mark of one probe frame: one texel of a level, or the whole level.
struct TexelMark {
    int level = 0;
    int x = 0, y = 0;
    bool wholeLevel = false;
};

// Draws the scene with up to three marks (the first red, the second green,
// the third blue; every other texel black) and returns the pixel's colour
// (0x00RRGGBB); nothing when the frame cannot be drawn.
using MarkedPixelReader = std::function<std::optional<std::uint32_t>(const std::vector<TexelMark>& marks)>;

// The generated texture's shape: the levels and the size of level 0.
struct TextureShape {
    int levels = 0;
    int size = 0;
    int LevelSize(int level) const { return std::max(1, size >> level); }
};

// Where the geometry says the pixel samples: its texture coordinates in
// texels of level 0 and the footprint of one pixel step.
struct FootprintGuess {
    double u = 0, v = 0;
    Footprint footprint{};
};

struct ProbedFootprint {
    std::vector<double> levelWeights;  // per level, its share of the pixel's colour
    std::vector<TexelWeight> texels;   // every texel found with a weight above 0, by level
    int frames = 0;                    // frames drawn
    // Each level's texels hold its whole weight (within the frames'
    // rounding); false when the frame budget ran out first.
    bool complete = true;
};

// Frames one probe may draw before it gives up on finding the rest (the
// level pass's frames come on top).
inline constexpr int kProbeFrameBudget = 1500;

// Probes one pixel through `read`; nothing when a frame cannot be drawn.
std::optional<ProbedFootprint> ProbeFootprint(const TextureShape& shape, const FootprintGuess& guess,
                                              const MarkedPixelReader& read);

// The level blend the weights show: the weighted mean of the levels that
// reached the pixel; nothing when none did.
std::optional<double> MeasuredLevel(const ProbedFootprint& probed);

// What the inspector shows of one pixel of the main window.
struct PixelInspection {
    int x = 0, y = 0;
    std::optional<PixelTexture> at;  // the geometry's prediction; nothing where the scene misses the pixel
    std::optional<LodBand> ideal;    // λ and its allowed band, from the footprint and the settings
    std::optional<double> idealLevel;  // the level the mip rule reads for the ideal λ, within the texture's levels
    int idealProbes = 1;             // probes the rules take for the footprint (IdealProbeCount)
    ProbedFootprint probed;
    TextureShape shape;
};

// The quick probe on the probe's device and settings (the generated texture
// is sampled, as in the analysis, and put back afterwards); false with the
// reason in *error.
bool InspectPixel(Probe& probe, int x, int y, PixelInspection* out, std::string* error);

}  // namespace quillmark
