// The program's windows on a real desktop screen: the Settings dialog opens
// wholly on the screen that holds the main window, whatever its size and
// scale, and the keyboard reaches every slider in the order of the layout,
// showing where the focus is. Pointer and keys come through XTest. Needs a
// display; without one the tests run in children under xvfb-run, on screens
// of 1366 x 768 and 1600 x 1200 at GDK_SCALE 1 and 2.
#include "app/ab_flip.h"
#include "app/analysis.h"
#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/device_menu.h"
#include "app/pixel_inspector.h"
#include "app/probe.h"
#include "app/save_analysis.h"
#include "app/settings_dialog.h"
#include "app/shell.h"
#include "app/window_tools.h"
#include "x_input.h"
#include "xvfb_child.h"

#include "devices/select/d3d9_select.h"
#include "platform/win32/backend.h"
#include "platform/win32/desktop_probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <thread>
#include <vector>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

// Handles pending display events and queued messages for a while, so that
// what XTest sent has reached the widgets and the program.
void Settle() {
    for (int round = 0; round < 10; ++round) {
        win32::DesktopProcessEvents();
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
}

bool Inside(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom && inner.right > inner.left && inner.bottom > inner.top;
}

::testing::AssertionResult Within(const RECT& outer, const RECT& inner) {
    if (Inside(outer, inner)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << inner.left << "," << inner.top << ")-(" << inner.right << ","
                                         << inner.bottom << ") is not within (" << outer.left << "," << outer.top
                                         << ")-(" << outer.right << "," << outer.bottom << ")";
}

// The control of the Settings dialog that holds the keyboard focus (its
// id), or 0.
int FocusedControl() {
    for (HWND child = GetWindow(g_app.settingsDialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (win32::DesktopFactsOf(child).focused) return GetDlgCtrlID(child);
    return 0;
}

class DesktopWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!win32::DisplayAvailable()) GTEST_SKIP() << "no display";
        ASSERT_TRUE(win32::SelectBackend(win32::Backend::Gtk));
        g_app = AppState{};
        ASSERT_TRUE(StartProbe(instance_));
        Settle();
    }
    void TearDown() override {
        if (win32::CurrentBackend() != win32::Backend::Gtk) return;
        if (IsWindow(g_app.mainWindow)) DestroyWindow(g_app.mainWindow);
        Settle();
        FinishProbe(instance_);
        g_app = AppState{};
        EXPECT_TRUE(win32::SelectBackend(win32::Backend::Headless));
    }
    HINSTANCE instance_ = GetModuleHandleA(nullptr);
    ProbeState probeState_;
    ActiveProbeScope probeScope_{probeState_};
};

// The dialog's frame lies on the screen; Tab walks the tab stops in the
// order of the layout, each shown on the screen when it takes the focus
// (the dialog scrolls to it where the screen is too small for all of it),
// and each slider draws its focus; the arrow keys move a focused scroll bar.
TEST_F(DesktopWindow, TheSettingsDialogOpensOnTheScreenAndTheKeyboardWalksItsLayout) {
    test::XInput input;
    if (!input.Ready()) GTEST_SKIP() << "the XTest extension cannot be reached";
    RECT screen{};
    GetClientRect(GetDesktopWindow(), &screen);
    const win32::DesktopFacts dialog = win32::DesktopFactsOf(g_app.settingsDialog);
    ASSERT_TRUE(dialog.shown);
    EXPECT_TRUE(Within(screen, dialog.onScreen)) << "the dialog";
    ASSERT_TRUE(Inside(dialog.onScreen, dialog.clientOnScreen));

    POINT caption{};
    ASSERT_TRUE(win32::DesktopCaptionCentre(g_app.settingsDialog, caption));
    // The keyboard goes to the window under the pointer, which moves in the
    // screen's device pixels.
    const char* scale = std::getenv("GDK_SCALE");
    const int factor = scale && std::atoi(scale) > 0 ? std::atoi(scale) : 1;
    input.MoveTo(caption.x * factor, caption.y * factor);
    Settle();
    // Tab round to the last stop first: the walk below then starts at the
    // top, in a dialog that has long been the active window.
    for (int press = 0; press < 20 && FocusedControl() != kStartButton; ++press) {
        input.Key("Tab");
        Settle();
    }
    ASSERT_EQ(FocusedControl(), kStartButton);

    const std::vector<int> layout = {kAnisotropySlider, kLodBiasSlider,  kStageSlider,      kMinFilterList,
                                     kMagFilterList,    kMipFilterList,  kBrowseButton,     kCheckerSlider,
                                     kDistanceSlider,   kPlaneAngleBar,  kFacesSlider,      kSceneRotationBar,
                                     kTextureRotationBar, kStartButton};  // Stop is disabled until Start
    const std::vector<int> sliders = {kAnisotropySlider, kLodBiasSlider, kStageSlider,      kCheckerSlider,
                                      kDistanceSlider,   kPlaneAngleBar, kFacesSlider,      kSceneRotationBar,
                                      kTextureRotationBar};
    std::vector<int> seen;
    std::vector<std::pair<int, std::vector<std::uint32_t>>> focusedLooks;
    for (std::size_t press = 0; press < layout.size(); ++press) {
        input.Key("Tab");
        Settle();
        const int id = FocusedControl();
        seen.push_back(id);
        const HWND control = GetDlgItem(g_app.settingsDialog, id);
        const RECT shown = win32::DesktopFactsOf(g_app.settingsDialog).clientOnScreen;
        EXPECT_TRUE(Within(shown, win32::DesktopFactsOf(control).onScreen)) << "control " << id << " is shown";
        EXPECT_TRUE(Within(screen, win32::DesktopFactsOf(control).onScreen)) << "control " << id << " on screen";
        if (std::find(sliders.begin(), sliders.end(), id) != sliders.end()) {
            Settle();  // the widget's style follows its new state by the next frame
            int width = 0, height = 0;
            focusedLooks.emplace_back(id, win32::DesktopSnapshot(control, width, height));
        }
    }
    EXPECT_EQ(seen, layout);
    EXPECT_TRUE(win32::DesktopFactsOf(g_app.settingsDialog).focusRing);

    // Every slider looks different with the focus than without it.
    ASSERT_EQ(focusedLooks.size(), sliders.size());
    // Start has the focus again: every slider is without it.
    for (const auto& [id, focused] : focusedLooks) {
        int width = 0, height = 0;
        const std::vector<std::uint32_t> plain =
            win32::DesktopSnapshot(GetDlgItem(g_app.settingsDialog, id), width, height);
        ASSERT_FALSE(plain.empty());
        EXPECT_NE(plain, focused) << "control " << id << " shows no focus";
    }

    // The focused scene rotation bar answers the arrow keys.
    while (FocusedControl() != kSceneRotationBar && seen.size() < 40) {
        input.Key("Tab");
        Settle();
        seen.push_back(FocusedControl());
    }
    ASSERT_EQ(FocusedControl(), kSceneRotationBar);
    input.Key("Right");
    input.Key("Right");
    Settle();
    EXPECT_EQ(ActiveProbe().settings.sceneRotation, 2.0f);
    input.Key("Left");
    Settle();
    EXPECT_EQ(ActiveProbe().settings.sceneRotation, 1.0f);
}

// The Device menu stands above the frame, which keeps its 800 x 600
// pixels; choosing a device there switches to it, and the title names it.
TEST_F(DesktopWindow, TheDeviceMenuSwitchesTheDeviceAndTheTitleFollows) {
    AddDeviceMenu();
    Settle();
    win32::DesktopFacts main = win32::DesktopFactsOf(g_app.mainWindow);
    EXPECT_EQ(main.title, DeviceWindowTitle("reference"));
    EXPECT_EQ(main.clientWidth, 800);
    EXPECT_EQ(main.clientHeight, 600);
    std::string other;
    for (const std::string& name : DeviceNames()) {
        std::string description, error;
        if (name != "reference" && DescribeDevice(name, &description, &error)) other = name;
    }
    if (other.empty()) GTEST_SKIP() << "this machine has no second device that opens";
    const std::vector<std::string> names = DeviceNames();
    const auto at = std::find(names.begin(), names.end(), other) - names.begin();
    ASSERT_TRUE(win32::DesktopChooseMenuItem(g_app.mainWindow, kDeviceMenuFirst + UINT(at)));
    Settle();
    EXPECT_EQ(SelectedDeviceName(), other);
    EXPECT_EQ(win32::DesktopFactsOf(g_app.mainWindow).title, DeviceWindowTitle(other));
    EXPECT_NE(ActiveProbe().device, nullptr);
    SelectDevice("reference", nullptr);
}

// Save Analysis... of a finished run, answered in the GTK folder chooser:
// the files land in the folder picked there, and the run stays on screen.
TEST_F(DesktopWindow, SaveAnalysisWritesIntoTheFolderPickedInTheChooser) {
    AddSaveAnalysisMenu();
    const fs::path folder = fs::temp_directory_path() / ("qm-desktop-save-" + std::to_string(getpid()));
    fs::create_directories(folder);
    ASSERT_TRUE(win32::DesktopClick(GetDlgItem(g_app.settingsDialog, kStartButton)));
    for (int pass = 0; pass < 200000 && ActiveProbe().run.level < kLevelsDone; ++pass) RunLoopStep(false);
    ASSERT_EQ(ActiveProbe().run.level, kLevelsDone);
    RequestFrame();
    for (int pass = 0; pass < 10000 && RunLoopStep(false) != LoopStep::Rendered; ++pass) {
    }
    ASSERT_TRUE(win32::DesktopAnswerFileChooser(folder.string()));
    ASSERT_TRUE(win32::DesktopChooseMenuItem(g_app.mainWindow, kSaveAnalysisCommand));
    Settle();
    for (const char* name : {"MipBand.bmp", "heatmap.bmp", "report.html", kFiguresFileName})
        EXPECT_TRUE(fs::exists(folder / name)) << name;
    EXPECT_TRUE(ActiveProbe().run.running);
    EXPECT_EQ(ActiveProbe().run.level, kLevelsDone);
    fs::remove_all(folder);
}

// The screen's device pixels per pixel (GDK_SCALE), in which XTest moves
// the pointer.
int DeviceScale() {
    const char* scale = std::getenv("GDK_SCALE");
    return scale && std::atoi(scale) > 0 ? std::atoi(scale) : 1;
}

// A click of the real pointer on pixel (x, y) of the main window's frame.
void ClickFramePixel(test::XInput& input, int x, int y) {
    const RECT client = win32::DesktopFactsOf(g_app.mainWindow).clientOnScreen;
    input.MoveTo((client.left + x) * DeviceScale(), (client.top + y) * DeviceScale());
    input.Click();
    Settle();
}

// A click on the frame under point filtering opens the inspector on that
// pixel, which one texel of one level reaches with all of its colour.
TEST_F(DesktopWindow, ClickingAPixelOpensTheInspectorOnItsTexels) {
    test::XInput input;
    if (!input.Ready()) GTEST_SKIP() << "the XTest extension cannot be reached";
    Probe probe{Probe::Running{}};
    ProbeSettings settings = probe.Settings();
    settings.showPlane = true;
    settings.planeAngle = 40;
    settings.minFilter = settings.magFilter = settings.mipFilter = D3DTEXF_POINT;
    ASSERT_TRUE(probe.Apply(settings));
    ASSERT_TRUE(probe.DrawFrame());
    ShowWindow(g_app.settingsDialog, SW_HIDE);  // wherever it stands, it is not in the way
    Settle();
    ClickFramePixel(input, 150, 320);
    for (int round = 0; round < 20 && !ShownPixelInspection(); ++round) Settle();
    const PixelInspection* shown = ShownPixelInspection();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->x, 150);
    EXPECT_EQ(shown->y, 320);
    ASSERT_EQ(shown->probed.texels.size(), 1u);
    EXPECT_EQ(shown->probed.texels[0].weight, 1.0);
    Settle();
    const win32::DesktopFacts inspector = win32::DesktopFactsOf(PixelInspectorWindow());
    EXPECT_TRUE(inspector.shown);
    EXPECT_EQ(inspector.title, "Pixel 150, 320 - Quillmark");
    const Picture picture = InspectionPicture(*shown);
    EXPECT_EQ(inspector.clientWidth, picture.width);
    EXPECT_EQ(inspector.clientHeight, picture.height);
}

