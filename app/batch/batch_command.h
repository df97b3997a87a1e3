// A command of batch mode ("quillmark render ...", "quillmark analyze ..."):
// what the command table lists and what the batch runner calls.
//
// Adding a command takes one new file that defines a `const BatchCommand`
// object, plus its line in command_list.h.
#pragma once

#include "platform/win32/wintypes.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark {
class Probe;
}

namespace quillmark::batch {

struct BatchSettings;

// Exit codes of batch mode.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // the work itself failed
inline constexpr int kExitUsage = 2;    // bad command line

struct BatchCommand {
    std::string_view name;      // as typed after "quillmark"
    std::string_view summary;   // one line for the usage text
    std::string_view synopsis;  // e.g. "[settings] -o FILE"
    std::string_view options;   // the command's own options, one per line, for --help
    // Runs once the probe has started on the headless backend, the settings
    // of the flags have been handed to it and a frame showing them has been
    // drawn. `arguments` are the arguments the settings flags did not take.
    // Prints its own errors (through ReportError) and returns the
    // process exit code.
    int (*run)(Probe& probe, const std::vector<std::string>& arguments);
    // Instead of `run`, for a command that starts the probe itself (on more
    // than one device, or not at all): called with the parsed settings
    // before anything is started.
    int (*runWithSettings)(const BatchSettings& settings) = nullptr;
};

// Every command, in the order of command_list.h.
const std::vector<const BatchCommand*>& BatchCommands();

// The command of that name, or null.
const BatchCommand* FindBatchCommand(std::string_view name);

// Prints "quillmark: MESSAGE" on stderr, the one form of every message of
// batch mode (MESSAGE says what failed, then after a colon why), and
// returns `code`.
int ReportError(const std::string& message, int code);

// Takes an option with a value out of `arguments`: "NAME VALUE" or
// "NAME=VALUE" for either spelling (`shortName` may be empty). Returns the
// last value given, or nothing when absent; a name without its value leaves
// a message in *error.
std::optional<std::string> TakeOptionValue(std::vector<std::string>& arguments, std::string_view shortName,
                                           std::string_view longName, std::string* error);

// Takes a flag without value out of `arguments`; true when it was there.
bool TakeFlag(std::vector<std::string>& arguments, std::string_view name);

// "cannot write PATH: why" for a failed write of an image file; the result
// code's name follows the reason only where the reason is the code's meaning.
std::string WriteFailure(const std::string& path, HRESULT result);

// The output folder of a command (-o DIR, default the current directory) as
// an absolute path, created when missing; nothing with "cannot create the
// directory DIR: why" in *error when it cannot be.
std::optional<std::filesystem::path> MakeOutputDirectory(const std::optional<std::string>& output, std::string* error);

// "unknown option 'x'" for the first remaining argument, or empty when none.
std::string LeftoverArgumentsError(const std::vector<std::string>& arguments);

}  // namespace quillmark::batch
