#include "app/batch/settings_flags.h"

#include "app/probe.h"

#include "devices/select/d3d9_select.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <span>
#include <string_view>
#include <utility>

namespace quillmark::batch {
namespace {

// How a flag's value reads: a word of a list, a whole number, a decimal in
// tenths, a power of two (the setting is its exponent), a file, a device.
enum class ValueKind { Named, Integer, Tenths, PowerOfTwo, Texture, Device };

struct Choice {
    std::string_view name;
    int value;  // the setting's value
};

struct FlagSpec {
    std::string_view name;
    ValueKind kind;
    const SettingRange* range;        // number flags
    std::span<const Choice> choices;  // Named flags
    int (*get)(const ProbeSettings&);
    void (*set)(ProbeSettings&, int);
    std::string_view meaning;
    std::string_view values = {}, defaultValue = {};  // for Texture and Device; the others' come from above
};

using enum ValueKind;

constexpr Choice kFilters[] = {{"point", D3DTEXF_POINT}, {"linear", D3DTEXF_LINEAR}, {"anisotropic", D3DTEXF_ANISOTROPIC}};
constexpr Choice kMipFilters[] = {{"off", D3DTEXF_NONE}, {"point", D3DTEXF_POINT}, {"linear", D3DTEXF_LINEAR}};
constexpr Choice kObjects[] = {{"plane", 1}, {"tunnel", 0}};
constexpr Choice kTints[] = {{"normal", kTintNormal}, {"tinted", kTintTinted}, {"full", kTintFull}};

D3DTEXTUREFILTERTYPE Filter(int value) { return static_cast<D3DTEXTUREFILTERTYPE>(value); }

const FlagSpec kFlags[] = {
    {"--min-filter", Named, nullptr, kFilters, [](const ProbeSettings& s) -> int { return s.minFilter; },
     [](ProbeSettings& s, int v) { s.minFilter = Filter(v); }, "minification filter"},
    {"--mag-filter", Named, nullptr, kFilters, [](const ProbeSettings& s) -> int { return s.magFilter; },
     [](ProbeSettings& s, int v) { s.magFilter = Filter(v); }, "magnification filter"},
    {"--mip-filter", Named, nullptr, kMipFilters, [](const ProbeSettings& s) -> int { return s.mipFilter; },
     [](ProbeSettings& s, int v) { s.mipFilter = Filter(v); }, "mip filter"},
    {"--anisotropy", PowerOfTwo, &kAnisotropyStepRange, {}, [](const ProbeSettings& s) { return s.anisotropyStep; },
     [](ProbeSettings& s, int v) { s.anisotropyStep = v; }, "maximum anisotropy, as far as the device allows"},
    {"--lod-bias", Tenths, &kLodBiasTenthsRange, {}, [](const ProbeSettings& s) { return s.lodBiasTenths; },
     [](ProbeSettings& s, int v) { s.lodBiasTenths = v; }, "mip LOD bias"},
    {"--stage", Integer, &kStageRange, {}, [](const ProbeSettings& s) { return s.stage; },
     [](ProbeSettings& s, int v) { s.stage = v; }, "texture stage under test, as far as the device allows"},
    {"--object", Named, nullptr, kObjects, [](const ProbeSettings& s) -> int { return s.showPlane; },
     [](ProbeSettings& s, int v) { s.showPlane = v != 0; }, "object drawn"},
    {"--distance", Tenths, &kDistanceTenthsRange, {}, [](const ProbeSettings& s) { return s.distanceTenths; },
     [](ProbeSettings& s, int v) { s.distanceTenths = v; }, "camera distance from the plane (the tunnel has none)"},
    {"--angle", Integer, &kAngleRange, {}, [](const ProbeSettings& s) { return s.planeAngle; },
     [](ProbeSettings& s, int v) { s.planeAngle = v; }, "plane tilt in degrees"},
    {"--faces", Integer, &kFacesRange, {}, [](const ProbeSettings& s) { return s.faces; },
     [](ProbeSettings& s, int v) { s.faces = v; }, "faces around the tunnel"},
    {"--scene-rotation", Integer, &kAngleRange, {}, [](const ProbeSettings& s) { return s.sceneRotation; },
     [](ProbeSettings& s, int v) { s.sceneRotation = v; }, "rotation of the object about the view axis, degrees"},
    {"--texture-rotation", Integer, &kAngleRange, {}, [](const ProbeSettings& s) { return s.textureRotation; },
     [](ProbeSettings& s, int v) { s.textureRotation = v; }, "rotation of the texture coordinates, degrees"},
    {"--checker", Integer, &kCheckerRange, {}, [](const ProbeSettings& s) { return s.checkerShift; },
     [](ProbeSettings& s, int v) { s.checkerShift = v; },
     "checkerboard squares of the generated texture: N >= 0 makes them 2^N texels\n"
     "wide on every level (at most half the level; 0: one texel); N < 0 makes them\n"
     "2^-N texels on level 0, halving level by level down to one texel, so that they\n"
     "cover the same part of the texture on every level"},
    {"--tint", Named, nullptr, kTints, [](const ProbeSettings& s) { return s.tintMode; },
     [](ProbeSettings& s, int v) { s.tintMode = v; }, "colouring of the generated texture's mip levels"},
    {"--texture", Texture, nullptr, {}, nullptr, nullptr,
     "image file to sample: loaded as \"Browse...\" loads it, and \"Use BMP:\" selected", "FILE",
     "the generated checkerboard"},
    {"--device", Device, nullptr, {}, nullptr, nullptr, "the Direct3D device", "NAME",
     "$QUILLMARK_DEVICE, else reference"},
};

const FlagSpec* FindFlag(std::string_view name) {
    for (const FlagSpec& flag : kFlags)
        if (flag.name == name) return &flag;
    return nullptr;
}

const FlagSpec& FlagNamed(std::string_view name) { return *FindFlag(name); }

std::optional<int> ParseInteger(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A decimal with at most one significant place after the point, in tenths.
std::optional<int> ParseTenths(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    const double tenths = value * 10.0;
    if (std::fabs(tenths) > 1e6) return std::nullopt;
    const long rounded = std::lround(tenths);
    if (std::fabs(tenths - static_cast<double>(rounded)) > 1e-6) return std::nullopt;
    return static_cast<int>(rounded);
}

std::optional<int> ParsePowerOfTwo(std::string_view text) {
    const std::optional<int> value = ParseInteger(text);
    if (!value || *value < 1 || (*value & (*value - 1)) != 0) return std::nullopt;
    return std::countr_zero(static_cast<unsigned>(*value));
}

// A setting's value in the flag's own terms ("4" for anisotropy step 2, "2.0" for 20 tenths).
std::string ValueInFlagTerms(const FlagSpec& flag, int value) {
    switch (flag.kind) {
    case Named:
        for (const Choice& choice : flag.choices)
            if (choice.value == value) return std::string(choice.name);
        return "?";
    case PowerOfTwo: return std::to_string(1 << value);
    case Tenths: {
        char text[16];
        std::snprintf(text, sizeof(text), "%.1f", value / 10.0);
        return text;
    }
    default: return std::to_string(value);
    }
}

// What the flag accepts, as --help shows it.
std::string ValuesText(const FlagSpec& flag) {
    if (!flag.values.empty()) return std::string(flag.values);
    std::string text;
    if (flag.kind == Named) {
        for (const Choice& choice : flag.choices) text += (text.empty() ? "" : "|") + std::string(choice.name);
        return text;
    }
    if (flag.kind == PowerOfTwo) {
        for (int step = flag.range->low; step <= flag.range->high; ++step)
            text += (text.empty() ? "" : "|") + ValueInFlagTerms(flag, step);
        return text;
    }
    text = ValueInFlagTerms(flag, flag.range->low) + ".." + ValueInFlagTerms(flag, flag.range->high);
    return flag.kind == Tenths ? text + " in steps of 0.1" : text;
}

std::string DefaultText(const FlagSpec& flag) {
    if (!flag.defaultValue.empty()) return std::string(flag.defaultValue);
    return ValueInFlagTerms(flag, flag.get(ProbeSettings{}));
}

std::optional<int> ParseValue(const FlagSpec& flag, std::string_view text) {
    std::optional<int> value;
    switch (flag.kind) {
    case Named:
        for (const Choice& choice : flag.choices)
            if (choice.name == text) return choice.value;
        return std::nullopt;
    case Integer: value = ParseInteger(text); break;
    case Tenths: value = ParseTenths(text); break;
    case PowerOfTwo: value = ParsePowerOfTwo(text); break;
    default: return std::nullopt;
    }
    if (value && (*value < flag.range->low || *value > flag.range->high)) return std::nullopt;
    return value;
}

bool TakeValue(const FlagSpec& flag, std::string_view value, BatchSettings* settings, std::string* error) {
    const std::string given = std::string(flag.name) + " " + std::string(value);
    if (flag.kind == Device) {
        settings->device = std::string(value);
        settings->devices.emplace_back(value);
        return true;
    }
    const auto [earlier, first] = settings->given.emplace(std::string(flag.name), given);
    if (!first) {
        *error = std::string(flag.name) + ": given twice (" + earlier->second + ", then " + given +
                 "); give each setting once";
        return false;
    }
    if (flag.kind == Texture) {
        settings->probe.textureFile = std::string(value);
        settings->probe.useFileTexture = true;
        return true;
    }
    const std::optional<int> parsed = ParseValue(flag, value);
    if (!parsed) {
        *error = given + ": expected " + ValuesText(flag);
        return false;
    }
    flag.set(settings->probe, *parsed);
    return true;
}

// "--anisotropy 16: this device allows 1..4" when the value lies beyond `high`.
bool CheckDeviceRange(const BatchSettings& settings, std::string_view name, int value, int high, std::string* error) {
    if (value <= high) return true;
    const FlagSpec& flag = FlagNamed(name);
    *error = settings.given.at(std::string(name)) + ": this device allows " + ValueInFlagTerms(flag, flag.range->low) +
             ".." + ValueInFlagTerms(flag, high);
    return false;
}

std::vector<std::string> SplitWords(std::string_view text, std::string_view separator) {
    std::vector<std::string> words;
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t end = std::min(text.find(separator, from), text.size());
        if (end > from) words.emplace_back(text.substr(from, end - from));
        from = end + separator.size();
    }
    return words;
}

std::vector<std::string> ChoicesOf(const FlagSpec& flag) {
    if (flag.kind == Device) return SplitWords(KnownDeviceNames(), ", ");
    const std::string values = ValuesText(flag);
    if (flag.kind == Named || values.find('|') != std::string::npos) return SplitWords(values, "|");
    return {};
}

}  // namespace

std::vector<SettingsFlagDoc> SettingsFlagDocs() {
    std::vector<SettingsFlagDoc> docs;
    for (const FlagSpec& flag : kFlags)
        docs.push_back({std::string(flag.name), ValuesText(flag), DefaultText(flag), std::string(flag.meaning),
                        ChoicesOf(flag), flag.kind == Texture});
    return docs;
}

std::vector<std::pair<std::string, std::string>> SettingValues(const ProbeSettings& settings) {
    std::vector<std::pair<std::string, std::string>> values;
    for (const FlagSpec& flag : kFlags) {
        std::string value;
        if (flag.kind == Device)
            value = SelectedDeviceName();
        else if (flag.kind == Texture)
            value = settings.useFileTexture ? settings.textureFile : std::string(flag.defaultValue);
        else
            value = ValueInFlagTerms(flag, flag.get(settings));
        values.emplace_back(std::string(flag.name), value);
    }
    return values;
}

std::vector<std::pair<std::string, std::string>> SettingsInEffect(const ProbeSettings& settings) {
    ProbeSettings drawn = settings;
    drawn.magFilter = MagFilterInEffect(settings.magFilter);
    const auto asked = SettingValues(settings);
    const auto inEffect = SettingValues(drawn);
    std::vector<std::pair<std::string, std::string>> changed;
    for (std::size_t i = 0; i < asked.size(); ++i)
        if (asked[i] != inEffect[i]) changed.push_back(inEffect[i]);
    return changed;
}

bool ParseSettingsFlags(const std::vector<std::string>& arguments, BatchSettings* settings, std::string* error) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            settings->help = true;
            continue;
        }
        const std::size_t equals = argument.find('=');
        const FlagSpec* flag = FindFlag(std::string_view(argument).substr(0, equals));
        if (!flag) {
            settings->rest.push_back(argument);
            continue;
        }
        std::string_view value;
        if (equals != std::string::npos) {
            value = std::string_view(argument).substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            *error = argument + ": needs a value, " + ValuesText(*flag);
            return false;
        }
        if (!TakeValue(*flag, value, settings, error)) return false;
    }
    return true;
}

