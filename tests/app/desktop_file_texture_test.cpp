// The probe on the desktop backend: "Browse..." opens the GTK file chooser,
// the file picked in it becomes the texture, and with "Use BMP:" the frame
// shows it. Needs a display; without one, the test runs in a child process
// under xvfb-run.
#include "../texfile/texture_test_support.h"
#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/scene.h"
#include "app/settings_dialog.h"
#include "app/shell.h"
#include "xvfb_child.h"

#include "platform/win32/backend.h"
#include "platform/win32/desktop_probe.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace quillmark {
namespace {

constexpr std::uint32_t kTextureColour = 0x3366CC;

// Handles every pending display event and queued message, without waiting.
void Pump() {
    for (int round = 0; round < 5; ++round) {
        win32::DesktopProcessEvents();
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

// Pixels of the frame on screen that show the texture's colour.
int PixelsOfTextureColour() {
    RenderFrame();
    Pump();
    int width = 0, height = 0;
    const std::vector<std::uint32_t> shown = win32::DesktopSnapshot(g_app.mainWindow, width, height);
    int count = 0;
    for (const std::uint32_t pixel : shown) count += (pixel & 0xFFFFFF) == kTextureColour;
    return count;
}

TEST(DesktopProbe, BrowseLoadsTheFileChosenInTheFileChooserAndTheFrameShowsIt) {
    if (!win32::DisplayAvailable()) GTEST_SKIP() << "no display";
    ASSERT_TRUE(win32::SelectBackend(win32::Backend::Gtk));
    char pattern[] = "/tmp/quillmark-desktop-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::filesystem::path directory = pattern;
    const std::string path = (directory / "solid.bmp").string();
    const testing::Bytes file = testing::Bitmap24(8, 8, [](int, int) { return kTextureColour; });
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));

    g_app = AppState{};
    ProbeState probeState;
    ActiveProbeScope probeScope(probeState);
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    ASSERT_TRUE(StartProbe(instance));
    Pump();
    EXPECT_EQ(PixelsOfTextureColour(), 0);

    ASSERT_TRUE(win32::DesktopAnswerFileChooser(path));
    ASSERT_TRUE(win32::DesktopClick(GetDlgItem(g_app.settingsDialog, kBrowseButton)));
    Pump();
    EXPECT_NE(ActiveProbe().fileTexture, nullptr);
    EXPECT_EQ(ActiveProbe().fileTexturePath, path);
    ASSERT_TRUE(win32::DesktopClick(GetDlgItem(g_app.settingsDialog, kUseFileTextureRadio)));
    Pump();
    EXPECT_TRUE(ActiveProbe().settings.useFileTexture);
    EXPECT_GT(PixelsOfTextureColour(), 10000);  // the tunnel's walls show the file's colour

    DestroyWindow(g_app.mainWindow);
    Pump();
    FinishProbe(instance);
    g_app = AppState{};
    std::filesystem::remove_all(directory);
}

// Without a display, the test above runs in a child under a virtual one.
TEST(DesktopProbeUnderXvfb, Passes) {
    const test::XvfbChildRun run = test::RunSelfUnderXvfb("DesktopProbe.*");
    if (!run.skip.empty()) GTEST_SKIP() << run.skip;
    test::ExpectEveryTestPassed(run);
}

}  // namespace
}  // namespace quillmark
