// Fitting a sampler model to what the λ meter read: the knobs of the model
// device (docs/model-device.md) that make its predicted readings agree
// best with a device's, found by search over each knob's values.
#pragma once

#include "app/lod_ideal.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quillmark::explain {

enum class AxisRule { Exact, Max, Sum };

// The properties of a sampler that the model device's knobs name.
// A bits figure of nothing quantises nothing (or was not resolved).
struct SamplerModel {
    AxisRule axes = AxisRule::Exact;
    bool log2Approx = false;
    double lodOffset = 0.0;
    double blendWidth = 1.0;  // 0 (point mip filter) .. 1 (full trilinear)
    std::optional<int> blendBits;
    int anisoCap = 16;
    bool anisoPow2 = false;
    bool anisoIgnoresMax = false;
    bool anisoLodShort = false;  // anisotropic λ from the short axis whatever the probe count
    std::optional<int> subtexelBits;
    bool stageReduce = false;
};

// The sampler settings of one experiment.
struct Sampling {
    bool anisotropic = false;
    int maxAnisotropy = 1;
    int lastLevel = 0;
};

// The largest anisotropy the model uses for MAXANISOTROPY `requested` (with
// anisotropic filtering on), after aniso-ignores-max, aniso-cap and the
// rounding of the probe count.
int EffectiveAnisotropy(const SamplerModel& model, int requested);

// The level the λ meter reads (docs/level-of-detail.md) for a footprint under
// a linear mip filter on stage 0 of the model: λ by the model's axes, log2,
// probe count and offset, clamped to the chain, then blended by its width
// and blend bits.
double PredictedReading(const Footprint& footprint, const SamplerModel& model, const Sampling& sampling);

// One measured pixel: its footprint (texels of level 0) and the level read.
struct LodSample {
    Footprint footprint;
    double measured;
};

// At most `count` samples spread evenly over the pixels that have both a
// footprint and a reading.
std::vector<LodSample> PickSamples(const std::vector<PixelFootprint>& footprints,
                                   const std::vector<std::optional<double>>& measured, std::size_t count);

// Mean |measured − predicted| over the samples.
double MeanMisfit(const std::vector<LodSample>& samples, const SamplerModel& model, const Sampling& sampling);

// The number of quantisation bits (0 .. 7) that explains every value of a
// channel that runs from 0 to 255 with a weight: n when the values seen are
// those of 255 · k / 2^n (2^n + 1 of them, each to within a byte's
// rounding), nothing when more values are seen than 7 bits give (the 8-bit
// back buffer cannot tell 8 bits from more).
std::optional<int> WeightBitsOf(const std::vector<std::uint8_t>& values);

// Fits axes, log2, LOD offset and blend width (the model's other knobs as
// given) to isotropic readings, each knob by search: the offset to 1/256
// level, the width to 1/64.
SamplerModel FitIsotropic(const std::vector<LodSample>& samples, const SamplerModel& start, int lastLevel);

// What readings at one requested anisotropy say: the largest probe count
// used and whether the counts are rounded to powers of two.
struct AnisotropyFit {
    int requested = 0;
    int effective = 0;
    bool pow2 = false;
    double misfit = 0.0;
};
AnisotropyFit FitAnisotropy(const std::vector<LodSample>& samples, const SamplerModel& model, int requested,
                            int lastLevel);

// The anisotropy knobs that the fits at several requests (ascending) imply.
void SetAnisotropyKnobs(const std::vector<AnisotropyFit>& fits, SamplerModel* model);

// The anisotropic λ from the short axis (the anisotropy knobs at their
// defaults, since λ no longer shows the probe count) when it fits the
// readings at every request clearly better than `model`; each entry of
// `samples` belongs to the request of the same entry of `fits`.
void ChooseLodAxis(const std::vector<std::vector<LodSample>>& samples, const std::vector<AnisotropyFit>& fits,
                   int lastLevel, SamplerModel* model);

// The model device's name for the model: "model", then the knobs away from
// their defaults in the order docs/model-device.md lists them.
std::string ModelName(const SamplerModel& model);

}  // namespace quillmark::explain
