// The main window's status line: it starts empty, and when Stop writes the
// polar plot it says where the file went, by its whole path.
#include "app/analysis.h"
#include "app/app_state.h"
#include "app/polar_plot.h"
#include "app/shell.h"
#include "app/status_line.h"
#include "probe_fixture.h"
#include "scratch_directory.h"

#include "platform/win32/user_input.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace quillmark {
namespace {

class StatusLine : public test::ProbeFixture {
protected:
    void SetUp() override {
        test::ProbeFixture::SetUp();
        AddStatusLine();
    }
};

TEST_F(StatusLine, SaysWhereStopWroteThePolarPlot) {
    EXPECT_EQ(StatusText(), "");
    testing::ScratchDirectory scratch;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(scratch.Path());  // Stop writes MipBand.bmp here
    ASSERT_TRUE(win32::ClickButton(GetDlgItem(g_app.settingsDialog, kStartButton)));
    for (int frame = 0; frame < 3; ++frame) RunLoopStep(false);
    ASSERT_TRUE(win32::ClickButton(GetDlgItem(g_app.settingsDialog, kStopButton)));
    std::filesystem::current_path(previous);
    ASSERT_TRUE(std::filesystem::exists(scratch / kPlotFileName));
    const std::string said = StatusText();
    const std::string prefix = "Polar plot saved as ";
    ASSERT_EQ(said.rfind(prefix, 0), 0u) << said;
    const std::filesystem::path named = said.substr(prefix.size());
    EXPECT_TRUE(named.is_absolute()) << said;
    EXPECT_TRUE(std::filesystem::equivalent(named, scratch / kPlotFileName)) << said;
}

// A status line of a main window that is gone is no longer written to.
TEST_F(StatusLine, BelongsToItsOwnMainWindow) {
    ShowStatus("before");
    EXPECT_EQ(StatusText(), "before");
    DestroyWindow(g_app.mainWindow);
    DrainMessages();
    g_app.mainWindow = nullptr;
    ShowStatus("after");
    EXPECT_EQ(StatusText(), "");
}

}  // namespace
}  // namespace quillmark
