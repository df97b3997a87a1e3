// The menus the window model keeps: what a backend shows of a window's menu
// bar and what choosing an item does.
#pragma once

#include "platform/win32/windows.h"

#include <string>
#include <vector>

namespace quillmark::win32 {

struct MenuEntry {
    UINT flags = 0;           // MF_POPUP, MF_SEPARATOR, MF_GRAYED, MF_DISABLED, MF_CHECKED
    UINT id = 0;              // the command id (0 for a popup or a separator)
    std::string text;         // Windows-1252, with '&' before the mnemonic letter
    HMENU popup = nullptr;    // the submenu of an MF_POPUP entry
};

// The entries of a live menu, in order (empty for an unknown handle).
std::vector<MenuEntry> MenuEntriesOf(HMENU menu);

// Destroys the menu a window holds (the window is being destroyed).
void DestroyMenuOf(HWND window);

}  // namespace quillmark::win32
