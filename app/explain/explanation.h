// "quillmark explain": the experiments' findings about a device's sampler,
// the model device that has those properties, the proof (the same scenes
// drawn on the model and on the device) and their text and JSON.
// docs/explain.md describes every experiment and figure.
#pragma once

#include "app/explain/experiments.h"
#include "app/explain/sampler_fit.h"
#include "app/batch/figure_table.h"
#include "app/lod_figures.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmark::batch {
struct BatchSettings;
}

namespace quillmark::explain {

inline constexpr int kSectors = kLodSectors;
// The anisotropies each experiment asks for.
inline constexpr int kRequestedAnisotropies[] = {2, 4, 8, 16};
// The fewest bits a weight may have when every value of the 8-bit back
// buffer shows (bilinear), and when the λ meter cannot tell more (blend).
inline constexpr int kSubtexelBitsLimit = 8;
inline constexpr int kBlendBitsLimit = 8;

// The scenes the proof compares: the λ meter isotropic and at 16x on stage 0
// and at 16x on the last stage, the ramp, and the generated texture at 16x.
struct Scenes {
    LevelReading isotropic, anisotropic, lastStage;
    int lastStageNumber = 0;
    std::vector<std::uint32_t> ramp, textured;
};

struct StageFinding {
    int stage = 0;
    std::optional<double> sameShare;  // share of pixels within 1/16 level of stage 0's reading
};

struct Findings {
    std::string device;
    std::string claims;  // what the device states about its sampler, a line each
    SamplerModel model;
    double isotropicMisfit = 0;  // mean |reading − model| isotropic, in levels
    std::array<std::optional<double>, kSectors> sectors;  // mean reading − exact rule, by direction
    std::optional<double> sectorSpread;                   // largest minus smallest sector mean
    std::vector<AnisotropyFit> anisotropy;
    // 16x under a point mip filter: the largest probe count used there.
    AnisotropyFit pointMip;
    bool pointMipAsLinear = true;  // the model's probe counts fit there as well (within 1/100 level)
    std::vector<StageFinding> stages;
};

// Runs every experiment on the probe's device; fills `scenes` with the
// device's proof scenes. False with the reason in *error.
bool Investigate(Probe& probe, Findings* findings, Scenes* scenes, std::string* error);

// Draws the proof scenes (as Investigate draws them) on the probe's device.
bool DrawScenes(Probe& probe, Scenes* scenes, std::string* error);

struct Proof {
    std::int64_t lodPixels = 0, colourPixels = 0;
    std::optional<double> lodWithin116, colourWithin1;  // shares
    bool reproduced = false;  // at least kReproducedShare of both
    // Per scene, in the order of Scenes: λ isotropic, 16x, 16x on the last
    // stage (within 1/16 level), the ramp and the texture (within 1/255).
    std::array<std::optional<double>, 5> scenes;
};
inline constexpr double kReproducedShare = 0.99;

Proof CompareScenes(const Scenes& device, const Scenes& model);

// Everything explain does for one device.
struct Explanation {
    Findings findings;
    std::string model;  // the model device's name
    Scenes device, redrawn;
    Proof proof;
};

// Runs the probe on the settings' device for the experiments, then on the
// model device they name for the proof. Returns the exit code of batch mode
// (the probe's own failures are reported where they happen; an experiment's
// leaves its reason in *error).
int ExplainDevice(const batch::BatchSettings& settings, Explanation* out, std::string* error);

// The findings in words, one sentence each part.
std::string Description(const Findings& findings);

std::string ExplanationText(const Findings& findings, const std::string& modelName, const Proof& proof);
// The explanation as the figures of a results document.
batch::Json ExplanationJson(const Findings& findings, const std::string& modelName, const Proof& proof);

}  // namespace quillmark::explain
