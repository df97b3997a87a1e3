// The manual page and the bash completion of quillmark, generated from the
// commands' option declarations and the settings-flag table that --help
// shows, so that a new command, option or flag appears in all three at once.
#pragma once

#include <string>
#include <vector>

namespace quillmark::batch {

// quillmark(1) in roff (man macros).
std::string ManualPage();

// A bash completion script: commands, every flag and option, and their values
// (the words of a choice, file or directory names).
std::string BashCompletion();

}  // namespace quillmark::batch
