#include "app/batch/settings_flags.h"

#include "app/app_state.h"
#include "app/settings_dialog.h"

#include "platform/win32/commctrl.h"
#include "devices/select/d3d9_select.h"
#include "platform/win32/headless_dialogs.h"
#include "platform/win32/user_input.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <bit>
#include <span>
#include <string_view>
#include <utility>

namespace quillmark::batch {
namespace {

enum class ValueKind { Named, Integer, Tenths, PowerOfTwo, Texture, Device };

struct Choice {
    std::string_view name;
    int argument;  // list index, or the radio button's id
};

// A device-dependent range is reported in the flag's own terms.
using PositionText = std::string (*)(int position);

struct FlagSpec {
    std::string_view name;
    ValueKind kind;
    ControlActionKind action;
    int controlId;
    std::span<const Choice> choices;
    int low, high;  // accepted control positions
    std::string_view values, defaultValue, meaning;
};

using enum ValueKind;
using enum ControlActionKind;

constexpr Choice kFilters[] = {{"point", 0}, {"linear", 1}, {"anisotropic", 2}};
constexpr Choice kMipFilters[] = {{"off", 0}, {"point", 1}, {"linear", 2}};
constexpr Choice kObjects[] = {{"plane", kPlaneRadio}, {"tunnel", kTunnelRadio}};
constexpr Choice kTints[] = {
    {"normal", kTintNormalRadio}, {"tinted", kTintTintedRadio}, {"full", kTintFullRadio}};

const FlagSpec kFlags[] = {
    {"--min-filter", Named, SelectListItem, kMinFilterList, kFilters, 0, 0, "point|linear|anisotropic",
     "anisotropic", "minification filter"},
    {"--mag-filter", Named, SelectListItem, kMagFilterList, kFilters, 0, 0, "point|linear|anisotropic",
     "anisotropic", "magnification filter"},
    {"--mip-filter", Named, SelectListItem, kMipFilterList, kMipFilters, 0, 0, "off|point|linear", "linear",
     "mip filter"},
    {"--anisotropy", PowerOfTwo, DragTrackbar, kAnisotropySlider, {}, 0, 4, "1|2|4|8|16", "1",
     "maximum anisotropy, as far as the device allows"},
    {"--lod-bias", Tenths, DragTrackbar, kLodBiasSlider, {}, -80, 80, "-8.0..8.0 in steps of 0.1", "0.0",
     "mip LOD bias"},
    {"--stage", Integer, DragTrackbar, kStageSlider, {}, 0, 7, "0..7", "0",
     "texture stage under test, as far as the device allows"},
    {"--object", Named, ClickRadio, 0, kObjects, 0, 0, "plane|tunnel", "tunnel", "object drawn"},
    {"--distance", Tenths, DragTrackbar, kDistanceSlider, {}, 5, 300, "0.5..30.0 in steps of 0.1", "2.0",
     "camera distance"},
    {"--angle", Integer, DragScrollThumb, kPlaneAngleBar, {}, 0, 89, "0..89", "0", "plane tilt in degrees"},
    {"--faces", Integer, DragTrackbar, kFacesSlider, {}, 3, 200, "3..200", "200", "faces around the tunnel"},
    {"--scene-rotation", Integer, DragScrollThumb, kSceneRotationBar, {}, 0, 89, "0..89", "0",
     "rotation of the object about the view axis, degrees"},
    {"--texture-rotation", Integer, DragScrollThumb, kTextureRotationBar, {}, 0, 89, "0..89", "0",
     "rotation of the texture coordinates, degrees"},
    {"--checker", Integer, DragTrackbar, kCheckerSlider, {}, -8, 8, "-8..8", "8",
     "checkerboard squares of the generated texture: N >= 0 makes them 2^N texels\n"
     "wide on every level (at most half the level; 0: one texel); N < 0 makes them\n"
     "2^-N texels on level 0, halving level by level down to one texel, so that they\n"
     "cover the same part of the texture on every level"},
    {"--tint", Named, ClickRadio, 0, kTints, 0, 0, "normal|tinted|full", "tinted",
     "colouring of the generated texture's mip levels"},
    {"--texture", Texture, ClickRadio, 0, {}, 0, 0, "FILE", "the generated checkerboard",
     "image file to sample: loaded as \"Browse...\" loads it, and \"Use BMP:\" selected"},
    {"--device", Device, ClickRadio, 0, {}, 0, 0, "NAME", "$QUILLMARK_DEVICE, else reference",
     "the Direct3D device"},
};

const FlagSpec* FindFlag(std::string_view name) {
    for (const FlagSpec& flag : kFlags)
        if (flag.name == name) return &flag;
    return nullptr;
}

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

std::optional<int> ParseChoice(const FlagSpec& flag, std::string_view text) {
    for (const Choice& choice : flag.choices)
        if (choice.name == text) return choice.argument;
    return std::nullopt;
}

std::optional<int> ParsePosition(const FlagSpec& flag, std::string_view text) {
    std::optional<int> position;
    switch (flag.kind) {
    case Named: return ParseChoice(flag, text);
    case Integer: position = ParseInteger(text); break;
    case Tenths: position = ParseTenths(text); break;
    case PowerOfTwo: position = ParsePowerOfTwo(text); break;
    default: return std::nullopt;
    }
    if (position && (*position < flag.low || *position > flag.high)) return std::nullopt;
    return position;
}

ControlAction MakeAction(const FlagSpec& flag, int value, std::string given) {
    if (flag.action == ClickRadio) return {ClickRadio, value, 0, std::move(given), {}};
    return {flag.action, flag.controlId, value, std::move(given), {}};
}

bool TakeValue(const FlagSpec& flag, std::string_view value, BatchSettings* settings, std::string* error) {
    const std::string given = std::string(flag.name) + " " + std::string(value);
    if (flag.kind == Texture) {
        settings->actions.push_back({ChooseFile, kBrowseButton, 0, given, std::string(value)});
        settings->actions.push_back({ClickRadio, kUseFileTextureRadio, 0, given, {}});
        return true;
    }
    if (flag.kind == Device) {
        settings->device = std::string(value);
        settings->devices.emplace_back(value);
        return true;
    }
    const std::optional<int> argument = ParsePosition(flag, value);
    if (!argument) {
        *error = given + ": expected " + std::string(flag.values);
        return false;
    }
    settings->actions.push_back(MakeAction(flag, *argument, given));
    return true;
}

// How a position of a trackbar reads in its flag's terms.
std::string PositionInFlagTerms(int controlId, int position) {
    if (controlId == kAnisotropySlider) return std::to_string(1 << position);
    return std::to_string(position);
}

bool CheckDeviceRange(HWND control, const ControlAction& action, std::string* error) {
    if (action.kind != DragTrackbar) return true;
    const int low = static_cast<int>(SendMessageA(control, TBM_GETRANGEMIN, 0, 0));
    const int high = static_cast<int>(SendMessageA(control, TBM_GETRANGEMAX, 0, 0));
    if (action.argument >= low && action.argument <= high) return true;
    *error = action.flag + ": this device allows " + PositionInFlagTerms(action.controlId, low) + ".." +
             PositionInFlagTerms(action.controlId, high);
    return false;
}

bool Perform(HWND control, const ControlAction& action) {
    switch (action.kind) {
    case DragTrackbar: return win32::DragTrackbar(control, action.argument);
    case SelectListItem: return win32::SelectComboItem(control, action.argument);
    case ClickRadio: return win32::ClickButton(control);
    case DragScrollThumb: return win32::DragScrollThumb(control, action.argument);
    case ChooseFile: {
        win32::QueueOpenFileAnswer(action.file);
        const bool clicked = win32::ClickButton(control);
        win32::ClearOpenFileAnswers();
        return clicked;
    }
    }
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
    if (flag.kind == Named || flag.values.find('|') != std::string_view::npos) return SplitWords(flag.values, "|");
    return {};
}

std::string ChoiceWithArgument(const FlagSpec& flag, int argument) {
    for (const Choice& choice : flag.choices)
        if (choice.argument == argument) return std::string(choice.name);
    return "?";
}

std::string ValueInFlagTerms(ValueKind kind, int position) {
    if (kind == PowerOfTwo) return std::to_string(1 << position);
    if (kind != Tenths) return std::to_string(position);
    char text[16];
    std::snprintf(text, sizeof(text), "%.1f", position / 10.0);
    return text;
}

std::string CurrentValue(const FlagSpec& flag) {
    const HWND dialog = g_app.settingsDialog;
    switch (flag.kind) {
    case Device: return SelectedDeviceName();
    case Texture: return g_app.useFileTexture ? g_app.fileTexturePath : std::string(flag.defaultValue);
    default: break;
    }
    const HWND control = GetDlgItem(dialog, flag.controlId);
    switch (flag.action) {
    case ClickRadio:
        for (const Choice& choice : flag.choices)
            if (IsDlgButtonChecked(dialog, choice.argument) == BST_CHECKED) return std::string(choice.name);
        return "?";
    case SelectListItem:
        return ChoiceWithArgument(flag, static_cast<int>(SendMessageA(control, CB_GETCURSEL, 0, 0)));
    case DragTrackbar:
        return ValueInFlagTerms(flag.kind, static_cast<int>(SendMessageA(control, TBM_GETPOS, 0, 0)));
    case DragScrollThumb: return ValueInFlagTerms(flag.kind, GetScrollPos(control, SB_CTL));
    case ChooseFile: break;
    }
    return "?";
}

}  // namespace

std::vector<SettingsFlagDoc> SettingsFlagDocs() {
    std::vector<SettingsFlagDoc> docs;
    for (const FlagSpec& flag : kFlags)
        docs.push_back({std::string(flag.name), std::string(flag.values), std::string(flag.defaultValue),
                        std::string(flag.meaning), ChoicesOf(flag), flag.kind == Texture});
    return docs;
}

std::vector<std::pair<std::string, std::string>> CurrentSettingValues() {
    std::vector<std::pair<std::string, std::string>> values;
    for (const FlagSpec& flag : kFlags) values.emplace_back(std::string(flag.name), CurrentValue(flag));
    return values;
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
            *error = argument + ": needs a value, " + std::string(flag->values);
            return false;
        }
        if (!TakeValue(*flag, value, settings, error)) return false;
    }
    return true;
}

