// The knobs of the model device ("model:KEY=VALUE,..."): the software
// renderer with its level-of-detail, anisotropy and filter rules changed.
// docs/model-device.md states each knob's rule; every default leaves the
// reference device's rule as it is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillmark::software {

// How a footprint's axis lengths are measured from a derivative pair
// (du · W, dv · H): sqrt(a² + b²), max(|a|, |b|) or |a| + |b|.
enum class AxisRule { Exact, Max, Sum };
// How the probe count N is rounded: to whole numbers, or up to a power of two.
enum class ProbeSteps { Whole, PowerOfTwo };
// Where the anisotropic λ comes from: the long axis over the probe count
// (the rule), or the short axis whatever the probe count.
enum class AnisoLod { Long, Short };
// The log2 of λ: the C library's log2f, or piecewise linear between powers of two.
enum class Log2Rule { Exact, Approx };
// For testing what runs a device in a child process: the first draw kills
// the process with SIGSEGV, never returns, or ends the process with status 3.
enum class ModelFault { None, Segv, Hang, Exit };

struct ModelKnobs {
    static constexpr int kExact = -1;  // a bits knob that quantises nothing

    AxisRule axes = AxisRule::Exact;
    std::uint32_t anisoCap = 16;  // 1 .. 16
    ProbeSteps anisoSteps = ProbeSteps::Whole;
    bool anisoIgnoresMax = false;
    AnisoLod anisoLod = AnisoLod::Long;
    float lodOffset = 0.0f;  // -16 .. 16
    int lodBits = kExact;    // 0 .. 16
    Log2Rule log2 = Log2Rule::Exact;
    float blendWidth = 1.0f;  // 0 .. 1
    int blendBits = kExact;   // 0 .. 16
    int subtexelBits = kExact;  // 0 .. 16
    bool stageReduce = false;
    ModelFault fault = ModelFault::None;

    bool operator==(const ModelKnobs&) const = default;
};

// The prefix of every model device name: "model" alone, or "model:" and knobs.
inline constexpr std::string_view kModelDeviceName = "model";

// Whether a device name names the model device, with knobs valid or not.
bool IsModelDeviceName(std::string_view name);

// The knobs of a model device name; false with one sentence naming the
// knob and its range in *error when a knob's name or value is bad.
bool ParseModelKnobs(std::string_view name, ModelKnobs* knobs, std::string* error);

// The model device name of the knobs: "model", then the knobs that differ
// from their defaults in the documented order; ParseModelKnobs gives the
// knobs back.
std::string ModelDeviceName(const ModelKnobs& knobs);

// Does what the fault knob asks for (nothing for ModelFault::None).
void RaiseModelFault(ModelFault fault);

}  // namespace quillmark::software
