// The settings flags of batch mode. Each flag stands for one control of the
// Settings dialog and is applied as the user would operate that control (a
// trackbar drag, a list selection, a radio click, a scroll-bar thumb drag),
// so batch mode runs the same dialog code as the interactive program.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillmark::batch {

// What the user does to a control.
// ChooseFile presses a button that opens the file dialog and picks `file` in it.
enum class ControlActionKind { DragTrackbar, SelectListItem, ClickRadio, DragScrollThumb, ChooseFile };

// One user action on a dialog control, from one settings flag.
struct ControlAction {
    ControlActionKind kind;
    int controlId;
    int argument;      // trackbar or scroll position, list index; unused for a click
    std::string flag;  // the flag and value as given, for messages
    std::string file;  // the file chosen in the file dialog (ChooseFile)
};

// The settings flags of one command line.
struct BatchSettings {
    std::vector<ControlAction> actions;  // in command-line order
    std::optional<std::string> device;  // the last --device
    std::vector<std::string> devices;   // every --device, in order
    bool help = false;
    std::vector<std::string> rest;       // what no settings flag took
};

// Takes the settings flags (and --help / -h) out of `arguments`, as
// "--flag VALUE" or "--flag=VALUE". Returns false with a message in *error
// for a value that is out of range or unknown, or a flag without its value.
bool ParseSettingsFlags(const std::vector<std::string>& arguments, BatchSettings* settings, std::string* error);

// Applies the actions to the Settings dialog of g_app, in order. Fails (with
// a message in *error) when a value lies beyond what this device's control
// reaches (anisotropy, stage) or when a control refuses the action.
bool ApplySettings(const std::vector<ControlAction>& actions, std::string* error);

// True when the actions chose a texture file and none is loaded: the load
// has told the user why (a message box, printed on stderr headless).
bool TextureFileRefused(const std::vector<ControlAction>& actions);

// One line per flag: name, values, default and meaning.
std::string SettingsFlagsHelp();

// A settings flag as the documentation shows it (--help, the manual page,
// shell completion): `choices` lists the words it accepts when they are few
// (empty for numbers and free text), `takesFile` marks a file name.
struct SettingsFlagDoc {
    std::string name, values, defaultValue, meaning;
    std::vector<std::string> choices;
    bool takesFile = false;
};

std::vector<SettingsFlagDoc> SettingsFlagDocs();

// Every flag with the value the Settings dialog of g_app holds now, in the
// flag's own terms ("--angle", "70").
std::vector<std::pair<std::string, std::string>> CurrentSettingValues();

}  // namespace quillmark::batch
