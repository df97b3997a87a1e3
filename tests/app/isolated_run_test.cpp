// Work run in a child process: its answer comes back whole, and a child that
// really crashes, hangs or exits is survived and named; none outlives the
// run, nor a parent ended by SIGTERM.
#include "app/batch/isolated_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <csignal>
#include <regex>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace quillmark::batch {
namespace {

// Running or stopped; not a zombie that nobody reaps (where the first
// process of a container reaps none).
bool Alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

TEST(IsolatedRun, HandsBackTheAnswerAndTheCode) {
    const pid_t self = getpid();
    std::vector<std::uint8_t> bytes(300000);  // more than a pipe holds at once
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i * 7);
    const IsolatedOutcome outcome = RunIsolated(
        [&](Json& answer) {
            answer = {{"pid", getpid()}, {"text", "λ ±"}, {"bytes", Json::binary(bytes)}};
            return 7;
        },
        30);
    ASSERT_TRUE(outcome.answered) << outcome.failure;
    EXPECT_EQ(outcome.code, 7);
    EXPECT_NE(outcome.answer["pid"].get<pid_t>(), self);  // it ran elsewhere
    EXPECT_EQ(outcome.answer["text"], "λ ±");
    EXPECT_EQ(outcome.answer["bytes"].get_binary(), bytes);
    EXPECT_TRUE(outcome.failure.empty());
}

// What the work does to its process stays there.
TEST(IsolatedRun, WorkChangesNothingInTheParent) {
    int value = 1;
    const IsolatedOutcome outcome = RunIsolated(
        [&](Json&) {
            value = 2;
            return kExitSuccess;
        },
        30);
    EXPECT_TRUE(outcome.answered);
    EXPECT_EQ(value, 1);
}

TEST(IsolatedRun, NamesTheSignalOfAChildThatCrashes) {
    const IsolatedOutcome segv = RunIsolated(
        [](Json&) {
            // The default action, as a driver's fault gets it where no sanitizer catches it first.
            std::signal(SIGSEGV, SIG_DFL);
            std::raise(SIGSEGV);
            return kExitSuccess;
        },
        30);
    EXPECT_FALSE(segv.answered);
    EXPECT_TRUE(std::regex_match(segv.failure, std::regex(R"(crashed: SIGSEGV after \d+\.\d s)"))) << segv.failure;
    const IsolatedOutcome abort = RunIsolated(
        [](Json&) {
            std::signal(SIGABRT, SIG_DFL);
            std::abort();
            return kExitSuccess;
        },
        30);
    EXPECT_TRUE(abort.failure.starts_with("crashed: SIGABRT after ")) << abort.failure;
}

TEST(IsolatedRun, EndsAChildThatHangsAtTheTimeLimit) {
    pid_t child = 0;
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const auto start = std::chrono::steady_clock::now();
    const IsolatedOutcome outcome = RunIsolated(
        [&](Json&) {
            const pid_t self = getpid();
            (void)!write(pipeEnds[1], &self, sizeof self);
            while (true) pause();
            return kExitSuccess;
        },
        0.5);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(read(pipeEnds[0], &child, sizeof child), ssize_t(sizeof child));
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    EXPECT_FALSE(outcome.answered);
    EXPECT_EQ(outcome.failure, "no answer in 0.5 s");
    EXPECT_GE(seconds, 0.5);
    EXPECT_LT(seconds, 20);
    EXPECT_FALSE(Alive(child));  // killed and reaped
}

TEST(IsolatedRun, NamesAChildThatExitsWithoutAnAnswer) {
    const IsolatedOutcome outcome = RunIsolated(
        [](Json&) {
            _exit(3);
            return kExitSuccess;
        },
        30);
    EXPECT_FALSE(outcome.answered);
    EXPECT_TRUE(std::regex_match(outcome.failure, std::regex(R"(exited with status 3 after \d+\.\d s without an answer)")))
        << outcome.failure;
    // Status 0 without an answer is no answer either.
    EXPECT_FALSE(RunIsolated([](Json&) { _exit(0); return kExitSuccess; }, 30).answered);
}

// A parent ended by SIGTERM (or Ctrl-C's SIGINT) while a child hangs takes
// the child with it, and a grandchild the child started as well.
TEST(IsolatedRun, NoChildOutlivesAParentEndedBySignal) {
    for (const int signal : {SIGTERM, SIGINT}) {
        int pipeEnds[2];
        ASSERT_EQ(pipe(pipeEnds), 0);
        const pid_t parent = fork();
        ASSERT_GE(parent, 0);
        if (parent == 0) {
            RunIsolated(
                [&](Json&) {
                    const pid_t grandchild = fork();
                    if (grandchild == 0)
                        while (true) pause();
                    const pid_t pids[2] = {getpid(), grandchild};
                    (void)!write(pipeEnds[1], pids, sizeof pids);
                    while (true) pause();
                    return kExitSuccess;
                },
                600);
            _exit(0);
        }
        pid_t pids[2] = {};
        ASSERT_EQ(read(pipeEnds[0], pids, sizeof pids), ssize_t(sizeof pids));
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        ASSERT_TRUE(Alive(pids[0]) && Alive(pids[1]));
        kill(parent, signal);
        int status = 0;
        ASSERT_EQ(waitpid(parent, &status, 0), parent);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        // The child and grandchild were killed; they are no children of this
        // process, so they are gone once init has reaped them.
        bool gone = false;
        for (int tries = 0; tries < 500 && !gone; ++tries) {
            gone = !Alive(pids[0]) && !Alive(pids[1]);
            if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(gone) << "signal " << signal;
    }
}

TEST(IsolatedRun, TakesATimeoutOfSecondsAboveZero) {
    std::string error;
    CommandOptions none;
    EXPECT_EQ(TimeoutSeconds(none, 120, &error), 120.0);
    const CommandOption declared[] = {{"", "--timeout", "SECONDS", ""}};
    for (const auto& [given, expected] : std::vector<std::pair<std::string, std::optional<double>>>{
             {"2.5", 2.5}, {"60", 60.0}, {"0", std::nullopt}, {"-1", std::nullopt}, {"nan", std::nullopt},
             {"inf", std::nullopt}, {"5s", std::nullopt}, {"", std::nullopt}}) {
        CommandOptions options;
        ASSERT_TRUE(ParseCommandOptions(declared, {"--timeout=" + given}, &options, &error)) << error;
        error.clear();
        EXPECT_EQ(TimeoutSeconds(options, 120, &error), expected) << given;
        EXPECT_EQ(error.empty(), expected.has_value()) << given << ": " << error;
    }
}

}  // namespace
}  // namespace quillmark::batch
