// Window rectangles, moving and sizing, showing, and the update region.
#include "platform/win32/backend_impl.h"
#include "platform/win32/window_model.h"

#include <algorithm>

using namespace quillmark::win32;

namespace {

RECT ScreenRect() {
    const SIZE size = ActiveBackend().ScreenSize();
    return RECT{0, 0, size.cx, size.cy};
}

// The smallest size Win32 lets a window take: nothing negative, and a
// top-level window with a caption keeps its caption and frame.
void ClampSize(const Window& window, int& width, int& height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (!window.parent && (window.style & WS_CAPTION) == static_cast<DWORD>(WS_CAPTION)) {
        const RECT insets = ClientInsets(window.style, window.exStyle);
        height = std::max(height, static_cast<int>(insets.top + insets.bottom));
    }
}

bool Covers(const RECT& outer, const RECT& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

RECT Union(const RECT& a, const RECT& b) {
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

void ChangeVisibility(Window& window, bool show) {
    const HWND handle = window.handle;
    SendMessageA(handle, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    Window* record = FindWindowRecord(handle);
    if (!record) return;
    if (show) {
        record->style |= WS_VISIBLE;
        InvalidateWindow(*record, nullptr);
        for (HWND child : record->children)
            if (Window* c = FindWindowRecord(child); c && (c->style & WS_VISIBLE)) InvalidateWindow(*c, nullptr);
    } else {
        record->style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
    NotifyBackend(handle, WindowChange::Visibility);
}

// Moves a child to the top of its siblings (HWND_TOP), to the bottom
// (HWND_BOTTOM), or right after the sibling named; any other handle leaves
// it where it is.
void Reorder(Window& window, HWND insertAfter) {
    Window* parent = FindWindowRecord(window.parent);
    if (!parent || insertAfter == window.handle) return;
    std::vector<HWND>& siblings = parent->children;
    const bool known = insertAfter == HWND_TOP || insertAfter == HWND_BOTTOM ||
                       std::find(siblings.begin(), siblings.end(), insertAfter) != siblings.end();
    if (!known) return;
    siblings.erase(std::find(siblings.begin(), siblings.end(), window.handle));
    if (insertAfter == HWND_TOP) siblings.insert(siblings.begin(), window.handle);
    else if (insertAfter == HWND_BOTTOM) siblings.push_back(window.handle);
    else siblings.insert(std::find(siblings.begin(), siblings.end(), insertAfter) + 1, window.handle);
}

}  // namespace

namespace quillmark::win32 {

void InvalidateWindow(Window& window, const RECT* rect) {
    const RECT client = ClientRectOnScreen(window);
    RECT area{0, 0, client.right - client.left, client.bottom - client.top};
    if (rect)
        area = RECT{std::max(rect->left, area.left), std::max(rect->top, area.top),
                    std::min(rect->right, area.right), std::min(rect->bottom, area.bottom)};
    if (area.right <= area.left || area.bottom <= area.top) return;
    window.invalidRect = window.invalid ? Union(window.invalidRect, area) : area;
    window.invalid = true;
}

}  // namespace quillmark::win32

BOOL GetClientRect(HWND window, LPRECT rect) {
    if (!rect) return FALSE;
    if (window == DesktopHandle()) {
        *rect = ScreenRect();
        return TRUE;
    }
    Window* record = WindowOrError(window);
    if (!record) return FALSE;
    const RECT client = ClientRectOnScreen(*record);
    *rect = RECT{0, 0, client.right - client.left, client.bottom - client.top};
    return TRUE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
    if (!rect) return FALSE;
    if (window == DesktopHandle()) {
        *rect = ScreenRect();
        return TRUE;
    }
    Window* record = WindowOrError(window);
    if (!record) return FALSE;
    *rect = WindowRectOnScreen(*record);
    return TRUE;
}

BOOL ClientToScreen(HWND window, LPPOINT point) {
    if (window == DesktopHandle()) return point != nullptr;
    Window* record = WindowOrError(window);
    if (!record || !point) return FALSE;
    const RECT client = ClientRectOnScreen(*record);
    point->x += client.left;
    point->y += client.top;
    return TRUE;
}

BOOL ScreenToClient(HWND window, LPPOINT point) {
    if (window == DesktopHandle()) return point != nullptr;
    Window* record = WindowOrError(window);
    if (!record || !point) return FALSE;
    const RECT client = ClientRectOnScreen(*record);
    point->x -= client.left;
    point->y -= client.top;
    return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(window, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

// Z-order is modelled among the children of one parent (their order is the
// dialog's keyboard order); for top-level windows insertAfter is ignored.
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    Window* record = WindowOrError(window);
    if (!record) return FALSE;
    if (!(flags & SWP_NOZORDER)) Reorder(*record, insertAfter);
    const RECT old = record->rect;
    if (flags & SWP_NOMOVE) x = old.left, y = old.top;
    if (flags & SWP_NOSIZE) cx = old.right - old.left, cy = old.bottom - old.top;
    ClampSize(*record, cx, cy);
    record->rect = RECT{x, y, x + cx, y + cy};
    const bool moved = x != old.left || y != old.top;
    const bool sized = cx != old.right - old.left || cy != old.bottom - old.top;
    if (moved || sized) NotifyBackend(window, WindowChange::Geometry);
    if (sized && !(flags & SWP_NOREDRAW)) InvalidateWindow(*record, nullptr);
    if (sized) {
        RECT client{};
        GetClientRect(window, &client);
        SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    }
    if (moved && IsWindow(window)) {
        POINT origin{0, 0};
        ClientToScreen(window, &origin);
        if (Window* r = FindWindowRecord(window); r && r->parent) ScreenToClient(r->parent, &origin);
        SendMessageA(window, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
    }
    if (Window* r = FindWindowRecord(window)) {
        if ((flags & SWP_SHOWWINDOW) && !(r->style & WS_VISIBLE)) ChangeVisibility(*r, true);
        else if ((flags & SWP_HIDEWINDOW) && (r->style & WS_VISIBLE)) ChangeVisibility(*r, false);
    }
    return TRUE;
}

BOOL AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) {
    return AdjustWindowRectEx(rect, style, menu, 0);
}

BOOL AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle) {
    if (!rect) return FALSE;
    const RECT insets = ClientInsets(style, exStyle);
    rect->left -= insets.left;
    rect->top -= insets.top + (menu ? kCaptionHeight : 0);
    rect->right += insets.right;
    rect->bottom += insets.bottom;
    return TRUE;
}

HWND GetDesktopWindow() { return DesktopHandle(); }

// Minimised and maximised states are not modelled: every command other
// than SW_HIDE shows the window as it is.
BOOL ShowWindow(HWND window, int command) {
    Window* record = WindowOrError(window);
    if (!record) return FALSE;
    const bool wasVisible = (record->style & WS_VISIBLE) != 0;
    const bool show = command != SW_HIDE;
    if (show != wasVisible) ChangeVisibility(*record, show);
    return wasVisible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window) {
    if (window == DesktopHandle()) return TRUE;
    Window* record = FindWindowRecord(window);
    return record && IsShown(*record);
}

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL) {
    if (!window) {
        for (HWND top : TopLevelWindows()) InvalidateWindow(*FindWindowRecord(top), nullptr);
        return TRUE;
    }
    Window* record = WindowOrError(window);
    if (!record) return FALSE;
    InvalidateWindow(*record, rect);
    return TRUE;
}

// The update region is kept as its bounding rectangle: validating part of
// it leaves the window invalid unless the part covers it all.
BOOL ValidateRect(HWND window, const RECT* rect) {
    if (!window) return InvalidateRect(nullptr, nullptr, TRUE);
    Window* record = WindowOrError(window);
    if (!record) return FALSE;
    if (!rect || Covers(*rect, record->invalidRect)) record->invalid = false;
    return TRUE;
}

BOOL GetUpdateRect(HWND window, LPRECT rect, BOOL) {
    Window* record = WindowOrError(window);
    if (!record) return FALSE;
    if (rect) *rect = record->invalid ? record->invalidRect : RECT{0, 0, 0, 0};
    return record->invalid ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND window) {
    Window* record = WindowOrError(window);
    if (!record) return FALSE;
    if (record->invalid && IsShown(*record)) SendMessageA(window, WM_PAINT, 0, 0);
    return TRUE;
}
