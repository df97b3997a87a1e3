// The Device menu on the headless backend: it lists every device, checks
// the one in use and names it in the main window's title; choosing another
// rebuilds the device and its objects and keeps every setting; it is grayed
// while an analysis runs.
#include "app/analysis.h"
#include "app/device_menu.h"
#include "app/probe.h"
#include "app/scene.h"
#include "app/settings_dialog.h"
#include "probe_fixture.h"

#include "devices/select/d3d9_select.h"
#include "platform/win32/user_input.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace quillmark {
namespace {

std::string Title() {
    char text[512] = {};
    GetWindowTextA(g_app.mainWindow, text, sizeof text);
    return text;
}

HMENU Popup() { return GetSubMenu(GetMenu(g_app.mainWindow), 0); }

// The menu's item for a device, or -1.
int ItemOf(const std::string& device) {
    char text[256] = {};
    for (int i = 0; i < GetMenuItemCount(Popup()); ++i) {
        GetMenuStringA(Popup(), static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        if (device == text) return i;
    }
    return -1;
}

bool Checked(const std::string& device) {
    return GetMenuState(Popup(), kDeviceMenuFirst + UINT(ItemOf(device)), MF_BYCOMMAND) & MF_CHECKED;
}

class DeviceMenu : public test::ProbeFixture {
protected:
    void SetUp() override {
        test::ProbeFixture::SetUp();
        AddDeviceMenu();
    }
    void TearDown() override {
        SelectDevice("reference", nullptr);
        test::ProbeFixture::TearDown();
    }
    // Another device of this machine that opens, or empty.
    static std::string OtherDevice() {
        for (const std::string& name : DeviceNames()) {
            std::string description, error;
            if (name != "reference" && DescribeDevice(name, &description, &error)) return name;
        }
        return {};
    }
};

TEST_F(DeviceMenu, ListsEveryDeviceAndNamesTheOneInUseInTheTitle) {
    const std::vector<std::string> devices = DeviceNames();
    ASSERT_EQ(GetMenuItemCount(Popup()), static_cast<int>(devices.size()));
    for (const std::string& device : devices) EXPECT_GE(ItemOf(device), 0) << device;
    EXPECT_TRUE(Checked("reference"));
    std::string description, error;
    ASSERT_TRUE(DescribeDevice("reference", &description, &error));
    EXPECT_EQ(Title(), std::string("D3D Quillmark Ver 1.3a - reference: ") + description);
}

TEST_F(DeviceMenu, SwitchingRebuildsTheDeviceAndKeepsEverySetting) {
    const std::string other = OtherDevice();
    if (other.empty()) GTEST_SKIP() << "this machine has no second device that opens";
    const HWND dialog = g_app.settingsDialog;
    ASSERT_TRUE(win32::DragTrackbar(GetDlgItem(dialog, kDistanceSlider), 120));
    ASSERT_TRUE(win32::DragTrackbar(GetDlgItem(dialog, kLodBiasSlider), -25));
    ASSERT_TRUE(win32::SelectComboItem(GetDlgItem(dialog, kMipFilterList), 1));
    ASSERT_TRUE(win32::ClickButton(GetDlgItem(dialog, kPlaneRadio)));
    const ProbeSettings before = CurrentProbeSettings();

    ASSERT_TRUE(win32::ChooseMenuItem(g_app.mainWindow, kDeviceMenuFirst + UINT(ItemOf(other))));
    EXPECT_EQ(SelectedDeviceName(), other);
    EXPECT_TRUE(Checked(other));
    EXPECT_FALSE(Checked("reference"));
    EXPECT_EQ(Title(), DeviceWindowTitle(other));
    EXPECT_NE(Title(), DeviceWindowTitle("reference"));
    EXPECT_EQ(CurrentProbeSettings(), before);
    ASSERT_NE(ActiveProbe().device, nullptr);
    ASSERT_NE(ActiveProbe().mipTexture, nullptr);
    ASSERT_NE(ActiveProbe().planeBuffer, nullptr);
    ASSERT_NE(ActiveProbe().tunnelBuffer, nullptr);
    // The next frame samples with the kept settings on the new device.
    RenderFrame();
    DWORD bias = 0, mip = 0;
    ActiveProbe().device->GetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, &bias);
    ActiveProbe().device->GetSamplerState(0, D3DSAMP_MIPFILTER, &mip);
    EXPECT_EQ(bias, std::bit_cast<DWORD>(-2.5f));
    EXPECT_EQ(mip, static_cast<DWORD>(D3DTEXF_POINT));

    ASSERT_TRUE(win32::ChooseMenuItem(g_app.mainWindow, kDeviceMenuFirst + UINT(ItemOf("reference"))));
    EXPECT_EQ(SelectedDeviceName(), "reference");
    EXPECT_EQ(CurrentProbeSettings(), before);
}

TEST_F(DeviceMenu, IsGrayedWhileAnAnalysisRuns) {
    char previous[4096] = "";
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    const std::filesystem::path scratch = std::filesystem::temp_directory_path() / ("qm-devmenu-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch);
    ASSERT_EQ(chdir(scratch.c_str()), 0);  // Stop writes MipBand.bmp here
    const UINT reference = kDeviceMenuFirst + UINT(ItemOf("reference"));
    ASSERT_TRUE(win32::ClickButton(GetDlgItem(g_app.settingsDialog, kStartButton)));
    EXPECT_TRUE(GetMenuState(Popup(), reference, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_FALSE(win32::ChooseMenuItem(g_app.mainWindow, reference));
    ASSERT_TRUE(win32::ClickButton(GetDlgItem(g_app.settingsDialog, kStopButton)));
    EXPECT_FALSE(GetMenuState(Popup(), reference, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(win32::ChooseMenuItem(g_app.mainWindow, reference));
    EXPECT_EQ(chdir(previous), 0);
    std::filesystem::remove_all(scratch);
}

}  // namespace
}  // namespace quillmark
