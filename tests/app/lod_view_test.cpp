// The λ view of the desktop window: the error map laid over the frame with
// its colour bar, and the status line reading λ under the pointer, checked
// against what `quillmark lod` measures (MeasureLod) with the same settings.
// The headless tests send the window its messages; DesktopLodView moves the
// real pointer and presses the real key through XTest on a virtual screen.
#include "app/probe_state.h"
#include "app/app_state.h"
#include "app/batch/level_frames.h"
#include "app/batch/lod_command.h"
#include "app/lod_figures.h"
#include "app/lod_view.h"
#include "app/probe.h"
#include "app/settings_dialog.h"
#include "app/shell.h"
#include "app/status_line.h"
#include "probe_fixture.h"
#include "x_input.h"
#include "xvfb_child.h"

#include "platform/win32/backend.h"
#include "platform/win32/commctrl.h"
#include "platform/win32/desktop_probe.h"
#include "platform/win32/user_input.h"
#include "platform/win32/window_image.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

// A tilted plane: λ runs over several levels from the bottom of the frame
// to the horizon.
ProbeSettings TiltedPlane() {
    ProbeSettings settings;
    settings.showPlane = true;
    settings.planeAngle = 70;
    settings.distanceTenths = 20;
    return settings;
}

// Runs the loop until no frame is due.
void DrawUntilIdle() {
    for (int pass = 0; pass < 10000 && RunLoopStep(false) != LoopStep::Idle; ++pass) {
    }
}

batch::LodMeasurement MeasureAsLodDoes() {
    Probe probe{Probe::Running{}};
    batch::LodMeasurement lod;
    std::string error;
    EXPECT_TRUE(batch::MeasureLod(probe, &lod, &error)) << error;
    return lod;
}

// A number the status text gives after `label`; none when it has no such label.
std::optional<double> NumberAfter(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) return std::nullopt;
    return std::stod(text.substr(at + label.size()));
}

// A pixel whose λ lies well inside the levels (room for a bias of one level
// either way, away from a level's edge), not clamped, and where `usable`
// says it may be; none when there is no such pixel.
template <typename Usable>
std::optional<POINT> PixelInsideTheLevels(const LodMaps& maps, Usable usable) {
    for (int y = maps.height - 20; y > 0; y -= 7)
        for (int x = 40; x < maps.width; x += 53) {
            const std::size_t p = std::size_t(y) * std::size_t(maps.width) + std::size_t(x);
            const double lambda = maps.measured[p].lambda, fraction = lambda - std::floor(lambda);
            if (maps.measured[p].covered && LodError(maps, p) && lambda > 1.2 && lambda < maps.lastLevel - 1.2 &&
                fraction > 0.2 && fraction < 0.8 && usable(x, y))
                return POINT{x, y};
        }
    return std::nullopt;
}

std::size_t IndexOf(const LodMaps& maps, POINT pixel) {
    return std::size_t(pixel.y) * std::size_t(maps.width) + std::size_t(pixel.x);
}

// The status line at a pixel reads what `lod` measured there.
void ExpectStatusReads(const std::string& status, const LodMaps& maps, POINT pixel) {
    const std::size_t p = IndexOf(maps, pixel);
    const std::string head = "Pixel (" + std::to_string(pixel.x) + ", " + std::to_string(pixel.y) + "): ";
    EXPECT_EQ(status.rfind(head, 0), 0u) << status;
    const std::optional<double> measured = NumberAfter(status, "lambda measured "),
                                ideal = NumberAfter(status, "ideal "), low = NumberAfter(status, "(band "),
                                high = NumberAfter(status, " to "), blend = NumberAfter(status, "blend "),
                                delta = NumberAfter(status, "delta ");
    ASSERT_TRUE(measured && ideal && low && high && blend && delta) << status;
    EXPECT_NEAR(*measured, maps.measured[p].lambda, 0.0005) << status;
    EXPECT_NEAR(*ideal, maps.ideal[p].level, 0.0005) << status;
    EXPECT_NEAR(*low, maps.ideal[p].low, 0.0005) << status;
    EXPECT_NEAR(*high, maps.ideal[p].high, 0.0005) << status;
    const int level = int(std::floor(maps.measured[p].lambda));
    EXPECT_NE(status.find("level " + std::to_string(level) + " blend"), std::string::npos) << status;
    EXPECT_NEAR(*blend, maps.measured[p].lambda - level, 0.0005) << status;
    EXPECT_NEAR(*delta, maps.measured[p].lambda - maps.ideal[p].level, 0.0011) << status;
}

