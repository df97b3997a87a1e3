#include "devices/software/model_knobs.h"

#include <charconv>
#include <cmath>
#include <csignal>
#include <set>
#include <utility>

#include <unistd.h>

namespace quillmark::software {
namespace {

// A knob's value read into the knobs; false when the value is out of range.
using ReadValue = bool (*)(std::string_view value, ModelKnobs& knobs);

// The value written back, or empty when it is the default.
using WriteValue = std::string (*)(const ModelKnobs& knobs);

struct Knob {
    std::string_view name;
    std::string_view range;  // "takes ..." in the refusal
    ReadValue read;
    WriteValue write;
};

bool ReadInteger(std::string_view text, int low, int high, int* value) {
    const char* end = text.data() + text.size();
    const auto [stop, fault] = std::from_chars(text.data(), end, *value);
    return fault == std::errc() && stop == end && *value >= low && *value <= high;
}

bool ReadNumber(std::string_view text, float low, float high, float* value) {
    const char* end = text.data() + text.size();
    const auto [stop, fault] = std::from_chars(text.data(), end, *value);
    return fault == std::errc() && stop == end && std::isfinite(*value) && *value >= low && *value <= high;
}

bool ReadBits(std::string_view text, int* bits) { return ReadInteger(text, 0, 16, bits); }

template <class Choice>
bool ReadChoice(std::string_view text, std::string_view first, std::string_view second, Choice* choice) {
    if (text != first && text != second) return false;
    *choice = text == first ? Choice{0} : Choice{1};
    return true;
}

std::string NumberText(float value) {
    char text[32];
    const auto [end, fault] = std::to_chars(text, text + sizeof text, value);
    return fault == std::errc() ? std::string(text, end) : std::string();
}

std::string BitsText(int bits) { return bits == ModelKnobs::kExact ? std::string() : std::to_string(bits); }

const ModelKnobs kDefaults;

// Every knob, in the order ModelDeviceName writes them.
constexpr Knob kKnobs[] = {
    {"axes", "exact, max or sum",
     [](std::string_view t, ModelKnobs& k) {
         if (t == "sum") return k.axes = AxisRule::Sum, true;
         return ReadChoice(t, "exact", "max", &k.axes);
     },
     [](const ModelKnobs& k) {
         return std::string(k.axes == AxisRule::Max ? "max" : k.axes == AxisRule::Sum ? "sum" : "");
     }},
    {"aniso-cap", "a whole number from 1 to 16",
     [](std::string_view t, ModelKnobs& k) {
         int cap = 0;
         return ReadInteger(t, 1, 16, &cap) && (k.anisoCap = std::uint32_t(cap), true);
     },
     [](const ModelKnobs& k) { return k.anisoCap == kDefaults.anisoCap ? std::string() : std::to_string(k.anisoCap); }},
    {"aniso-steps", "int or pow2", [](std::string_view t, ModelKnobs& k) { return ReadChoice(t, "int", "pow2", &k.anisoSteps); },
     [](const ModelKnobs& k) { return std::string(k.anisoSteps == ProbeSteps::PowerOfTwo ? "pow2" : ""); }},
    {"aniso-ignores-max", "0 or 1", [](std::string_view t, ModelKnobs& k) { return ReadChoice(t, "0", "1", &k.anisoIgnoresMax); },
     [](const ModelKnobs& k) { return std::string(k.anisoIgnoresMax ? "1" : ""); }},
    {"aniso-lod", "long or short", [](std::string_view t, ModelKnobs& k) { return ReadChoice(t, "long", "short", &k.anisoLod); },
     [](const ModelKnobs& k) { return std::string(k.anisoLod == AnisoLod::Short ? "short" : ""); }},
    {"lod-offset", "a number from -16 to 16",
     [](std::string_view t, ModelKnobs& k) { return ReadNumber(t, -16.0f, 16.0f, &k.lodOffset); },
     [](const ModelKnobs& k) { return k.lodOffset == 0.0f ? std::string() : NumberText(k.lodOffset); }},
    {"lod-bits", "a whole number of bits from 0 to 16",
     [](std::string_view t, ModelKnobs& k) { return ReadBits(t, &k.lodBits); },
     [](const ModelKnobs& k) { return BitsText(k.lodBits); }},
    {"log2", "exact or approx", [](std::string_view t, ModelKnobs& k) { return ReadChoice(t, "exact", "approx", &k.log2); },
     [](const ModelKnobs& k) { return std::string(k.log2 == Log2Rule::Approx ? "approx" : ""); }},
    {"blend-width", "a number from 0 to 1",
     [](std::string_view t, ModelKnobs& k) { return ReadNumber(t, 0.0f, 1.0f, &k.blendWidth); },
     [](const ModelKnobs& k) { return k.blendWidth == 1.0f ? std::string() : NumberText(k.blendWidth); }},
    {"blend-bits", "a whole number of bits from 0 to 16",
     [](std::string_view t, ModelKnobs& k) { return ReadBits(t, &k.blendBits); },
     [](const ModelKnobs& k) { return BitsText(k.blendBits); }},
    {"subtexel-bits", "a whole number of bits from 0 to 16",
     [](std::string_view t, ModelKnobs& k) { return ReadBits(t, &k.subtexelBits); },
     [](const ModelKnobs& k) { return BitsText(k.subtexelBits); }},
    {"stage-reduce", "0 or 1", [](std::string_view t, ModelKnobs& k) { return ReadChoice(t, "0", "1", &k.stageReduce); },
     [](const ModelKnobs& k) { return std::string(k.stageReduce ? "1" : ""); }},
    {"fault", "segv, hang or exit",
     [](std::string_view t, ModelKnobs& k) {
         const std::pair<std::string_view, ModelFault> faults[] = {
             {"segv", ModelFault::Segv}, {"hang", ModelFault::Hang}, {"exit", ModelFault::Exit}};
         for (const auto& [name, fault] : faults)
             if (t == name) return k.fault = fault, true;
         return false;
     },
     [](const ModelKnobs& k) {
         return std::string(k.fault == ModelFault::Segv   ? "segv"
                            : k.fault == ModelFault::Hang ? "hang"
                            : k.fault == ModelFault::Exit ? "exit"
                                                          : "");
     }},
};

std::string KnobNames() {
    std::string names;
    for (const Knob& knob : kKnobs) names += std::string(names.empty() ? "" : ", ") + std::string(knob.name);
    return names;
}

}  // namespace

bool IsModelDeviceName(std::string_view name) {
    return name == kModelDeviceName ||
           (name.starts_with(kModelDeviceName) && name.substr(kModelDeviceName.size()).starts_with(':'));
}

bool ParseModelKnobs(std::string_view name, ModelKnobs* knobs, std::string* error) {
    *knobs = ModelKnobs();
    if (!IsModelDeviceName(name)) {
        *error = "cannot read \"" + std::string(name) + "\": it is not a model device name (model or model:KEY=VALUE,...)";
        return false;
    }
    std::set<std::string_view> seen;
    std::string_view rest = name.substr(kModelDeviceName.size());
    if (rest.empty()) return true;
    rest.remove_prefix(1);  // the ':'
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        const std::size_t equals = item.find('=');
        const std::string_view key = item.substr(0, equals);
        const Knob* knob = nullptr;
        for (const Knob& candidate : kKnobs)
            if (candidate.name == key) knob = &candidate;
        if (equals == std::string_view::npos || !knob) {
            *error = "cannot read the model device's knobs: \"" + std::string(item) +
                     "\" is not KEY=VALUE with a known KEY; the knobs are " + KnobNames();
            return false;
        }
        const std::string_view value = item.substr(equals + 1);
        if (!seen.insert(key).second) {
            *error = "cannot read the model device's knobs: \"" + std::string(key) + "\" is given twice";
            return false;
        }
        if (!knob->read(value, *knobs)) {
            *error = "cannot use the model knob \"" + std::string(key) + "\": it takes " + std::string(knob->range) +
                     ", not \"" + std::string(value) + "\"";
            return false;
        }
        if (comma == std::string_view::npos) return true;
        rest.remove_prefix(comma + 1);
    }
}

std::string ModelDeviceName(const ModelKnobs& knobs) {
    std::string name(kModelDeviceName);
    char separator = ':';
    for (const Knob& knob : kKnobs) {
        const std::string value = knob.write(knobs);
        if (value.empty()) continue;
        name += separator + std::string(knob.name) + "=" + value;
        separator = ',';
    }
    return name;
}

void RaiseModelFault(ModelFault fault) {
    switch (fault) {
    case ModelFault::None:
        return;
    case ModelFault::Segv:
        // The default action, so that the process ends by the signal even
        // where a sanitizer has its own handler for it.
        std::signal(SIGSEGV, SIG_DFL);
        std::raise(SIGSEGV);
        return;
    case ModelFault::Hang:
        while (true) pause();
    case ModelFault::Exit:
        _exit(3);
    }
}

}  // namespace quillmark::software
