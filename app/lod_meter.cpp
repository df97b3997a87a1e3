#include "app/lod_meter.h"

#include <algorithm>
#include <cmath>

namespace quillmark {
namespace {

constexpr int kRampStep = 28;       // red of the first frame per level: 9 levels span 0 .. 252
constexpr int kFull = 255;
constexpr int kCoveredBlue = 128;   // blue at least this: the texture reached the pixel
constexpr int kSidePattern[4] = {0, kFull, kFull, 0};  // red of the second frame, level by level

int Channel(std::uint32_t pixel, int shift) { return int((pixel >> shift) & 0xFF); }

int Alternation(int frame, int level) { return ((level & 1) != 0) != (frame == 1) ? kFull : 0; }

// The red of the second frame at λ, between the pattern's levels.
double SideRed(double lambda) {
    const int level = int(std::floor(lambda));
    const double a = kSidePattern[level & 3], b = kSidePattern[(level + 1) & 3];
    return a + (b - a) * (lambda - level);
}

}  // namespace

std::uint32_t LodLevelColour(int frame, int level) {
    const int red = frame == 0 ? level * kRampStep : kSidePattern[level & 3];
    return std::uint32_t(red) << 16 | std::uint32_t(Alternation(frame, level)) << 8 | std::uint32_t(kFull);
}

MeasuredLod DecodeLod(std::uint32_t first, std::uint32_t second, int lastLevel) {
    MeasuredLod out;
    out.covered = Channel(first, 0) >= kCoveredBlue && Channel(second, 0) >= kCoveredBlue;
    if (!out.covered) return out;
    const double ramp = Channel(first, 16), side = Channel(second, 16);
    // The share of the odd level in the blend, from both frames.
    const double odd = (Channel(first, 8) + (kFull - Channel(second, 8))) / (2.0 * kFull);
    // Between an even level l and l + 1 the share is frac(λ); between an odd
    // level and the next it is 1 - frac(λ). Of the readings this allows near
    // the ramp's, the one whose red in both frames fits best.
    double best = 0.0, bestMisfit = HUGE_VAL;
    const int around = int(std::floor(ramp / kRampStep));
    for (int level = std::max(0, around - 1); level <= std::min(lastLevel - 1, around + 1); ++level) {
        const double lambda = (level & 1) == 0 ? level + odd : level + 1 - odd;
        const double rampMisfit = ramp - lambda * kRampStep, sideMisfit = side - SideRed(lambda);
        const double misfit = rampMisfit * rampMisfit + sideMisfit * sideMisfit;
        if (misfit < bestMisfit) {
            bestMisfit = misfit;
            best = lambda;
        }
    }
    out.lambda = std::clamp(best, 0.0, double(lastLevel));
    return out;
}

}  // namespace quillmark
