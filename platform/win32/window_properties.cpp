// Window text, window longs, relations between windows, enabling and focus.
#include "platform/win32/backend_impl.h"
#include "platform/win32/window_model.h"

#include <algorithm>
#include <cstring>

using namespace quillmark::win32;

namespace {

HWND g_focus = nullptr;

const std::vector<HWND>* SiblingsOf(const Window& window, std::vector<HWND>& topLevel) {
    if (const Window* parent = FindWindowRecord(window.parent)) return &parent->children;
    topLevel = TopLevelWindows();
    return &topLevel;
}

HWND Neighbour(const Window& window, UINT command) {
    std::vector<HWND> topLevel;
    const std::vector<HWND>& siblings = *SiblingsOf(window, topLevel);
    if (siblings.empty()) return nullptr;
    if (command == GW_HWNDFIRST) return siblings.front();
    if (command == GW_HWNDLAST) return siblings.back();
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i] != window.handle) continue;
        if (command == GW_HWNDNEXT) return i + 1 < siblings.size() ? siblings[i + 1] : nullptr;
        return i > 0 ? siblings[i - 1] : nullptr;
    }
    return nullptr;
}

bool ExtraIndexValid(const Window& window, int index) {
    return index >= 0 && static_cast<std::size_t>(index) + sizeof(LONG_PTR) <= window.extra.size();
}

}  // namespace

namespace quillmark::win32 {

void ForgetFocus(HWND window) {
    if (g_focus == window) g_focus = nullptr;
}

}  // namespace quillmark::win32

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    if (!WindowOrError(window)) return FALSE;
    return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
    if (!WindowOrError(window) || !text || maxCount <= 0) return 0;
    return static_cast<int>(
        SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextLengthA(HWND window) {
    if (!WindowOrError(window)) return 0;
    return static_cast<int>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
}

int GetClassNameA(HWND window, LPSTR className, int maxCount) {
    Window* record = WindowOrError(window);
    if (!record || !className || maxCount <= 0) return 0;
    const std::size_t count = std::min(record->className.size(), static_cast<std::size_t>(maxCount - 1));
    std::memcpy(className, record->className.data(), count);
    className[count] = '\0';
    return static_cast<int>(count);
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
    Window* record = WindowOrError(window);
    if (!record) return 0;
    switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(record->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(record->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(record->parent ? record->parent : record->owner);
    case GWLP_ID: return record->id;
    case GWL_STYLE: return static_cast<LONG_PTR>(record->style);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(record->exStyle);
    case GWLP_USERDATA: return record->userData;
    default: break;
    }
    if (!ExtraIndexValid(*record, index)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value;
    std::memcpy(&value, record->extra.data() + index, sizeof value);
    return value;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    Window* record = WindowOrError(window);
    if (!record) return 0;
    const LONG_PTR old = GetWindowLongPtrA(window, index);
    switch (index) {
    case GWLP_WNDPROC: record->proc = reinterpret_cast<WNDPROC>(value); break;
    case GWLP_HINSTANCE: record->instance = reinterpret_cast<HINSTANCE>(value); break;
    case GWLP_ID: record->id = static_cast<int>(value); break;
    case GWL_STYLE:
        record->style = static_cast<DWORD>(value);
        NotifyBackend(window, WindowChange::State);
        break;
    case GWL_EXSTYLE: record->exStyle = static_cast<DWORD>(value); break;
    case GWLP_USERDATA: record->userData = value; break;
    case GWLP_HWNDPARENT:
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    default:
        if (!ExtraIndexValid(*record, index)) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        std::memcpy(record->extra.data() + index, &value, sizeof value);
    }
    return old;
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
    return static_cast<LONG>(SetWindowLongPtrA(window, index, value));
}

HWND GetParent(HWND window) {
    Window* record = WindowOrError(window);
    if (!record) return nullptr;
    if (record->parent) return record->parent;
    return (record->style & WS_POPUP) ? record->owner : nullptr;
}

HWND GetWindow(HWND window, UINT command) {
    Window* record = WindowOrError(window);
    if (!record) return nullptr;
    switch (command) {
    case GW_OWNER: return record->owner;
    case GW_CHILD: return record->children.empty() ? nullptr : record->children.front();
    case GW_HWNDFIRST:
    case GW_HWNDLAST:
    case GW_HWNDNEXT:
    case GW_HWNDPREV: return Neighbour(*record, command);
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
}

BOOL IsWindowEnabled(HWND window) {
    Window* record = FindWindowRecord(window);
    return record && !(record->style & WS_DISABLED);
}

BOOL EnableWindow(HWND window, BOOL enable) {
    Window* record = WindowOrError(window);
    if (!record) return FALSE;
    const BOOL wasDisabled = (record->style & WS_DISABLED) ? TRUE : FALSE;
    if (wasDisabled == !enable) return wasDisabled;
    if (enable) record->style &= ~static_cast<DWORD>(WS_DISABLED);
    else record->style |= WS_DISABLED;
    if (!enable && g_focus == window) SetFocus(nullptr);
    NotifyBackend(window, WindowChange::Enabled);
    SendMessageA(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
    if (Window* r = FindWindowRecord(window)) InvalidateWindow(*r, nullptr);
    return wasDisabled;
}

HWND SetFocus(HWND window) {
    if (window && !WindowOrError(window)) return nullptr;
    const HWND old = g_focus;
    if (old == window) return old;
    g_focus = window;
    if (old && IsWindow(old)) SendMessageA(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
    if (window && IsWindow(window)) SendMessageA(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetFocus() { return g_focus; }
