// The experiments of "quillmark explain", drawn on the probe's device: each
// one a scene, a texture and sampler states chosen so that one property of
// the sampler alone changes what is read back (docs/explain.md).
#pragma once

#include "app/lod_ideal.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmark {
class Probe;
}

namespace quillmark::explain {

// The sampler states of one experiment on the tunnel (no bias, no rotation).
struct Setup {
    int minFilter = 2;  // D3DTEXF_LINEAR
    int mipFilter = 2;
    int maxAnisotropy = 1;
    int stage = 0;
};

// The λ meter's two frames under a setup: the level read per pixel (nothing
// where the texture did not reach it), the footprints of the same pixels,
// and the first frame as drawn (its green is the blend weight of two levels).
struct LevelReading {
    int width = 0, height = 0, lastLevel = 0;
    std::vector<std::optional<double>> measured;
    std::vector<PixelFootprint> footprints;
    std::vector<std::uint32_t> first;
};

// Draws and reads the λ meter's frames under `setup`; false with the reason.
bool ReadLevels(Probe& probe, const Setup& setup, LevelReading* out, std::string* error);

// The two-texel ramp: level 0's texels alternate black and full red from
// column to column (and green from row to row), the mip filter is off, the
// filters linear, so a pixel's red is 255 times a bilinear weight.
bool DrawRamp(Probe& probe, std::vector<std::uint32_t>* frame, std::string* error);

// The scene with the generated texture under `setup`, as the user sees it.
bool DrawTextured(Probe& probe, const Setup& setup, std::vector<std::uint32_t>* frame, std::string* error);

// The last stage the device lets the probe test (0 .. 7).
int LastStage();

}  // namespace quillmark::explain
