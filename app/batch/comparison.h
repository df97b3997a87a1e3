// Two runs compared: the same frame on two devices (or the same device at
// two times), pixel by pixel and by the mip level each pixel chose. Used by
// "compare" and "gallery".
#pragma once

#include "app/batch/analyze_command.h"
#include "app/batch/lod_command.h"
#include "app/picture.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillmark::batch {

// The solid colour the level-choice frame gives mip level l: ten colours
// far apart from each other and from the black background.
std::uint32_t LevelMarkColor(int level);

// The level whose mark colour the pixel shows, or -1 (background, or a
// colour near none of them).
int LevelOfPixel(std::uint32_t pixel);

// How often two devices chose one level: pixels showing it on A, on B, on
// both; Share() = both / pixels showing it on either, nothing when neither
// device chose the level anywhere.
struct LevelAgreement {
    int pixelsA = 0;
    int pixelsB = 0;
    int same = 0;
    std::optional<double> Share() const;
};

// Tolerances, in 1/255 per channel, at which two frames are compared.
inline constexpr std::array<int, 4> kFrameTolerances = {0, 1, 2, 8};

// Of `pixels`, how many have every channel within each tolerance.
struct FrameAgreement {
    int pixels = 0;
    std::array<int, kFrameTolerances.size()> within{};
    std::optional<double> Within(std::size_t tolerance) const;  // a share; nothing for no pixels
};

FrameAgreement CompareFrames(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b);

// Each channel's absolute difference, amplified kDifferenceGain times.
inline constexpr int kDifferenceGain = 4;
std::vector<std::uint32_t> DifferenceImage(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b);

// Where the frames differ at all: red where any channel differs, white
// where every channel is equal (a difference of 1/255 shows as plainly as
// one of 255).
inline constexpr std::uint32_t kDifferingColour = 0xFF0000, kEqualColour = 0xFFFFFF;
std::vector<std::uint32_t> DifferingPixels(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b);

// What one device produced, kept when its probe closes.
struct CompareRun {
    std::string name;
    std::string fileName;  // the name as it goes into file names (DeviceFileName)
    std::string description;
    std::string notes;     // DeviceNotes
    std::string failure;   // what happened when its process crashed, hung or exited; empty when drawn
    Json failureRecord;    // the same as a results file records it (FailureRecord), or null
    std::vector<std::pair<std::string, std::string>> settings;  // as the dialog held them
    std::vector<std::pair<std::string, std::string>> settingsInEffect;  // SettingsInEffect
    std::vector<std::uint32_t> frame;       // the user's frame
    std::vector<std::uint32_t> levelFrame;  // the level-choice frame
    std::vector<int> levels;                // the level per pixel of levelFrame, or -1
    LodMeasurement lod;
    bool analyzed = false;
    AnalysisFigures figures{};
    Picture heatMap;                        // when analyzed
    std::filesystem::path plot;             // MipBand-NAME.bmp, when analyzed
    std::string explanation;                // the device's explanation as a page section (--explain), or empty
};

// A device name as part of a file name: every character other than a
// letter, digit, '.', '-' or '_' (the ':' of gl:0, the '=' and ',' of a
// model's knobs) becomes '_'.
std::string DeviceFileName(const std::string& device);

// Per level, from the two frames' levels per pixel (LevelOfPixel).
std::vector<LevelAgreement> CompareLevels(const std::vector<int>& a, const std::vector<int>& b);

}  // namespace quillmark::batch
