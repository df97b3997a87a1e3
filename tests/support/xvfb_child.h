// Desktop tests on a machine without a display: the test program runs itself
// again in a child process under a virtual X server (xvfb-run), limited to
// the desktop tests, and reports how they went.
#pragma once

#include "platform/win32/backend.h"
#include "self_child.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace quillmark::test {

struct XvfbChildRun {
    std::string skip;  // why the tests could not run in a child; empty when they did
    int status = 0;
    std::string output;
};

// Runs the tests `filter` names in a child under xvfb-run; with `screen`
// ("1366x768"), on a virtual screen of that size, and with `environment`
// ("GDK_SCALE=2") set for the child. Without a screen size the tests are
// not run again where a display is present (they ran on it directly).
inline XvfbChildRun RunSelfUnderXvfb(const std::string& filter, const std::string& screen = "",
                                     const std::string& environment = "") {
    XvfbChildRun run;
    const auto skipped = [](const char* why) { return XvfbChildRun{why, 0, {}}; };
    if (screen.empty() && win32::DisplayAvailable()) return skipped("a display is present: the tests ran directly");
    if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) return skipped("xvfb-run is not installed");
    const std::string self = SelfCommand();
    if (self.empty()) return skipped("this program cannot be found again");
    const std::string server = screen.empty() ? "" : " -s '-screen 0 " + screen + "x24'";
    run.status = RunCommand("ASAN_OPTIONS=detect_leaks=0 " + environment + " xvfb-run -a" + server + " " + self +
                                " --gtest_filter='" + filter + "'",
                            &run.output);
    if (run.status == -1) return skipped("xvfb-run cannot be started");
    if (run.output.find("cannot open display") != std::string::npos || run.output.find("xauth") != std::string::npos)
        run.skip = "xvfb could not start: " + run.output;
    else if (run.status == 0 && run.output.find("no display") != std::string::npos)
        run.skip = "this build has no desktop backend";
    return run;
}

// Every test the child was given ran and passed: none skipped, none failed.
inline void ExpectEveryTestPassed(const XvfbChildRun& run) {
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("[  PASSED  ]"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("[  SKIPPED ]"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("[  FAILED  ]"), std::string::npos) << run.output;
}

}  // namespace quillmark::test
