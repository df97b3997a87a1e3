// SCROLLBAR controls and the scroll-bar functions. SB_CTL addresses the
// scroll bar control through its SBM_ messages (a window of another class
// ignores them, as on Win32); SB_HORZ and SB_VERT the window's own bars.
#include "platform/win32/backend_impl.h"
#include "platform/win32/controls.h"

#include <algorithm>

namespace quillmark::win32 {
namespace {

void Changed(Window& window, BOOL redraw) {
    if (redraw) InvalidateWindow(window, nullptr);
    NotifyBackend(window.handle, WindowChange::State);
}

int Apply(Window& window, int bar, const SCROLLINFO& info, BOOL redraw) {
    ScrollState& scroll = window.scroll[bar];
    if (info.fMask & SIF_RANGE) {
        scroll.min = info.nMin;
        scroll.max = std::max(info.nMin, info.nMax);
    }
    if (info.fMask & SIF_PAGE)
        scroll.page = std::min<UINT>(info.nPage, static_cast<UINT>(scroll.max - scroll.min + 1));
    if (info.fMask & SIF_POS) scroll.pos = info.nPos;
    scroll.pos = ClampScrollPos(scroll, scroll.pos);
    Changed(window, redraw);
    return scroll.pos;
}

void Read(const ScrollState& scroll, SCROLLINFO& info) {
    if (info.fMask & SIF_RANGE) info.nMin = scroll.min, info.nMax = scroll.max;
    if (info.fMask & SIF_PAGE) info.nPage = scroll.page;
    if (info.fMask & SIF_POS) info.nPos = scroll.pos;
    if (info.fMask & SIF_TRACKPOS) info.nTrackPos = scroll.trackPos;
}

SCROLLINFO Info(UINT mask, int min, int max, int pos) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = mask;
    info.nMin = min;
    info.nMax = max;
    info.nPos = pos;
    return info;
}

}  // namespace

int ClampScrollPos(const ScrollState& scroll, int position) {
    const int last = scroll.max - std::max(static_cast<int>(scroll.page) - 1, 0);
    return std::clamp(position, scroll.min, std::max(scroll.min, last));
}

LRESULT CALLBACK ScrollBarProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = FindWindowRecord(handle);
    if (!window) return 0;
    ScrollState& scroll = window->scroll[SB_CTL];
    switch (message) {
    case SBM_SETPOS: {
        const int old = scroll.pos;
        Apply(*window, SB_CTL, Info(SIF_POS, 0, 0, static_cast<int>(wParam)), static_cast<BOOL>(lParam));
        return old;
    }
    case SBM_GETPOS: return scroll.pos;
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW: {
        const int old = scroll.pos;
        Apply(*window, SB_CTL, Info(SIF_RANGE, static_cast<int>(wParam), static_cast<int>(lParam), 0),
              message == SBM_SETRANGEREDRAW);
        return old;
    }
    case SBM_GETRANGE:
        if (wParam) *reinterpret_cast<int*>(wParam) = scroll.min;
        if (lParam) *reinterpret_cast<int*>(lParam) = scroll.max;
        return 0;
    case SBM_SETSCROLLINFO: {
        const auto* info = reinterpret_cast<const SCROLLINFO*>(lParam);
        return info ? Apply(*window, SB_CTL, *info, static_cast<BOOL>(wParam)) : 0;
    }
    case SBM_GETSCROLLINFO: {
        auto* info = reinterpret_cast<SCROLLINFO*>(lParam);
        if (!info) return FALSE;
        Read(scroll, *info);
        return TRUE;
    }
    default: return DefWindowProcA(handle, message, wParam, lParam);
    }
}

