// A / B and the explanation panel on the headless backend: the B key flips
// the frame between the device in use and a second one, the title saying
// which is shown, and flipping back gives the first frame again; the D key
// shows where the two differ; Explain This Device names the model that
// explains the device and a click on its panel flips to that model.
#include "app/probe_state.h"
#include "app/ab_flip.h"
#include "app/app_state.h"
#include "app/explain_panel.h"
#include "app/pixel_inspector.h"
#include "app/probe.h"
#include "app/status_line.h"
#include "probe_fixture.h"

#include "devices/select/d3d9_select.h"
#include "platform/win32/headless_dialogs.h"
#include "platform/win32/user_input.h"
#include "platform/win32/window_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace quillmark {
namespace {

constexpr const char* kReducedTrilinear = "model:blend-width=0.5";

std::string Title() {
    char text[512] = {};
    GetWindowTextA(g_app.mainWindow, text, sizeof text);
    return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::uint32_t> Frame() { return win32::GetWindowImage(g_app.mainWindow).pixels; }

class AbFlip : public test::ProbeFixture {
protected:
    void SetUp() override {
        test::ProbeFixture::SetUp();
        AddAbMenu();
        probe_ = std::make_unique<Probe>(Probe::Running{});
        // Trilinear filtering, where a reduced blend changes the frame.
        ProbeSettings settings = probe_->Settings();
        settings.minFilter = settings.magFilter = settings.mipFilter = D3DTEXF_LINEAR;
        ASSERT_TRUE(probe_->Apply(settings));
        ASSERT_TRUE(probe_->DrawFrame());
        win32::ClearMessageBoxes();
    }
    void TearDown() override {
        probe_.reset();
        SelectDevice("reference", nullptr);
        std::string error;
        SetSecondDevice("reference", &error);
        test::ProbeFixture::TearDown();
    }
    void Press(WPARAM key) {
        SendMessageA(g_app.mainWindow, WM_KEYDOWN, key, 1);
        ASSERT_TRUE(probe_->DrawFrame());
    }
    std::unique_ptr<Probe> probe_;
};

TEST_F(AbFlip, TheKeyFlipsTheFrameBetweenTheTwoDevicesAndTheTitleSaysWhich) {
    std::string error;
    ASSERT_TRUE(SetSecondDevice(kReducedTrilinear, &error)) << error;
    const ProbeSettings settings = probe_->Settings();
    const std::vector<std::uint32_t> onA = Frame();
    Press(kFlipKey);
    EXPECT_EQ(SelectedDeviceName(), kReducedTrilinear);
    EXPECT_TRUE(ShowingSecondDevice());
    EXPECT_TRUE(EndsWith(Title(), " (B)")) << Title();
    EXPECT_NE(Title().find(kReducedTrilinear), std::string::npos) << Title();
    const std::vector<std::uint32_t> onB = Frame();
    EXPECT_NE(onB, onA);
    EXPECT_EQ(probe_->Settings(), settings);

    Press(kFlipKey);
    EXPECT_EQ(SelectedDeviceName(), "reference");
    EXPECT_FALSE(ShowingSecondDevice());
    EXPECT_TRUE(EndsWith(Title(), " (A)")) << Title();
    EXPECT_EQ(Frame(), onA);
    EXPECT_EQ(probe_->Settings(), settings);
    EXPECT_TRUE(win32::MessageBoxesShown().empty());
}

TEST_F(AbFlip, TheDifferenceShowsWhereTheDevicesDiffer) {
    std::string error;
    ASSERT_TRUE(SetSecondDevice(kReducedTrilinear, &error)) << error;
    const std::vector<std::uint32_t> onA = Frame();
    Press(kDifferenceKey);
    const AbDifference* shown = ShownDifference();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->a, "reference");
    EXPECT_EQ(shown->b, kReducedTrilinear);
    EXPECT_EQ(SelectedDeviceName(), "reference");  // A is in use again
    EXPECT_EQ(shown->frameA, onA);
    ASSERT_EQ(shown->frameB.size(), onA.size());
    int differing = 0;
    for (std::size_t i = 0; i < onA.size(); ++i) differing += (onA[i] & 0xFFFFFF) != (shown->frameB[i] & 0xFFFFFF);
    EXPECT_GT(differing, 0);
    EXPECT_EQ(shown->differing, differing);
    // The difference image is black exactly where the frames agree.
    const Picture& picture = shown->picture;
    const int top = picture.height - ActiveProbe().windowHeight;
    for (int y = 0; y < ActiveProbe().windowHeight; y += 7)
        for (int x = 0; x < ActiveProbe().windowWidth; x += 5) {
            const std::size_t p = std::size_t(y) * std::size_t(ActiveProbe().windowWidth) + std::size_t(x);
            const bool same = (onA[p] & 0xFFFFFF) == (shown->frameB[p] & 0xFFFFFF);
            ASSERT_EQ((picture.At(x, top + y) & 0xFFFFFF) == 0, same) << x << "," << y;
        }
    ASSERT_TRUE(DifferenceWindow());
    EXPECT_EQ(win32::GetWindowImage(DifferenceWindow()).pixels, picture.pixels);

    // A device against itself differs nowhere.
    ASSERT_TRUE(SetSecondDevice("reference", &error));
    Press(kDifferenceKey);
    ASSERT_TRUE(ShownDifference());
    EXPECT_EQ(ShownDifference()->differing, 0);
}

TEST_F(AbFlip, TheMenuChoosesTheSecondDeviceAndFlippingNeedsOne) {
    std::string error;
    EXPECT_FALSE(SetSecondDevice("no-such-device", &error));
    EXPECT_FALSE(error.empty());
    const std::vector<std::string> names = DeviceNames();
    const auto at = std::find(names.begin(), names.end(), "reference") - names.begin();
    ASSERT_LT(std::size_t(at), names.size());
    ASSERT_TRUE(win32::ChooseMenuItem(g_app.mainWindow, kSecondDeviceFirst + UINT(at)));
    EXPECT_EQ(SecondDevice(), "reference");
    EXPECT_TRUE(GetMenuState(GetMenu(g_app.mainWindow), kSecondDeviceFirst + UINT(at), MF_BYCOMMAND) & MF_CHECKED);

    // During an analysis run Flip and Difference are grayed, the device stays
    // as it is, and the key is answered with a message box saying why.
    ASSERT_TRUE(SetSecondDevice(kReducedTrilinear, &error));
    ASSERT_TRUE(probe_->StartAnalysis());
    EXPECT_FALSE(win32::ChooseMenuItem(g_app.mainWindow, kFlipCommand));
    EXPECT_FALSE(win32::ChooseMenuItem(g_app.mainWindow, kDifferenceCommand));
    SendMessageA(g_app.mainWindow, WM_KEYDOWN, kFlipKey, 1);
    EXPECT_EQ(SelectedDeviceName(), "reference");
    ASSERT_EQ(win32::MessageBoxesShown().size(), 1u);
    EXPECT_EQ(win32::MessageBoxesShown()[0].text,
              "Could not flip to the other device: the device cannot change while an analysis runs.");
    probe_->StopAnalysis(std::filesystem::temp_directory_path() / ("qm-ab-" + std::to_string(getpid()) + ".bmp"));
    std::filesystem::remove(std::filesystem::temp_directory_path() / ("qm-ab-" + std::to_string(getpid()) + ".bmp"));
    EXPECT_TRUE(win32::ChooseMenuItem(g_app.mainWindow, kFlipCommand));
    EXPECT_EQ(SelectedDeviceName(), kReducedTrilinear);
}

// A flip asked for while the inspector draws its frames (the key queued
// before the click is dispatched by the inspector's own frames) is dropped:
// the probe reads one device throughout, and the device stays.
TEST_F(AbFlip, AFlipAskedForWhileTheInspectorProbesIsDropped) {
    std::string error;
    ASSERT_TRUE(SetSecondDevice(kReducedTrilinear, &error)) << error;
    PostMessageA(g_app.mainWindow, WM_KEYDOWN, kFlipKey, 1);
    SendMessageA(g_app.mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(333, 457));
    DrainMessages();
    ASSERT_TRUE(ShownPixelInspection());
    EXPECT_TRUE(ShownPixelInspection()->probed.complete);
    EXPECT_EQ(SelectedDeviceName(), "reference");
    EXPECT_FALSE(ShowingSecondDevice());
    EXPECT_TRUE(win32::MessageBoxesShown().empty());
}

// The explanation of the reference device names a model; a click on the
// panel shows the model's frame, another the device's again.
TEST_F(AbFlip, TheExplanationPanelFlipsBetweenTheDeviceAndItsModel) {
    AddExplainMenu();
    AddStatusLine();
    const std::vector<std::uint32_t> onDevice = Frame();
    Press(kExplainKey);
    const DeviceExplanation* shown = ShownExplanation();
    ASSERT_TRUE(shown) << (win32::MessageBoxesShown().empty() ? "" : win32::MessageBoxesShown()[0].text);
    EXPECT_EQ(shown->device, "reference");
    EXPECT_EQ(shown->model.rfind("model", 0), 0u) << shown->model;
    EXPECT_EQ(shown->text.rfind("device: reference\n", 0), 0u);
    EXPECT_NE(shown->text.find("model: " + shown->model), std::string::npos);
    EXPECT_TRUE(shown->proof.reproduced);
    EXPECT_EQ(SecondDevice(), shown->model);
    EXPECT_EQ(SelectedDeviceName(), "reference");
    EXPECT_EQ(StatusText(), "Explained reference as " + shown->model + "; a click on the panel flips between the two.");
    EXPECT_EQ(Frame(), onDevice);
    const HWND panel = ExplainPanelWindow();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(IsWindowVisible(panel));

    const std::vector<std::uint32_t> panelOnDevice = win32::GetWindowImage(panel).pixels;
    SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    ASSERT_TRUE(probe_->DrawFrame());
    EXPECT_EQ(SelectedDeviceName(), shown->model);
    EXPECT_TRUE(EndsWith(Title(), " (B)")) << Title();
    EXPECT_NE(win32::GetWindowImage(panel).pixels, panelOnDevice);  // it says the model is shown
    SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    ASSERT_TRUE(probe_->DrawFrame());
    EXPECT_EQ(SelectedDeviceName(), "reference");
    EXPECT_EQ(Frame(), onDevice);
    EXPECT_TRUE(win32::MessageBoxesShown().empty());
}

}  // namespace
}  // namespace quillmark
