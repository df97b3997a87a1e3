// Menus: menu bars and popups with their items, set on top-level windows;
// every change is shown by the backend on the windows that hold a menu.
#include "platform/win32/backend_impl.h"
#include "platform/win32/menu_model.h"
#include "platform/win32/window_model.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace quillmark::win32 {
namespace {

struct Menu {
    std::vector<MenuEntry> entries;
};

struct Menus {
    std::map<HMENU, Menu> menus;
    std::map<HWND, HMENU> bars;  // the menu bar of each window that has one
    std::uintptr_t next = 0x20000;
};

Menus& TheMenus() {
    static Menus menus;
    return menus;
}

Menu* FindMenu(HMENU menu) {
    auto found = TheMenus().menus.find(menu);
    return found == TheMenus().menus.end() ? nullptr : &found->second;
}

HMENU NewMenu() {
    const auto handle = reinterpret_cast<HMENU>(TheMenus().next += 0x10);
    TheMenus().menus[handle] = Menu{};
    return handle;
}

// The entry an item names: by its position in this menu, or by its command
// id anywhere in this menu and its popups.
MenuEntry* FindEntry(HMENU menu, UINT item, UINT flags) {
    Menu* record = FindMenu(menu);
    if (!record) return nullptr;
    if (flags & MF_BYPOSITION) return item < record->entries.size() ? &record->entries[item] : nullptr;
    for (MenuEntry& entry : record->entries) {
        if (!(entry.flags & MF_POPUP) && !(entry.flags & MF_SEPARATOR) && entry.id == item) return &entry;
        if (entry.flags & MF_POPUP)
            if (MenuEntry* inner = FindEntry(entry.popup, item, flags)) return inner;
    }
    return nullptr;
}

// Every window whose menu bar shows a change.
void MenusChanged() {
    for (const auto& [window, bar] : std::map<HWND, HMENU>(TheMenus().bars))
        NotifyBackend(window, WindowChange::Menu);
}

}  // namespace

std::vector<MenuEntry> MenuEntriesOf(HMENU menu) {
    const Menu* record = FindMenu(menu);
    return record ? record->entries : std::vector<MenuEntry>{};
}

void DestroyMenuOf(HWND window) {
    auto found = TheMenus().bars.find(window);
    if (found == TheMenus().bars.end()) return;
    const HMENU bar = found->second;
    TheMenus().bars.erase(found);
    DestroyMenu(bar);
}

}  // namespace quillmark::win32

using namespace quillmark::win32;

HMENU CreateMenu() { return NewMenu(); }

HMENU CreatePopupMenu() { return NewMenu(); }

// Destroys the menu and its popups.
BOOL DestroyMenu(HMENU menu) {
    Menu* record = FindMenu(menu);
    if (!record) return FALSE;
    const std::vector<MenuEntry> entries = record->entries;
    TheMenus().menus.erase(menu);
    for (const MenuEntry& entry : entries)
        if (entry.flags & MF_POPUP) DestroyMenu(entry.popup);
    return TRUE;
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
    Menu* record = FindMenu(menu);
    if (!record) return FALSE;
    MenuEntry entry;
    entry.flags = flags & (MF_POPUP | MF_SEPARATOR | MF_GRAYED | MF_DISABLED | MF_CHECKED);
    if (flags & MF_POPUP) {
        entry.popup = reinterpret_cast<HMENU>(idOrPopup);
        if (!FindMenu(entry.popup)) return FALSE;
    } else if (!(flags & MF_SEPARATOR)) {
        entry.id = static_cast<UINT>(idOrPopup);
    }
    if (text && !(flags & MF_SEPARATOR)) entry.text = text;
    record->entries.push_back(std::move(entry));
    MenusChanged();
    return TRUE;
}

BOOL DeleteMenu(HMENU menu, UINT item, UINT flags) {
    Menu* record = FindMenu(menu);
    const MenuEntry* entry = FindEntry(menu, item, flags);
    if (!record || !entry) return FALSE;
    for (auto& [handle, owner] : TheMenus().menus) {
        auto& entries = owner.entries;
        const auto at = std::find_if(entries.begin(), entries.end(), [entry](const MenuEntry& e) { return &e == entry; });
        if (at == entries.end()) continue;
        const HMENU popup = at->flags & MF_POPUP ? at->popup : nullptr;
        entries.erase(at);
        if (popup) DestroyMenu(popup);
        break;
    }
    MenusChanged();
    return TRUE;
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT check) {
    MenuEntry* entry = FindEntry(menu, item, check);
    if (!entry) return static_cast<DWORD>(-1);
    const DWORD previous = entry->flags & MF_CHECKED;
    entry->flags = (entry->flags & ~static_cast<UINT>(MF_CHECKED)) | (check & MF_CHECKED);
    MenusChanged();
    return previous;
}

BOOL EnableMenuItem(HMENU menu, UINT item, UINT enable) {
    MenuEntry* entry = FindEntry(menu, item, enable);
    if (!entry) return -1;
    const UINT previous = entry->flags & (MF_GRAYED | MF_DISABLED);
    entry->flags = (entry->flags & ~static_cast<UINT>(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
    MenusChanged();
    return static_cast<BOOL>(previous);
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
    const MenuEntry* entry = FindEntry(menu, item, flags);
    return entry ? entry->flags : static_cast<UINT>(-1);
}

int GetMenuItemCount(HMENU menu) {
    const Menu* record = FindMenu(menu);
    return record ? static_cast<int>(record->entries.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position) {
    const Menu* record = FindMenu(menu);
    if (!record || position < 0 || static_cast<std::size_t>(position) >= record->entries.size()) return UINT(-1);
    const MenuEntry& entry = record->entries[static_cast<std::size_t>(position)];
    return entry.flags & MF_POPUP ? UINT(-1) : entry.id;
}

HMENU GetSubMenu(HMENU menu, int position) {
    const MenuEntry* entry = position < 0 ? nullptr : FindEntry(menu, static_cast<UINT>(position), MF_BYPOSITION);
    return entry && (entry->flags & MF_POPUP) ? entry->popup : nullptr;
}

int GetMenuStringA(HMENU menu, UINT item, LPSTR text, int maxCount, UINT flags) {
    const MenuEntry* entry = FindEntry(menu, item, flags);
    if (!entry) return 0;
    if (!text || maxCount <= 0) return static_cast<int>(entry->text.size());
    const std::size_t count = std::min(entry->text.size(), static_cast<std::size_t>(maxCount - 1));
    std::memcpy(text, entry->text.data(), count);
    text[count] = '\0';
    return static_cast<int>(count);
}

BOOL SetMenu(HWND window, HMENU menu) {
    Window* record = WindowOrError(window);
    if (!record || record->parent || (menu && !FindMenu(menu))) return FALSE;
    if (menu) TheMenus().bars[window] = menu;
    else TheMenus().bars.erase(window);
    NotifyBackend(window, WindowChange::Menu);
    return TRUE;
}

HMENU GetMenu(HWND window) {
    auto found = TheMenus().bars.find(window);
    return found == TheMenus().bars.end() ? nullptr : found->second;
}

BOOL DrawMenuBar(HWND window) {
    if (!WindowOrError(window)) return FALSE;
    NotifyBackend(window, WindowChange::Menu);
    return TRUE;
}