namespace {

void SendScroll(HWND scrollBar, int code, int position) {
    Window* record = FindWindowRecord(scrollBar);
    if (!record || !record->parent) return;
    const UINT message = (record->style & SBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    SendMessageA(record->parent, message, MAKEWPARAM(code, position), reinterpret_cast<LPARAM>(scrollBar));
}

bool IsScrollBarControl(HWND window) {
    Window* record = FindWindowRecord(window);
    return record && LowerCase(record->className) == "scrollbar";
}

}  // namespace

bool UserPressesScrollBar(HWND scrollBar, int code) {
    const bool known = code == SB_LINELEFT || code == SB_LINERIGHT || code == SB_PAGELEFT ||
                       code == SB_PAGERIGHT || code == SB_LEFT || code == SB_RIGHT;
    if (!known || !IsScrollBarControl(scrollBar)) return false;
    SendScroll(scrollBar, code, 0);
    SendScroll(scrollBar, SB_ENDSCROLL, 0);
    return true;
}

bool UserTracksScrollThumb(HWND scrollBar, int position) {
    if (!IsScrollBarControl(scrollBar)) return false;
    ScrollState& scroll = FindWindowRecord(scrollBar)->scroll[SB_CTL];
    scroll.trackPos = ClampScrollPos(scroll, position);
    SendScroll(scrollBar, SB_THUMBTRACK, scroll.trackPos);
    return true;
}

bool UserReleasesScrollThumb(HWND scrollBar) {
    if (!IsScrollBarControl(scrollBar)) return false;
    SendScroll(scrollBar, SB_THUMBPOSITION, FindWindowRecord(scrollBar)->scroll[SB_CTL].trackPos);
    SendScroll(scrollBar, SB_ENDSCROLL, 0);
    return true;
}

}  // namespace quillmark::win32

using namespace quillmark::win32;

int SetScrollInfo(HWND window, int bar, LPCSCROLLINFO info, BOOL redraw) {
    Window* record = WindowOrError(window);
    if (!record || !info || bar < SB_HORZ || bar > SB_CTL) return 0;
    if (bar == SB_CTL)
        return static_cast<int>(SendMessageA(window, SBM_SETSCROLLINFO, static_cast<WPARAM>(redraw),
                                             reinterpret_cast<LPARAM>(info)));
    return Apply(*record, bar, *info, redraw);
}

BOOL GetScrollInfo(HWND window, int bar, LPSCROLLINFO info) {
    Window* record = WindowOrError(window);
    if (!record || !info || bar < SB_HORZ || bar > SB_CTL) return FALSE;
    if (bar == SB_CTL)
        return static_cast<BOOL>(SendMessageA(window, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(info)));
    Read(record->scroll[bar], *info);
    return TRUE;
}

int SetScrollPos(HWND window, int bar, int position, BOOL redraw) {
    Window* record = WindowOrError(window);
    if (!record || bar < SB_HORZ || bar > SB_CTL) return 0;
    if (bar == SB_CTL)
        return static_cast<int>(SendMessageA(window, SBM_SETPOS, static_cast<WPARAM>(position), redraw));
    const int old = record->scroll[bar].pos;
    Apply(*record, bar, Info(SIF_POS, 0, 0, position), redraw);
    return old;
}

int GetScrollPos(HWND window, int bar) {
    Window* record = WindowOrError(window);
    if (!record || bar < SB_HORZ || bar > SB_CTL) return 0;
    if (bar == SB_CTL) return static_cast<int>(SendMessageA(window, SBM_GETPOS, 0, 0));
    return record->scroll[bar].pos;
}

BOOL SetScrollRange(HWND window, int bar, int minPosition, int maxPosition, BOOL redraw) {
    Window* record = WindowOrError(window);
    if (!record || bar < SB_HORZ || bar > SB_CTL) return FALSE;
    if (bar == SB_CTL) {
        SendMessageA(window, redraw ? SBM_SETRANGEREDRAW : SBM_SETRANGE, static_cast<WPARAM>(minPosition),
                     maxPosition);
        return TRUE;
    }
    Apply(*record, bar, Info(SIF_RANGE, minPosition, maxPosition, 0), redraw);
    return TRUE;
}

BOOL GetScrollRange(HWND window, int bar, int* minPosition, int* maxPosition) {
    Window* record = WindowOrError(window);
    if (!record || !minPosition || !maxPosition || bar < SB_HORZ || bar > SB_CTL) return FALSE;
    if (bar == SB_CTL) {
        *minPosition = *maxPosition = 0;
        SendMessageA(window, SBM_GETRANGE, reinterpret_cast<WPARAM>(minPosition),
                     reinterpret_cast<LPARAM>(maxPosition));
        return TRUE;
    }
    *minPosition = record->scroll[bar].min;
    *maxPosition = record->scroll[bar].max;
    return TRUE;
}
