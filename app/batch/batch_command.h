// A command of batch mode ("quillmark render ...", "quillmark analyze ..."):
// what the command table lists and what the batch runner calls. Each command
// declares its options once; parsing, --help, "help COMMAND", the manual page
// and the bash completion are made from the declarations.
//
// Adding a command takes one new file that defines a `const BatchCommand`
// object, plus its line in command_list.h.
#pragma once

#include "platform/win32/wintypes.h"

#include <map>
#include <optional>
#include <span>
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

// One option of a command: "-o, --output DIR" and what it does.
struct CommandOption {
    std::string_view shortName;  // "-o", or empty
    std::string_view name;       // "--output"
    std::string_view argument;   // the value's kind ("DIR", "FILE"), or empty for an option without one
    std::string_view help;       // one line per '\n'
    // A settings flag (--device) that this command lists among its options;
    // the settings flags take it from the command line.
    bool settingsFlag = false;
    // The words the value may be, where they are a fixed few (for the completion).
    std::span<const std::string_view> choices = {};
    // Takes one value or more ("--merge DIR..."): the arguments after it up
    // to the next one that starts with '-'.
    bool severalValues = false;
};

// "--json": the results document (result_document.h) on stdout, for every measuring command.
inline constexpr CommandOption kJsonOption = {"", "--json", "",
                                              "print the results as one JSON document (docs/results.md)"};

// A command's options as one command line gives them, by long name.
class CommandOptions {
public:
    // The value given, or nothing when the option is absent (the first of
    // an option that takes several).
    std::optional<std::string> Value(std::string_view name) const;
    // Every value given, in order; empty when the option is absent.
    std::vector<std::string> Values(std::string_view name) const;
    // True when the option was given.
    bool Has(std::string_view name) const;

private:
    friend bool ParseCommandOptions(std::span<const CommandOption>, const std::vector<std::string>&,
                                    CommandOptions*, std::string*, std::vector<std::string>*);
    std::map<std::string, std::vector<std::string>, std::less<>> values_;
};

// Takes `arguments` (what the settings flags left) as the options declared,
// "NAME VALUE" or "NAME=VALUE" for either spelling, and for an option that
// takes several values the arguments after that up to the next option.
// False with a message in *error for an argument that is no option, an
// option without its value or with a value it does not take, or one given
// twice. With `operands`, the
// arguments that are no option (not starting with '-', or "-", or anything
// after "--") go there in order instead of being refused.
bool ParseCommandOptions(std::span<const CommandOption> declared, const std::vector<std::string>& arguments,
                         CommandOptions* options, std::string* error, std::vector<std::string>* operands = nullptr);

struct BatchCommand {
    std::string_view name;      // as typed after "quillmark"
    std::string_view summary;   // one line for the usage text
    std::string_view synopsis;  // e.g. "[settings] -o FILE"
    std::span<const CommandOption> options;
    std::string_view notes;     // what --help says after the options, lines indented by six spaces
    // Runs once the probe has started on the headless backend, the settings
    // of the flags have been handed to it and a frame showing them has been
    // drawn. Prints its own errors (through ReportError) and returns the
    // process exit code.
    int (*run)(Probe& probe, const CommandOptions& options);
    // Instead of `run`, for a command that starts the probe itself (on more
    // than one device, or not at all): called with the parsed settings
    // before anything is started.
    int (*runWithSettings)(const BatchSettings& settings, const CommandOptions& options) = nullptr;
    // Instead of both, for a command on files that starts no probe and takes
    // no settings ("quillmark convert IN OUT"): called with its operands, the
    // arguments that are no option, in order. Every option it takes is its
    // own, so its names may be those of settings flags.
    int (*runOnFiles)(const std::vector<std::string>& operands, const CommandOptions& options) = nullptr;
    // False for a command that draws with textures of its own, so that a
    // --texture FILE given to it is said to be unused.
    bool drawsTheTexture = true;
};

// The option lines of a command's --help (and of its entry in the manual
// page): each option with its help, then the notes.
std::string OptionsHelp(const BatchCommand& command);

// Every command, in the order of command_list.h.
const std::vector<const BatchCommand*>& BatchCommands();

// The command of that name, or null.
const BatchCommand* FindBatchCommand(std::string_view name);

// Prints "quillmark: MESSAGE" on stderr, the one form of every message of
// batch mode (MESSAGE says what failed, then after a colon why), and
// returns `code`.
int ReportError(const std::string& message, int code);

// "cannot write PATH: why" for a failed write of an image file; the result
// code's name follows the reason only where the reason is the code's meaning.
std::string WriteFailure(const std::string& path, HRESULT result);

}  // namespace quillmark::batch
