// msctls_statusbar32: a line of text along the bottom of its parent, in one
// part (part 0), whose text is the window's text. The backend places it.
#include "platform/win32/controls.h"

#include <cstring>

namespace quillmark::win32 {

LRESULT CALLBACK StatusBarProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    // The low byte of wParam names the part; the high byte the drawing style.
    const bool partZero = (wParam & 0xFF) == 0;
    switch (message) {
    case SB_SETTEXTA:
        if (!partZero) return FALSE;
        return DefWindowProcA(handle, WM_SETTEXT, 0, lParam);
    case SB_GETTEXTLENGTHA:
        return partZero ? DefWindowProcA(handle, WM_GETTEXTLENGTH, 0, 0) : 0;
    case SB_GETTEXTA: {
        // The caller's buffer holds the whole text, as on Win32.
        if (!partZero || !lParam) return 0;
        const LRESULT length = DefWindowProcA(handle, WM_GETTEXTLENGTH, 0, 0);
        return DefWindowProcA(handle, WM_GETTEXT, static_cast<WPARAM>(length + 1), lParam);
    }
    default: return DefWindowProcA(handle, message, wParam, lParam);
    }
}

}  // namespace quillmark::win32
