// File > Save Analysis... on the headless backend and the reference device:
// grayed until a run has measured every level; then the folder chosen in the
// folder dialog receives the files `analyze -o` writes and the figures as
// JSON, the run stays on screen, a second Save works as well, and Stop still
// writes MipBand.bmp where it always did.
#include "app/analysis.h"
#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/batch/analyze_command.h"
#include "app/polar_plot.h"
#include "app/save_analysis.h"
#include "app/settings_dialog.h"
#include "probe_fixture.h"

#include "platform/win32/headless_dialogs.h"
#include "platform/win32/user_input.h"

#include <nlohmann/json.hpp>

#include "result_schema.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

using testing::FileText;

// Width and height from a BMP file's header.
std::pair<std::int32_t, std::int32_t> BitmapSize(const fs::path& path) {
    const std::string bytes = FileText(path);
    if (bytes.size() < 26 || bytes.compare(0, 2, "BM") != 0) return {0, 0};
    std::int32_t width = 0, height = 0;
    std::memcpy(&width, bytes.data() + 18, 4);
    std::memcpy(&height, bytes.data() + 22, 4);
    return {width, height < 0 ? -height : height};
}

std::string FieldText(int id) {
    char text[64] = {};
    GetDlgItemTextA(g_app.settingsDialog, id, text, sizeof text);
    return text;
}

class SaveAnalysis : public test::ProbeFixture {
protected:
    void SetUp() override {
        test::ProbeFixture::SetUp();
        AddSaveAnalysisMenu();
        ASSERT_EQ(getcwd(previous_, sizeof previous_), previous_);
        scratch_ = fs::temp_directory_path() / ("qm-save-" + std::to_string(getpid()));
        fs::create_directories(scratch_ / "first");
        fs::create_directories(scratch_ / "second");
        ASSERT_EQ(chdir(scratch_.c_str()), 0);
    }
    void TearDown() override {
        EXPECT_EQ(chdir(previous_), 0);
        fs::remove_all(scratch_);
        test::ProbeFixture::TearDown();
    }
    // Handles the queued messages up to the next frame.
    static void RenderNextFrame() {
        RequestFrame();
        for (int pass = 0; pass < 10000 && RunLoopStep(false) != LoopStep::Rendered; ++pass) {
        }
    }
    bool SaveEnabled() { return GetMenuState(GetMenu(g_app.mainWindow), kSaveAnalysisCommand, MF_BYCOMMAND) == 0; }
    fs::path scratch_;
    char previous_[4096] = "";
};

TEST_F(SaveAnalysis, AFinishedRunIsSavedAsAnalyzeWritesItAndStaysOnScreen) {
    EXPECT_FALSE(win32::ChooseMenuItem(g_app.mainWindow, kSaveAnalysisCommand)) << "grayed before any run";
    ASSERT_TRUE(win32::ClickButton(GetDlgItem(g_app.settingsDialog, kStartButton)));
    RunLoopStep(false);
    EXPECT_FALSE(win32::ChooseMenuItem(g_app.mainWindow, kSaveAnalysisCommand)) << "grayed while measuring";
    for (int pass = 0; pass < 200000 && ActiveProbe().run.level < kLevelsDone; ++pass) RunLoopStep(false);
    ASSERT_EQ(ActiveProbe().run.level, kLevelsDone);
    RenderNextFrame();
    EXPECT_TRUE(SaveEnabled());
    const AnalysisFigures figures = CurrentAnalysisFigures();
    const std::string sum = FieldText(kHitTotalField);

    win32::ClearMessageBoxes();
    win32::QueueFolderAnswer((scratch_ / "first").string());
    ASSERT_TRUE(win32::ChooseMenuItem(g_app.mainWindow, kSaveAnalysisCommand));
    EXPECT_TRUE(win32::MessageBoxesShown().empty()) << "no failure was reported";
    const fs::path first = scratch_ / "first";
    EXPECT_EQ(BitmapSize(first / "heatmap.bmp"), std::make_pair(800, 600));
    EXPECT_EQ(BitmapSize(first / "MipBand.bmp"), std::make_pair(kPlotWidth, PlotHeightFor(800, 600)));
    const nlohmann::json document = nlohmann::json::parse(FileText(first / kFiguresFileName));
    const nlohmann::json& json = document["cells"][0]["figures"];  // as analyze --json writes it
    EXPECT_EQ(json["sum"], figures.hitTotal);
    EXPECT_EQ(json["max"], figures.maxHits);
    EXPECT_EQ(json["done"], true);
    const std::string page = FileText(first / "report.html");
    EXPECT_NE(page.find("data-figure=\"sum\">" + std::to_string(figures.hitTotal) + "<"), std::string::npos);
    EXPECT_NE(page.find("data:image/png;base64,"), std::string::npos);
    EXPECT_EQ(page.find("Not measured"), std::string::npos) << "the level of detail was measured";

    // The run and its figures are still on screen, and can be saved again.
    EXPECT_TRUE(ActiveProbe().run.running);
    EXPECT_EQ(ActiveProbe().run.level, kLevelsDone);
    EXPECT_EQ(FieldText(kHitTotalField), sum);
    EXPECT_EQ(CurrentAnalysisFigures().hitTotal, figures.hitTotal);
    win32::QueueFolderAnswer((scratch_ / "second").string());
    ASSERT_TRUE(win32::ChooseMenuItem(g_app.mainWindow, kSaveAnalysisCommand));
    EXPECT_EQ(FileText(scratch_ / "second" / "MipBand.bmp"), FileText(first / "MipBand.bmp"));
    EXPECT_EQ(FileText(scratch_ / "second" / "heatmap.bmp"), FileText(first / "heatmap.bmp"));

    // A cancelled folder dialog writes nothing; Stop writes MipBand.bmp where it always did.
    ASSERT_TRUE(win32::ChooseMenuItem(g_app.mainWindow, kSaveAnalysisCommand));
    ASSERT_TRUE(win32::ClickButton(GetDlgItem(g_app.settingsDialog, kStopButton)));
    EXPECT_EQ(FileText(scratch_ / "MipBand.bmp"), FileText(first / "MipBand.bmp"));
    RenderNextFrame();
    EXPECT_FALSE(SaveEnabled()) << "grayed once the run is stopped";
}

}  // namespace
}  // namespace quillmark
