// Work on a device run in a child process of its own with a time limit, so
// that a driver that crashes, hangs or ends the process takes only that
// work down: the child hands its answer back over a pipe, and the parent
// records how it ended. gallery, compare and explain draw every device so.
#pragma once

#include "app/batch/batch_command.h"

#include "app/batch/figure_table.h"

#include <functional>
#include <optional>
#include <string>

namespace quillmark::batch {

// "--timeout SECONDS", how long one device's work may take: each command
// declares it among its options with its own default in the help.
// The value given, else `fallback`; nothing with the reason in *error for a
// value that is no number of seconds above 0.
std::optional<double> TimeoutSeconds(const CommandOptions& options, double fallback, std::string* error);

// How the child ended.
struct IsolatedOutcome {
    bool answered = false;    // it handed its answer back and exited
    int code = kExitFailure;  // the work's exit code, when answered
    Json answer;    // what the work handed back, when answered
    std::string failure;      // otherwise what happened: "crashed: SIGSEGV after 3.1 s",
                              // "no answer in 60 s", "exited with status 3 after 0.2 s"
    double seconds = 0;       // how long the child ran
    // How it ended when it did not answer: "crashed", "no answer",
    // "exited" or "not started", the signal's name when it crashed
    // ("SIGSEGV"), the exit status when it exited, the time limit.
    std::string ending;
    std::string signal;
    int exitStatus = -1;
    double limitSeconds = 0;
};

// What a device's process did, as a results file records it (docs/results.md):
// {"device", "ended", "what", "seconds"} with "signal", "exit_status" or
// "limit_seconds" as they apply.
Json FailureRecord(const std::string& device, const IsolatedOutcome& outcome);

// Runs work(answer) in a child process and returns what it handed back and
// its exit code. A child that ends by a signal, exits before it answers, or
// has not answered within `timeoutSeconds` (it is killed then) gives
// `answered` false and the words of `failure`. While it runs, SIGINT and
// SIGTERM of this process end the child first; a child outlives no parent.
IsolatedOutcome RunIsolated(const std::function<int(Json& answer)>& work, double timeoutSeconds);

}  // namespace quillmark::batch
