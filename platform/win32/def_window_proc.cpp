// The default window procedure.
#include "platform/win32/backend_impl.h"
#include "platform/win32/window_model.h"

#include <algorithm>
#include <cstring>

using namespace quillmark::win32;

namespace {

LRESULT SetText(Window& window, LPCSTR text) {
    window.text = text ? text : "";
    InvalidateWindow(window, nullptr);
    NotifyBackend(window.handle, WindowChange::Text);
    return TRUE;
}

LRESULT CopyText(const Window& window, WPARAM room, LPSTR out) {
    if (!out || room == 0) return 0;
    const std::size_t count = std::min<std::size_t>(window.text.size(), room - 1);
    std::memcpy(out, window.text.data(), count);
    out[count] = '\0';
    return static_cast<LRESULT>(count);
}

LRESULT HitTest(const Window& window, LPARAM point) {
    const POINT p{GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    const RECT outer = WindowRectOnScreen(window);
    const RECT client = ClientRectOnScreen(window);
    auto inside = [&](const RECT& r) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; };
    if (inside(client)) return HTCLIENT;
    if (!inside(outer)) return HTNOWHERE;
    const bool caption = (window.style & WS_CAPTION) == static_cast<DWORD>(WS_CAPTION);
    if (caption && p.y < client.top && p.y >= client.top - kCaptionHeight) return HTCAPTION;
    return HTNOWHERE;
}

}  // namespace

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* record = FindWindowRecord(window);
    if (!record) return 0;
    switch (message) {
    case WM_NCCREATE: {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        if (create && create->lpszName && !IS_INTRESOURCE(create->lpszName)) record->text = create->lpszName;
        return TRUE;
    }
    case WM_SETTEXT: return SetText(*record, reinterpret_cast<LPCSTR>(lParam));
    case WM_GETTEXT: return CopyText(*record, wParam, reinterpret_cast<LPSTR>(lParam));
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(record->text.size());
    case WM_PAINT: record->invalid = false; return 0;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(window, WM_CLOSE, 0, 0);
        return 0;
    case WM_NCHITTEST: return HitTest(*record, lParam);
    default: return 0;
    }
}
