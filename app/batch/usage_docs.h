// The manual page and the bash completion of quillmark, generated from the
// command table and the settings-flag table that --help shows, so that a new
// command or flag appears in all three at once.
#pragma once

#include <string>
#include <vector>

namespace quillmark::batch {

// quillmark(1) in roff (man macros).
std::string ManualPage();

// A bash completion script: commands, every flag and option, and their values
// (the words of a choice, file or directory names).
std::string BashCompletion();

// An option of a command as its --help lines name it ("-o", "--output"),
// with the kind of value it takes ("DIR", "FILE", or empty for none).
struct CommandOption {
    std::vector<std::string> names;
    std::string value;
};

// The options named at the start of the lines of a command's option text.
std::vector<CommandOption> ParseCommandOptions(const std::string& text);

}  // namespace quillmark::batch
