#include "app/batch/isolated_run.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmark::batch {
namespace {

using Clock = std::chrono::steady_clock;

// The child running now (its process group), for the signal handler.
volatile std::sig_atomic_t g_child = 0;

extern "C" void EndChildThenSelf(int signal) {
    if (const pid_t child = g_child; child > 0) kill(-child, SIGKILL);
    std::signal(signal, SIG_DFL);
    raise(signal);  // delivered as the handler returns: this process ends as it would have
}

// SIGINT and SIGTERM end the child first while it runs; the handlers before are back when it ends.
class ChildGuard {
public:
    ChildGuard() {
        struct sigaction action {};
        action.sa_handler = EndChildThenSelf;
        sigemptyset(&action.sa_mask);
        for (int s = 0; s < 2; ++s) sigaction(kSignals[s], &action, &before_[s]);
    }
    ~ChildGuard() {
        g_child = 0;
        for (int s = 0; s < 2; ++s) sigaction(kSignals[s], &before_[s], nullptr);
    }
    ChildGuard(const ChildGuard&) = delete;
    ChildGuard& operator=(const ChildGuard&) = delete;

    static constexpr int kSignals[2] = {SIGINT, SIGTERM};

private:
    struct sigaction before_[2];
};

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

std::string SignalName(int signal) {
    if (const char* abbreviation = sigabbrev_np(signal)) return std::string("SIG") + abbreviation;
    return "signal " + std::to_string(signal);
}

// In the child: runs the work, writes {"code", "answer"} as CBOR to `out` and exits.
[[noreturn]] void RunChild(const std::function<int(Json&)>& work, int out, pid_t parent) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(kExitFailure);  // the parent ended before the line above
    for (const int signal : ChildGuard::kSignals) std::signal(signal, SIG_DFL);
    Json answer;
    const int code = work(answer);
    std::fflush(nullptr);
    const std::vector<std::uint8_t> bytes = Json::to_cbor({{"code", code}, {"answer", std::move(answer)}});
    for (std::size_t written = 0; written < bytes.size();) {
        const ssize_t wrote = write(out, bytes.data() + written, bytes.size() - written);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) _exit(kExitFailure);
        written += std::size_t(wrote);
    }
    _exit(kExitSuccess);  // no exit-time work: that is the parent's
}

// Reads what the child writes until it closes the pipe or the deadline
// passes; false at the deadline.
bool ReadUntilClosed(int in, Clock::time_point deadline, std::vector<std::uint8_t>* bytes) {
    std::uint8_t buffer[65536];
    while (true) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd wait{in, POLLIN, 0};
        const int ready = poll(&wait, 1, int(std::min<long long>(left, 1000)));
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        const ssize_t got = read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        bytes->insert(bytes->end(), buffer, buffer + got);
    }
}

// Waits for the child to end until the deadline; false at the deadline.
bool WaitUntil(pid_t child, Clock::time_point deadline, int* status) {
    while (true) {
        const pid_t ended = waitpid(child, status, WNOHANG);
        if (ended == child) return true;
        if (ended < 0 && errno != EINTR) return true;  // nothing to wait for: reaped already
        if (Clock::now() >= deadline) return false;
        usleep(10000);
    }
}

}  // namespace

std::optional<double> TimeoutSeconds(const CommandOptions& options, double fallback, std::string* error) {
    const std::optional<std::string> given = options.Value("--timeout");
    if (!given) return fallback;
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(given->c_str(), &end);
    if (given->empty() || *end != '\0' || errno != 0 || !std::isfinite(seconds) || seconds <= 0 || seconds > 1e6) {
        *error = "cannot use --timeout " + *given + ": it takes a number of seconds above 0 (at most 1000000)";
        return std::nullopt;
    }
    return seconds;
}

IsolatedOutcome RunIsolated(const std::function<int(Json& answer)>& work, double timeoutSeconds) {
    IsolatedOutcome outcome;
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        outcome.ending = "not started";
        outcome.failure = std::string("not started: no pipe to the child: ") + std::strerror(errno);
        return outcome;
    }
    std::fflush(nullptr);  // what is buffered is written once, not again by the child
    ChildGuard guard;
    const pid_t parent = getpid();
    const Clock::time_point start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        RunChild(work, pipeEnds[1], parent);
    }
    close(pipeEnds[1]);
    if (child < 0) {
        close(pipeEnds[0]);
        outcome.ending = "not started";
        outcome.failure = std::string("not started: no child process: ") + std::strerror(errno);
        return outcome;
    }
    setpgid(child, child);  // as the child does itself, whichever runs first
    g_child = child;

    const Clock::time_point deadline =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    std::vector<std::uint8_t> bytes;
    int status = 0;
    const bool ended = ReadUntilClosed(pipeEnds[0], deadline, &bytes) && WaitUntil(child, deadline, &status);
    close(pipeEnds[0]);
    if (!ended) {
        kill(-child, SIGKILL);
        waitpid(child, &status, 0);
    }
    kill(-child, SIGKILL);  // whatever the child started and left behind
    outcome.seconds = SecondsSince(start);
    outcome.limitSeconds = timeoutSeconds;
    if (!ended) {
        outcome.ending = "no answer";
        char limit[32];
        std::snprintf(limit, sizeof limit, "%g", timeoutSeconds);
        outcome.failure = std::string("no answer in ") + limit + " s";
        return outcome;
    }
    if (WIFSIGNALED(status)) {
        outcome.ending = "crashed";
        outcome.signal = SignalName(WTERMSIG(status));
        outcome.failure = "crashed: " + SignalName(WTERMSIG(status)) + " after " + Seconds(outcome.seconds);
        return outcome;
    }
    const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const Json message = Json::from_cbor(bytes, true, false);
    if (exitStatus != kExitSuccess || message.is_discarded() || !message.contains("code") ||
        !message["code"].is_number_integer()) {
        outcome.ending = "exited";
        outcome.exitStatus = exitStatus;
        outcome.failure = "exited with status " + std::to_string(exitStatus) + " after " + Seconds(outcome.seconds) +
                          " without an answer";
        return outcome;
    }
    outcome.answered = true;
    outcome.code = message["code"].get<int>();
    outcome.answer = message.value("answer", Json());
    return outcome;
}

Json FailureRecord(const std::string& device, const IsolatedOutcome& outcome) {
    Json record = {{"device", device},
                   {"ended", outcome.ending},
                   {"what", outcome.failure},
                   {"seconds", std::round(outcome.seconds * 10) / 10}};
    if (outcome.ending == "crashed") record["signal"] = outcome.signal;
    if (outcome.ending == "exited") record["exit_status"] = outcome.exitStatus;
    if (outcome.ending == "no answer") record["limit_seconds"] = outcome.limitSeconds;
    return record;
}

}  // namespace quillmark::batch
