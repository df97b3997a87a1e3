// "quillmark compare --device A --device B [settings] [-o DIR] [--analyze]
// [--json]": the same frame (and optionally the same analysis) on two
// devices, and how far their choices of mip level agree pixel by pixel.
#pragma once

#include <cstdint>
#include <vector>

namespace quillmark::batch {

// The solid colour the level-choice frame gives mip level l: ten colours
// far apart from each other and from the black background.
std::uint32_t LevelMarkColor(int level);

// The level whose mark colour the pixel shows, or -1 (background, or a
// colour near none of them).
int LevelOfPixel(std::uint32_t pixel);

// How often two devices chose one level: pixels showing it on A, on B, on
// both; share = both / pixels showing it on either (1 when on neither).
struct LevelAgreement {
    int pixelsA = 0;
    int pixelsB = 0;
    int same = 0;
    double Share() const;
};

// Per level, from the two frames' levels per pixel (LevelOfPixel).
std::vector<LevelAgreement> CompareLevels(const std::vector<int>& a, const std::vector<int>& b);

}  // namespace quillmark::batch