bool ApplySettings(const std::vector<ControlAction>& actions, std::string* error) {
    for (const ControlAction& action : actions) {
        const HWND control = GetDlgItem(g_app.settingsDialog, action.controlId);
        if (!control) {
            *error = action.flag + ": the Settings dialog has no such control";
            return false;
        }
        if (!CheckDeviceRange(control, action, error)) return false;
        if (!Perform(control, action)) {
            *error = action.flag + ": the control does not accept it";
            return false;
        }
    }
    return true;
}

bool TextureFileRefused(const std::vector<ControlAction>& actions) {
    const bool chosen = std::any_of(actions.begin(), actions.end(),
                                    [](const ControlAction& action) { return action.kind == ChooseFile; });
    return chosen && !g_app.fileTexture;
}

std::string SettingsFlagsHelp() {
    std::string help;
    constexpr std::size_t kHeadWidth = 46;
    const std::string continuation = "\n" + std::string(kHeadWidth + 3, ' ');
    for (const FlagSpec& flag : kFlags) {
        std::string head = std::string(flag.name) + " " + std::string(flag.values);
        head.resize(std::max(head.size(), kHeadWidth), ' ');
        std::string meaning(flag.meaning);
        for (std::size_t at = meaning.find('\n'); at != std::string::npos; at = meaning.find('\n', at + 1)) {
            meaning.replace(at, 1, continuation);
            at += continuation.size() - 1;
        }
        help += "  " + head + " " + meaning + " (default: " + std::string(flag.defaultValue) + ")\n";
    }
    help += "  Known devices: " + KnownDeviceNames() + "\n";
    return help;
}

}  // namespace quillmark::batch
