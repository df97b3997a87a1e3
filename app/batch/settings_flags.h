// The settings flags of batch mode. Each flag stands for one setting of the
// probe (one control of the Settings dialog); the flags of a command line
// make one ProbeSettings value, which the command hands to the probe.
#pragma once

#include "app/probe_settings.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillmark {
struct DeviceLimits;
}

namespace quillmark::batch {

// The settings flags of one command line.
struct BatchSettings {
    ProbeSettings probe;                     // the starting settings changed by the flags
    std::map<std::string, std::string> given;  // each settings flag given, with its value ("--angle 70")
    std::optional<std::string> device;       // the last --device
    std::vector<std::string> devices;        // every --device, in order
    bool help = false;
    std::vector<std::string> rest;  // what no settings flag took
};

// Takes the settings flags (and --help / -h) out of `arguments`, as
// "--flag VALUE" or "--flag=VALUE". Returns false with a message in *error
// for a value that is out of range or unknown, a flag without its value, or
// a flag other than --device given twice.
bool ParseSettingsFlags(const std::vector<std::string>& arguments, BatchSettings* settings, std::string* error);

// Empty when the device reaches every value of the settings; otherwise
// "--anisotropy 16: this device allows 1..8" for the first value beyond it.
std::string DeviceRangeError(const BatchSettings& settings, const DeviceLimits& limits);

// A sentence for each flag given that changes nothing under the other
// settings (--distance on the tunnel).
std::vector<std::string> UnusedSettings(const BatchSettings& settings);

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

// Every flag with its value in `settings`, in the flag's own terms
// ("--angle", "70"); --device names the device selected.
std::vector<std::pair<std::string, std::string>> SettingValues(const ProbeSettings& settings);

// The flags whose value the devices draw differently from the one asked for,
// with the value in effect (--mag-filter anisotropic draws linear); empty
// when every setting is in effect as asked.
std::vector<std::pair<std::string, std::string>> SettingsInEffect(const ProbeSettings& settings);

}  // namespace quillmark::batch
