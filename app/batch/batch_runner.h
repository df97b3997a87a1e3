// Batch mode: "quillmark COMMAND [settings] [options]". Starts the probe on
// the headless backend, hands it the settings of the flags, lets it draw a
// frame, runs the command and closes the probe again.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark {
class Probe;
}

namespace quillmark::batch {

// Runs batch mode; `arguments` start with the command name (or --help).
// Returns the process exit code.
int RunBatch(const std::vector<std::string>& arguments);

struct BatchSettings;

// Starts the probe on the headless backend with the selected device, hands
// it the settings, lets it draw a frame showing them and runs `work` with
// it; the probe is closed again before it returns. Returns work's exit code,
// or the failure's.
int RunOnHeadlessProbe(const BatchSettings& settings, const std::function<int(Probe&)>& work);

// RunOnHeadlessProbe on the device the settings name (the last --device,
// else QUILLMARK_DEVICE, else the reference), after checking that it exists:
// what batch mode does for a command's `run`.
int RunOnChosenDevice(const BatchSettings& settings, const std::function<int(Probe&)>& work);

// The arguments RunBatch was last given (after "quillmark"), for the reports.
const std::vector<std::string>& BatchArguments();

// The usage text: commands, their options and every settings flag.
std::string BatchUsage();

// One command's own help: its synopsis, what it does, its options and (when
// it takes them) the settings flags.
std::string CommandUsage(std::string_view name);

// "quillmark --version": the version, the build type and the devices and
// desktop backend compiled in.
std::string VersionText();

// Empty when the device the command line (`flag`, the last --device) or
// else QUILLMARK_DEVICE names exists (with valid model knobs); otherwise
// the message saying which name is unknown and where it came from, or
// which knob is bad.
std::string DeviceChoiceError(const std::optional<std::string>& flag);

}  // namespace quillmark::batch
