// The main window's Device menu: every device this build finds, the one in
// use checked and named with what it draws with in the window's title.
// Choosing another rebuilds the device and its objects as a device loss
// does, keeping every setting.
#pragma once

#include "platform/win32/windows.h"

#include <string>

namespace quillmark {

// Command ids of the menu's items: the first device's, one more for each next.
inline constexpr UINT kDeviceMenuFirst = 40100;

// Gives the main window the Device menu (its menu bar made if it has none),
// and its title.
void AddDeviceMenu();

// The main window's title for a device: the program's title, the device's
// name and what it draws with.
std::string DeviceWindowTitle(const std::string& device);

// Makes the named device the one in use (the menu's check and the title
// follow); false with the reason in *error, the device in use before then
// staying in use.
bool SwitchDevice(const std::string& name, std::string* error);

// Handles a command of the Device menu; false for any other command.
bool OnDeviceMenuCommand(UINT id);

// The device cannot change while an analysis runs: its items are grayed.
void EnableDeviceMenu(bool enabled);

}  // namespace quillmark
