// CreateWindowExA and DestroyWindow.
#include "platform/win32/backend_impl.h"
#include "platform/win32/menu_model.h"
#include "platform/win32/window_model.h"

#include <algorithm>

using namespace quillmark::win32;

namespace {

HWND TopLevelOf(HWND window) {
    Window* record = FindWindowRecord(window);
    while (record && record->parent) record = FindWindowRecord(record->parent);
    return record ? record->handle : nullptr;
}

RECT InitialRect(int x, int y, int width, int height) {
    if (x == CW_USEDEFAULT) x = y = 0;
    if (width == CW_USEDEFAULT) width = 640, height = 480;
    return RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
}

// Links the new window to its parent or owner; false for a bad parent.
bool Attach(Window& window, HWND parent) {
    if (window.style & WS_CHILD) {
        Window* parentRecord = FindWindowRecord(parent);
        if (!parentRecord) {
            SetLastError(parent ? ERROR_INVALID_WINDOW_HANDLE : ERROR_TLW_WITH_WSCHILD);
            return false;
        }
        window.parent = parent;
        return true;
    }
    if (!parent || parent == DesktopHandle()) return true;
    window.owner = TopLevelOf(parent);
    if (!window.owner) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window.owner != nullptr;
}

void Detach(Window& window) {
    if (Window* parent = FindWindowRecord(window.parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window.handle), siblings.end());
    }
}

void SendSizeAndMove(HWND handle) {
    RECT client{};
    GetClientRect(handle, &client);
    SendMessageA(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    POINT origin{0, 0};
    ClientToScreen(handle, &origin);
    if (Window* record = FindWindowRecord(handle); record && record->parent)
        ScreenToClient(record->parent, &origin);
    SendMessageA(handle, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
}

// WM_DESTROY goes to a window before its children, WM_NCDESTROY after them.
void DestroyTree(HWND handle) {
    Window* record = FindWindowRecord(handle);
    if (!record) return;
    record->destroying = true;
    SendMessageA(handle, WM_DESTROY, 0, 0);
    record = FindWindowRecord(handle);
    if (!record) return;
    for (HWND child : std::vector<HWND>(record->children)) DestroyTree(child);
    SendMessageA(handle, WM_NCDESTROY, 0, 0);
    record = FindWindowRecord(handle);
    if (!record) return;
    ActiveBackend().WindowDestroyed(handle);
    Detach(*record);
    DropMessagesFor(handle);
    ForgetFocus(handle);
    ForgetWindowImage(handle);
    DestroyMenuOf(handle);
    RemoveWindow(handle);
}

}  // namespace

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
    EnsureStandardClasses();
    const WindowClass* windowClass = FindWindowClass(className);
    if (!windowClass) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    auto window = std::make_unique<Window>();
    window->className = windowClass->name;
    window->proc = windowClass->proc;
    window->style = style & ~static_cast<DWORD>(WS_VISIBLE);
    window->exStyle = exStyle;
    window->instance = instance;
    window->extra.assign(static_cast<std::size_t>(windowClass->windowExtra), 0);
    window->rect = InitialRect(x, y, width, height);
    window->scroll[SB_HORZ].max = window->scroll[SB_VERT].max = 100;
    if (!Attach(*window, parent)) return nullptr;
    if (window->parent) window->id = static_cast<int>(reinterpret_cast<std::intptr_t>(menu));
    Window& added = AddWindow(std::move(window));
    const HWND handle = added.handle;
    if (Window* parentRecord = FindWindowRecord(added.parent)) parentRecord->children.push_back(handle);
    ActiveBackend().WindowCreated(handle);

    CREATESTRUCTA create{param, instance, menu, parent, height, width, y, x,
                         static_cast<LONG>(style), windowName, className, exStyle};
    if (!SendMessageA(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) ||
        SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (!IsWindow(handle)) return nullptr;
    SendSizeAndMove(handle);
    if (style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
    return IsWindow(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND window) {
    Window* record = WindowOrError(window);
    if (!record) return FALSE;
    if (record->destroying) return TRUE;
    record->destroying = true;
    if (record->style & WS_VISIBLE) {
        record->style &= ~static_cast<DWORD>(WS_VISIBLE);
        NotifyBackend(window, WindowChange::Visibility);
    }
    for (HWND other : TopLevelWindows()) {
        Window* owned = FindWindowRecord(other);
        if (owned && owned->owner == window) DestroyWindow(other);
    }
    DestroyTree(window);
    return TRUE;
}

BOOL IsWindow(HWND window) {
    return window == DesktopHandle() || FindWindowRecord(window) != nullptr;
}
