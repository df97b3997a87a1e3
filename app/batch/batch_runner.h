// Batch mode: "quillmark COMMAND [settings] [options]". Starts the probe on
// the headless backend, applies the settings flags to the Settings dialog as
// user actions, lets the message loop draw a frame, runs the command and
// closes the main window again.
#pragma once

#include <string>
#include <vector>

namespace quillmark::batch {

// Runs batch mode; `arguments` start with the command name (or --help).
// Returns the process exit code.
int RunBatch(const std::vector<std::string>& arguments);

// The usage text: commands, their options and every settings flag.
std::string BatchUsage();

// Runs the message loop until it waits for input (every queued message
// dispatched, a frame drawn if one was due). False when it does not settle,
// e.g. because the device cannot be recreated.
bool SettleMessageLoop();

}  // namespace quillmark::batch