std::string DeviceRangeError(const BatchSettings& settings, const DeviceLimits& limits) {
    std::string error;
    if (!CheckDeviceRange(settings, "--anisotropy", settings.probe.anisotropyStep, limits.anisotropyStepMax, &error))
        return error;
    CheckDeviceRange(settings, "--stage", settings.probe.stage, limits.stageMax, &error);
    return error;
}

std::vector<std::string> UnusedSettings(const BatchSettings& settings) {
    std::vector<std::string> notes;
    if (const auto distance = settings.given.find("--distance");
        distance != settings.given.end() && !settings.probe.showPlane)
        notes.push_back(distance->second + " is not used: the camera distance moves the plane, and the tunnel is "
                                           "drawn (--object plane draws the plane)");
    return notes;
}

std::string SettingsFlagsHelp() {
    std::string help;
    constexpr std::size_t kHeadWidth = 46;
    const std::string continuation = "\n" + std::string(kHeadWidth + 3, ' ');
    for (const FlagSpec& flag : kFlags) {
        std::string head = std::string(flag.name) + " " + ValuesText(flag);
        head.resize(std::max(head.size(), kHeadWidth), ' ');
        std::string meaning(flag.meaning);
        for (std::size_t at = meaning.find('\n'); at != std::string::npos; at = meaning.find('\n', at + 1)) {
            meaning.replace(at, 1, continuation);
            at += continuation.size() - 1;
        }
        help += "  " + head + " " + meaning + " (default: " + DefaultText(flag) + ")\n";
    }
    help += "  Known devices: " + KnownDeviceNames() + "\n";
    return help;
}

}  // namespace quillmark::batch
