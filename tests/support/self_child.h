// This test program started again in a child process, limited to the tests
// a filter names. Where the build is for another processor the kernel cannot
// start the program by its path, so the child goes through the emulator
// ctest names in QUILLMARK_EMULATOR (empty or unset for a native build).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmark::test {

// The shell words that start this program again; empty when it cannot be found.
inline std::string SelfCommand() {
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return {};
    const char* emulator = std::getenv("QUILLMARK_EMULATOR");
    return (emulator && *emulator ? std::string(emulator) + " " : std::string()) + "'" + self + "'";
}

// Runs a shell command; returns its wait status and its output (stdout and stderr).
inline int RunCommand(const std::string& command, std::string* output) {
    FILE* child = popen((command + " 2>&1").c_str(), "r");
    if (child == nullptr) return -1;
    std::array<char, 4096> buffer;
    while (std::size_t got = fread(buffer.data(), 1, buffer.size(), child)) output->append(buffer.data(), got);
    return pclose(child);
}

// Runs `check` in a child process of its own and expects it to return true:
// the child is this program started again for the running test alone, which
// runs up to the same check (the first, second... of the test), runs it and
// exits with its answer. For what must not touch this process: a driver that
// is opened and closed again may leave allocations behind in its unloaded
// library, which the leak checker of sanitizer builds would lay at this
// process's door (the child ends without the exit-time checks); a limit on
// the address space.
inline void ExpectInChild(const std::function<bool()>& check) {
    constexpr const char* kVariable = "QUILLMARK_CHILD_CHECK";
    constexpr int kHeld = 100, kBroken = 101;  // exit codes a test program never uses
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    static const ::testing::TestInfo* counted = nullptr;
    static int next = 0;
    if (test != counted) {
        counted = test;
        next = 0;
    }
    const int index = next++;
    if (const char* wanted = std::getenv(kVariable)) {
        if (std::atoi(wanted) == index) {
            std::fflush(nullptr);
            std::_Exit(check() ? kHeld : kBroken);
        }
        return;  // another check of this test is the child's
    }
    const std::string self = SelfCommand();
    ASSERT_FALSE(self.empty()) << "this program cannot be found again";
    std::string output;
    const int status = RunCommand(std::string(kVariable) + "=" + std::to_string(index) + " " + self +
                                      " --gtest_filter='" + test->test_suite_name() + "." + test->name() + "'",
                                  &output);
    ASSERT_TRUE(status != -1 && WIFEXITED(status)) << "the child did not exit (status " << status << "): " << output;
    EXPECT_EQ(WEXITSTATUS(status), kHeld) << (WEXITSTATUS(status) == kBroken ? "the check failed in the child: "
                                                                             : "the child never reached the check: ")
                                          << output;
}

}  // namespace quillmark::test