// The B key over the frame flips it to the second device, where reduced
// trilinear filtering draws another frame, and back; the title says which
// device is shown.
TEST_F(DesktopWindow, TheBKeyFlipsTheFrameBetweenTwoDevices) {
    test::XInput input;
    if (!input.Ready()) GTEST_SKIP() << "the XTest extension cannot be reached";
    AddDeviceMenu();
    AddWindowToolMenus();
    Probe probe{Probe::Running{}};
    ProbeSettings settings = probe.Settings();
    settings.minFilter = settings.magFilter = settings.mipFilter = D3DTEXF_LINEAR;
    ASSERT_TRUE(probe.Apply(settings));
    std::string error;
    ASSERT_TRUE(SetSecondDevice("model:blend-width=0.5", &error)) << error;
    ShowWindow(g_app.settingsDialog, SW_HIDE);
    ASSERT_TRUE(probe.DrawFrame());
    Settle();
    const auto snapshot = [&] {
        int width = 0, height = 0;
        return win32::DesktopSnapshot(g_app.mainWindow, width, height, DeviceScale());
    };
    const auto press = [&] {
        input.Key("b");
        Settle();
        probe.DrawFrame();
        Settle();
    };
    const std::vector<std::uint32_t> onA = snapshot();
    ASSERT_FALSE(onA.empty());
    const RECT client = win32::DesktopFactsOf(g_app.mainWindow).clientOnScreen;
    input.MoveTo((client.left + 100) * DeviceScale(), (client.top + 100) * DeviceScale());
    press();
    std::string title = win32::DesktopFactsOf(g_app.mainWindow).title;
    EXPECT_EQ(title, DeviceWindowTitle("model:blend-width=0.5") + " (B)");
    EXPECT_EQ(SelectedDeviceName(), "model:blend-width=0.5");
    EXPECT_NE(snapshot(), onA);
    press();
    title = win32::DesktopFactsOf(g_app.mainWindow).title;
    EXPECT_EQ(title, DeviceWindowTitle("reference") + " (A)");
    EXPECT_EQ(SelectedDeviceName(), "reference");
    EXPECT_EQ(snapshot(), onA);
    SelectDevice("reference", nullptr);
}

