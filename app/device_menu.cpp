#include "app/device_menu.h"

#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/device_lifecycle.h"
#include "app/shell.h"

#include "devices/select/d3d9_select.h"

#include <algorithm>
#include <vector>

namespace quillmark {
namespace {

// The devices the menu lists, in the order of its items.
std::vector<std::string>& MenuDevices() {
    static std::vector<std::string> devices;
    return devices;
}

// The menu bar: its items are found by their command ids through the popups.
HMENU MenuBar() { return g_app.mainWindow ? GetMenu(g_app.mainWindow) : nullptr; }

void CheckSelectedDevice() {
    const HMENU bar = MenuBar();
    const std::string selected = SelectedDeviceName();
    for (std::size_t i = 0; i < MenuDevices().size(); ++i)
        CheckMenuItem(bar, kDeviceMenuFirst + UINT(i),
                      MF_BYCOMMAND | (MenuDevices()[i] == selected ? MF_CHECKED : MF_UNCHECKED));
}

void ShowDeviceInTitle() { SetWindowTextA(g_app.mainWindow, DeviceWindowTitle(SelectedDeviceName()).c_str()); }

// Opens the device now selected in place of the one in use; false when it
// cannot be opened (the device is then missing).
bool RebuildDevice() {
    ActiveProbe().run.savedPhase = ActiveProbe().run.phase;
    return RecoverDevice();
}

}  // namespace

std::string DeviceWindowTitle(const std::string& device) {
    std::string description, error;
    if (!DescribeDevice(device, &description, &error)) description = "cannot be opened";
    return std::string(kMainWindowTitle) + " - " + device + ": " + description;
}

void AddDeviceMenu() {
    MenuDevices() = DeviceNames();
    const std::string selected = SelectedDeviceName();
    if (std::find(MenuDevices().begin(), MenuDevices().end(), selected) == MenuDevices().end())
        MenuDevices().push_back(selected);  // a device named in full (model:KEY=VALUE, gl:TEXT)
    const HMENU bar = MainMenuBar();
    const HMENU popup = CreatePopupMenu();
    for (std::size_t i = 0; i < MenuDevices().size(); ++i)
        AppendMenuA(popup, MF_STRING, kDeviceMenuFirst + i, MenuDevices()[i].c_str());
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "&Device");
    CheckSelectedDevice();
    ShowDeviceInTitle();
}

bool SwitchDevice(const std::string& name, std::string* error) {
    const std::string previous = SelectedDeviceName();
    bool switched = name == previous;
    if (!switched) {
        switched = SelectDevice(name, error) && RebuildDevice();
        if (!switched) {
            // The device in use before stays in use.
            if (error->empty()) *error = "the device could not be created";
            SelectDevice(previous, nullptr);
            RebuildDevice();
        }
    }
    CheckSelectedDevice();
    ShowDeviceInTitle();
    PostMessageA(g_app.mainWindow, WM_USER, 0, 0);
    return switched;
}

bool OnDeviceMenuCommand(UINT id) {
    if (id < kDeviceMenuFirst || id >= kDeviceMenuFirst + MenuDevices().size()) return false;
    if (ActiveProbe().run.running) return true;  // the items are grayed meanwhile
    const std::string& chosen = MenuDevices()[id - kDeviceMenuFirst];
    std::string error;
    if (!SwitchDevice(chosen, &error))
        MessageBoxA(nullptr, ("Could not switch to the device " + chosen + ": " + error + ".").c_str(), "Quillmark",
                    MB_OK);
    return true;
}

void EnableDeviceMenu(bool enabled) {
    const HMENU bar = MenuBar();
    for (std::size_t i = 0; i < MenuDevices().size(); ++i)
        EnableMenuItem(bar, kDeviceMenuFirst + UINT(i), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace quillmark
