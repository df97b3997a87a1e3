// msctls_trackbar32: a slider over an integer range. Positions set by
// messages notify nobody; a drag by the user notifies the parent with
// WM_HSCROLL (WM_VSCROLL when vertical) and WM_NOTIFY, and every repaint
// sends WM_NOTIFY NM_CUSTOMDRAW, as the common control does.
#include "platform/win32/backend_impl.h"
#include "platform/win32/controls.h"

#include <algorithm>

namespace quillmark::win32 {
namespace {

class TrackbarData : public ControlData {
public:
    int min = 0;
    int max = 100;
    int pos = 0;
    int page = 20;
    int line = 1;
    int ticFrequency = 1;
};

TrackbarData& Data(Window& window) {
    if (auto* data = dynamic_cast<TrackbarData*>(window.control.get())) return *data;
    window.control = std::make_unique<TrackbarData>();
    return static_cast<TrackbarData&>(*window.control);
}

void Changed(Window& window, bool redraw) {
    if (redraw) InvalidateWindow(window, nullptr);
    NotifyBackend(window.handle, WindowChange::State);
}

void SetRange(Window& window, int min, int max, bool redraw) {
    TrackbarData& data = Data(window);
    data.min = min;
    data.max = std::max(min, max);
    data.pos = std::clamp(data.pos, data.min, data.max);
    Changed(window, redraw);
}

void SetPos(Window& window, int pos, bool redraw) {
    TrackbarData& data = Data(window);
    data.pos = std::clamp(pos, data.min, data.max);
    Changed(window, redraw);
}

int Swap(int& field, int value) {
    const int old = field;
    field = value;
    return old;
}

// Painting: the parent sees the NM_CUSTOMDRAW pre-paint notification.
void Paint(Window& window) {
    const HWND handle = window.handle;
    window.invalid = false;
    if (!window.parent || !IsShown(window)) return;
    NMCUSTOMDRAW draw{};
    draw.hdr = NMHDR{handle, static_cast<UINT_PTR>(window.id), NM_CUSTOMDRAW};
    draw.dwDrawStage = CDDS_PREPAINT;
    GetClientRect(handle, &draw.rc);
    SendMessageA(window.parent, WM_NOTIFY, static_cast<WPARAM>(window.id), reinterpret_cast<LPARAM>(&draw));
}

void Scroll(HWND trackbar, WORD code, int pos) {
    Window* window = FindWindowRecord(trackbar);
    if (!window || !window->parent) return;
    const UINT message = (window->style & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    SendMessageA(window->parent, message, MAKEWPARAM(code, pos), reinterpret_cast<LPARAM>(trackbar));
}

}  // namespace

LRESULT CALLBACK TrackbarProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = FindWindowRecord(handle);
    if (!window) return 0;
    TrackbarData& data = Data(*window);
    switch (message) {
    case TBM_GETPOS: return data.pos;
    case TBM_GETRANGEMIN: return data.min;
    case TBM_GETRANGEMAX: return data.max;
    case TBM_SETPOS: SetPos(*window, static_cast<int>(lParam), wParam != 0); return 0;
    case TBM_SETRANGE:
        // Both ends are signed 16-bit words.
        SetRange(*window, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)), wParam != 0);
        return 0;
    case TBM_SETRANGEMIN: SetRange(*window, static_cast<int>(lParam), data.max, wParam != 0); return 0;
    case TBM_SETRANGEMAX: SetRange(*window, data.min, static_cast<int>(lParam), wParam != 0); return 0;
    case TBM_SETTICFREQ: data.ticFrequency = static_cast<int>(wParam); return 0;
    case TBM_SETTIC: return TRUE;
    case TBM_CLEARTICS: return 0;
    case TBM_SETPAGESIZE: return Swap(data.page, static_cast<int>(lParam));
    case TBM_GETPAGESIZE: return data.page;
    case TBM_SETLINESIZE: return Swap(data.line, static_cast<int>(lParam));
    case TBM_GETLINESIZE: return data.line;
    case WM_PAINT: Paint(*window); return 0;
    default: return DefWindowProcA(handle, message, wParam, lParam);
    }
}

bool UserMovesTrackbarThumb(HWND trackbar, int position) {
    Window* window = FindWindowRecord(trackbar);
    if (!window || LowerCase(window->className) != LowerCase(TRACKBAR_CLASSA)) return false;
    if (GetFocus() != trackbar) SetFocus(trackbar);
    if (!(window = FindWindowRecord(trackbar))) return true;
    TrackbarData& data = Data(*window);
    position = std::clamp(position, data.min, data.max);
    if (position != data.pos) {
        SetPos(*window, position, true);
        Scroll(trackbar, TB_THUMBTRACK, position);
    }
    return true;
}

bool UserReleasesTrackbar(HWND trackbar) {
    Window* window = FindWindowRecord(trackbar);
    if (!window || LowerCase(window->className) != LowerCase(TRACKBAR_CLASSA)) return false;
    Scroll(trackbar, TB_THUMBPOSITION, Data(*window).pos);
    Scroll(trackbar, TB_ENDTRACK, 0);
    NotifyParent(trackbar, NM_RELEASEDCAPTURE);
    return true;
}

bool UserStepsTrackbar(HWND trackbar, WORD code) {
    Window* window = FindWindowRecord(trackbar);
    if (!window || LowerCase(window->className) != LowerCase(TRACKBAR_CLASSA)) return false;
    TrackbarData& data = Data(*window);
    int position = data.pos;
    switch (code) {
    case TB_LINEUP: position -= data.line; break;
    case TB_LINEDOWN: position += data.line; break;
    case TB_PAGEUP: position -= data.page; break;
    case TB_PAGEDOWN: position += data.page; break;
    case TB_TOP: position = data.min; break;
    case TB_BOTTOM: position = data.max; break;
    default: return false;
    }
    SetPos(*window, position, true);
    Scroll(trackbar, code, 0);
    Scroll(trackbar, TB_ENDTRACK, 0);
    return true;
}

bool UserDragsTrackbar(HWND trackbar, int position) {
    return UserMovesTrackbarThumb(trackbar, position) && UserReleasesTrackbar(trackbar);
}

TrackbarState TrackbarStateOf(HWND trackbar) {
    Window* window = FindWindowRecord(trackbar);
    if (!window || !dynamic_cast<TrackbarData*>(window->control.get())) return {0, 0, 0};
    const TrackbarData& data = Data(*window);
    return {data.min, data.max, data.pos};
}

}  // namespace quillmark::win32
