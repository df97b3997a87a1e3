// The probe on the desktop backend: "Browse..." opens the GTK file chooser,
// the file picked in it becomes the texture, and with "Use BMP:" the frame
// shows it. Needs a display; without one, the test runs in a child process
// under xvfb-run.
#include "../texfile/texture_test_support.h"
#include "app_state.h"
#include "scene.h"
#include "settings_dialog.h"
#include "shell.h"

#include "backend.h"
#include "desktop_probe.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
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
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    ASSERT_TRUE(StartProbe(instance));
    Pump();
    EXPECT_EQ(PixelsOfTextureColour(), 0);

    ASSERT_TRUE(win32::DesktopAnswerFileChooser(path));
    ASSERT_TRUE(win32::DesktopClick(GetDlgItem(g_app.settingsDialog, kBrowseButton)));
    Pump();
    EXPECT_NE(g_app.fileTexture, nullptr);
    EXPECT_EQ(g_app.fileTexturePath, path);
    ASSERT_TRUE(win32::DesktopClick(GetDlgItem(g_app.settingsDialog, kUseFileTextureRadio)));
    Pump();
    EXPECT_TRUE(g_app.useFileTexture);
    EXPECT_GT(PixelsOfTextureColour(), 10000);  // the tunnel's walls show the file's colour

    DestroyWindow(g_app.mainWindow);
    Pump();
    FinishProbe(instance);
    g_app = AppState{};
    std::filesystem::remove_all(directory);
}

// Without a display, the test above runs in a child under a virtual one.
TEST(DesktopProbeUnderXvfb, Passes) {
    if (win32::DisplayAvailable()) GTEST_SKIP() << "a display is present: the test ran directly";
    if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "xvfb-run is not installed";
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    const std::string command = std::string("ASAN_OPTIONS=detect_leaks=0 xvfb-run -a '") + self +
                                "' --gtest_filter='DesktopProbe.*' 2>&1";
    FILE* child = popen(command.c_str(), "r");
    ASSERT_NE(child, nullptr);
    std::string output;
    std::array<char, 4096> buffer;
    while (std::size_t got = fread(buffer.data(), 1, buffer.size(), child)) output.append(buffer.data(), got);
    const int status = pclose(child);
    if (output.find("cannot open display") != std::string::npos || output.find("xauth") != std::string::npos)
        GTEST_SKIP() << "xvfb could not start: " << output;
    if (status == 0 && output.find("no display") != std::string::npos)
        GTEST_SKIP() << "this build has no desktop backend";
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    EXPECT_EQ(output.find("[  FAILED  ]"), std::string::npos) << output;
}

}  // namespace
}  // namespace quillmark