class LodViewWindow : public test::ProbeFixture {
protected:
    void SetUp() override {
        test::ProbeFixture::SetUp();
        AddLodViewMenu();
        AddStatusLine();
        Probe{Probe::Running{}}.Apply(TiltedPlane());
        DrawUntilIdle();
    }
    void TearDown() override {
        if (LodViewShown()) ToggleLodView();
        test::ProbeFixture::TearDown();
    }
    static std::string StatusAt(POINT pixel) {
        SendMessageA(g_app.mainWindow, WM_MOUSEMOVE, 0, MAKELPARAM(pixel.x, pixel.y));
        return StatusText();
    }
};

// View > Lambda View lays the error map `lod` draws over the frame, pixel
// for pixel, with its colour bar in the top right corner, while the back
// buffer keeps the frame; the status line reads at the pointer the λ `lod`
// measured there, the ideal and its band, the level and blend, and Δλ.
TEST_F(LodViewWindow, LaysTheErrorMapOverTheFrameAndReadsLambdaUnderThePointerAsLodDoes) {
    const POINT anywhere{5, 5};
    EXPECT_EQ(StatusAt(anywhere), "Pixel (5, 5)") << "without the view the pixel alone";
    ASSERT_TRUE(win32::ChooseMenuItem(g_app.mainWindow, kLodViewCommand));
    DrawUntilIdle();
    ASSERT_TRUE(LodViewShown());
    EXPECT_TRUE(GetMenuState(GetMenu(g_app.mainWindow), kLodViewCommand, MF_BYCOMMAND) & MF_CHECKED);
    const win32::WindowImage shown = win32::GetWindowImage(g_app.mainWindow);
    const std::vector<std::uint32_t> frame = batch::BackBufferPixels();
    const batch::LodMeasurement lod = MeasureAsLodDoes();
    const LodMaps& maps = lod.maps;
    ASSERT_EQ(shown.width, maps.width);
    ASSERT_EQ(shown.pixels.size(), frame.size());

    const Picture legend = LodErrorLegend(300);
    const int legendLeft = maps.width - legend.width - 8, legendTop = 8;
    int mapped = 0, wrong = 0;
    for (int y = 0; y < maps.height; ++y)
        for (int x = 0; x < maps.width; ++x) {
            const std::size_t p = std::size_t(y) * std::size_t(maps.width) + std::size_t(x);
            const std::uint32_t pixel = shown.pixels[p] & 0xFFFFFF;
            if (x >= legendLeft && x < legendLeft + legend.width && y >= legendTop && y < legendTop + legend.height)
                wrong += pixel != legend.At(x - legendLeft, y - legendTop);
            else if (const std::optional<std::uint32_t> colour = LodErrorColour(maps, p))
                wrong += pixel != *colour, ++mapped;
            else
                wrong += pixel != (frame[p] & 0xFFFFFF);
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(mapped, maps.width * maps.height / 4);

    const std::optional<POINT> pixel = PixelInsideTheLevels(maps, [](int, int) { return true; });
    ASSERT_TRUE(pixel);
    ExpectStatusReads(StatusAt(*pixel), maps, *pixel);
    POINT bare{-1, -1};
    for (std::size_t p = 0; p < maps.measured.size() && bare.x < 0; ++p)
        if (!maps.measured[p].covered) bare = POINT{int(p % std::size_t(maps.width)), int(p / std::size_t(maps.width))};
    ASSERT_GE(bare.x, 0);
    EXPECT_NE(StatusAt(bare).find("the texture does not reach it"), std::string::npos) << StatusText();
}

// A slider moved in the dialog makes the view measure again: a LOD bias of
// one more level reads one level coarser at the same pixel. The L key turns
// the view off and the window shows the frame alone; with the mip filter
// off λ is not measured, and the status line says so.
TEST_F(LodViewWindow, FollowsTheSettingsAndTheKeyTurnsItOff) {
    SendMessageA(g_app.mainWindow, WM_KEYDOWN, kLodViewKey, 1);
    DrawUntilIdle();
    ASSERT_TRUE(LodViewShown());
    const batch::LodMeasurement before = MeasureAsLodDoes();
    const std::optional<POINT> pixel = PixelInsideTheLevels(before.maps, [](int, int) { return true; });
    ASSERT_TRUE(pixel);
    const std::optional<double> lambda = NumberAfter(StatusAt(*pixel), "lambda measured ");
    ASSERT_TRUE(lambda) << StatusText();

    const HWND bias = GetDlgItem(g_app.settingsDialog, kLodBiasSlider);
    ASSERT_TRUE(win32::DragTrackbar(bias, int(SendMessageA(bias, TBM_GETPOS, 0, 0)) + 10));
    DrawUntilIdle();
    const std::string moved = StatusText();  // the status line follows without the pointer moving
    const std::optional<double> biased = NumberAfter(moved, "lambda measured ");
    ASSERT_TRUE(biased) << moved;
    EXPECT_NEAR(*biased - *lambda, 1.0, 1.0 / 32) << moved;
    ExpectStatusReads(moved, MeasureAsLodDoes().maps, *pixel);

    SendMessageA(g_app.mainWindow, WM_KEYDOWN, kLodViewKey, 1);
    DrawUntilIdle();
    EXPECT_FALSE(LodViewShown());
    EXPECT_FALSE(GetMenuState(GetMenu(g_app.mainWindow), kLodViewCommand, MF_BYCOMMAND) & MF_CHECKED);
    const win32::WindowImage plain = win32::GetWindowImage(g_app.mainWindow);
    const std::vector<std::uint32_t> frame = batch::BackBufferPixels();
    ASSERT_EQ(plain.pixels.size(), frame.size());
    int differing = 0;
    for (std::size_t p = 0; p < frame.size(); ++p) differing += (plain.pixels[p] & 0xFFFFFF) != (frame[p] & 0xFFFFFF);
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(StatusAt(*pixel), "Pixel (" + std::to_string(pixel->x) + ", " + std::to_string(pixel->y) + ")");

    ProbeSettings unfiltered = CurrentProbeSettings();
    unfiltered.mipFilter = D3DTEXF_NONE;
    Probe{Probe::Running{}}.Apply(unfiltered);
    ToggleLodView();
    DrawUntilIdle();
    EXPECT_NE(StatusAt(*pixel).find("lambda not measured: the mip filter is off"), std::string::npos)
        << StatusText();
}

// While an analysis run is on screen the view waits, and says so.
TEST_F(LodViewWindow, WaitsWhileAnAnalysisRuns) {
    ToggleLodView();
    DrawUntilIdle();
    Probe probe{Probe::Running{}};
    ASSERT_TRUE(probe.StartAnalysis());
    probe.Step();
    EXPECT_NE(StatusAt(POINT{400, 500}).find("waits until the analysis is stopped"), std::string::npos)
        << StatusText();
    const fs::path plot = fs::temp_directory_path() / ("qm-lod-view-plot-" + std::to_string(getpid()) + ".bmp");
    probe.StopAnalysis(plot);
    fs::remove(plot);
    DrawUntilIdle();
    EXPECT_NE(StatusAt(POINT{400, 500}).find("Pixel (400, 500): "), std::string::npos) << StatusText();
    EXPECT_EQ(StatusText().find("waits"), std::string::npos) << StatusText();
}

// On the desktop: the pointer moved onto a pixel of the frame through XTest
// and the L key pressed there show in the status line below the frame the λ
// `lod` measures at that pixel; View > Lambda View turns the view off.
class DesktopLodView : public ::testing::Test {
protected:
    void SetUp() override {
        if (!win32::DisplayAvailable()) GTEST_SKIP() << "no display";
        ASSERT_TRUE(win32::SelectBackend(win32::Backend::Gtk));
        g_app = AppState{};
        ASSERT_TRUE(StartProbe(instance_));
        AddLodViewMenu();
        AddStatusLine();
        Probe{Probe::Running{}}.Apply(TiltedPlane());
        Settle();
    }
    void TearDown() override {
        if (win32::CurrentBackend() != win32::Backend::Gtk) return;
        if (LodViewShown()) ToggleLodView();
        if (IsWindow(g_app.mainWindow)) DestroyWindow(g_app.mainWindow);
        Settle();
        FinishProbe(instance_);
        g_app = AppState{};
        EXPECT_TRUE(win32::SelectBackend(win32::Backend::Headless));
    }
    // Handles what XTest sent and draws until no frame is due.
    static void Settle() {
        for (int round = 0; round < 10; ++round) {
            win32::DesktopProcessEvents();
            if (IsWindow(g_app.mainWindow)) DrawUntilIdle();
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
    }
    HINSTANCE instance_ = GetModuleHandleA(nullptr);
    ProbeState probeState_;
    ActiveProbeScope probeScope_{probeState_};
};

TEST_F(DesktopLodView, ThePointerAndTheKeyReadLambdaInTheStatusLineAsLodMeasuresIt) {
    test::XInput input;
    if (!input.Ready()) GTEST_SKIP() << "the XTest extension cannot be reached";
    const char* scale = std::getenv("GDK_SCALE");
    const int factor = scale && std::atoi(scale) > 0 ? std::atoi(scale) : 1;
    const HWND status = GetWindow(g_app.mainWindow, GW_CHILD);
    ASSERT_NE(status, nullptr);
    const win32::DesktopFacts window = win32::DesktopFactsOf(g_app.mainWindow);
    const RECT dialog = win32::DesktopFactsOf(g_app.settingsDialog).onScreen;
    RECT screen{};
    GetClientRect(GetDesktopWindow(), &screen);
    const RECT client = window.clientOnScreen;
    const auto onScreenAlone = [&](int x, int y) {
        const int sx = client.left + x, sy = client.top + y;
        const bool underDialog = sx >= dialog.left - 2 && sx < dialog.right + 2 && sy >= dialog.top - 2 &&
                                 sy < dialog.bottom + 2;
        return !underDialog && sx < screen.right && sy < screen.bottom;
    };
    const batch::LodMeasurement lod = MeasureAsLodDoes();
    const std::optional<POINT> pixel = PixelInsideTheLevels(lod.maps, onScreenAlone);
    ASSERT_TRUE(pixel) << "no pixel of the frame inside the levels is on the screen and clear of the dialog";

    // Into the middle of the pixel's block of device pixels.
    input.MoveTo((client.left + pixel->x) * factor + factor / 2, (client.top + pixel->y) * factor + factor / 2);
    Settle();
    EXPECT_EQ(win32::DesktopFactsOf(status).text,
              "Pixel (" + std::to_string(pixel->x) + ", " + std::to_string(pixel->y) + ")");
    input.Key("l");
    Settle();
    ASSERT_TRUE(LodViewShown());
    ExpectStatusReads(win32::DesktopFactsOf(status).text, lod.maps, *pixel);
    int width = 0, height = 0;
    const std::vector<std::uint32_t> drawn = win32::DesktopSnapshot(g_app.mainWindow, width, height, factor);
    ASSERT_EQ(width, lod.maps.width * factor);
    const std::optional<std::uint32_t> colour = LodErrorColour(lod.maps, IndexOf(lod.maps, *pixel));
    ASSERT_TRUE(colour);
    EXPECT_EQ(drawn[std::size_t(pixel->y * factor) * std::size_t(width) + std::size_t(pixel->x * factor)] & 0xFFFFFF,
              *colour);

    ASSERT_TRUE(win32::DesktopChooseMenuItem(g_app.mainWindow, kLodViewCommand));
    Settle();
    EXPECT_FALSE(LodViewShown());
}

// Without a display, on virtual screens at GDK_SCALE 1 and 2.
struct Screen {
    const char* size;
    const char* scale;
};

class DesktopLodViewUnderXvfb : public ::testing::TestWithParam<Screen> {};

TEST_P(DesktopLodViewUnderXvfb, Passes) {
    const test::XvfbChildRun run =
        test::RunSelfUnderXvfb("DesktopLodView.*", GetParam().size, std::string("GDK_SCALE=") + GetParam().scale);
    if (!run.skip.empty()) GTEST_SKIP() << run.skip;
    test::ExpectEveryTestPassed(run);
}

INSTANTIATE_TEST_SUITE_P(Screens, DesktopLodViewUnderXvfb,
                         ::testing::Values(Screen{"1366x768", "1"}, Screen{"1600x1200", "2"}),
                         [](const auto& info) {
                             return std::string("At") + info.param.size + "Scale" + info.param.scale;
                         });

}  // namespace
}  // namespace quillmark