// Without a display, the tests above run under virtual screens of both
// sizes at both scales (the saving, which does not depend on the screen,
// on one of them).
struct Screen {
    const char* size;
    const char* scale;
    const char* tests;
};

constexpr const char* kScreenTests = "DesktopWindow.*:-DesktopWindow.SaveAnalysis*";

class DesktopWindowUnderXvfb : public ::testing::TestWithParam<Screen> {};

TEST_P(DesktopWindowUnderXvfb, Passes) {
    const test::XvfbChildRun run =
        test::RunSelfUnderXvfb(GetParam().tests, GetParam().size, std::string("GDK_SCALE=") + GetParam().scale);
    if (!run.skip.empty()) GTEST_SKIP() << run.skip;
    test::ExpectEveryTestPassed(run);
}

INSTANTIATE_TEST_SUITE_P(Screens, DesktopWindowUnderXvfb,
                         ::testing::Values(Screen{"1366x768", "1", kScreenTests}, Screen{"1366x768", "2", kScreenTests},
                                           Screen{"1600x1200", "1", "DesktopWindow.*"},
                                           Screen{"1600x1200", "2", kScreenTests}),
                         [](const auto& info) {
                             return std::string("At") + info.param.size + "Scale" + info.param.scale;
                         });

}  // namespace
}  // namespace quillmark
