// Dialogs built from registered templates, the default dialog procedure and
// the dialog-item helpers.
#include "platform/win32/backend_impl.h"
#include "platform/win32/controls.h"
#include "platform/win32/dialog_template.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace quillmark::win32 {
namespace {

class DialogData : public ControlData {
public:
    explicit DialogData(SIZE units) : baseUnits(units) {}
    SIZE baseUnits;  // average character width and height of the dialog font
};

std::map<WORD, DialogTemplate>& Templates() {
    static std::map<WORD, DialogTemplate> templates;
    return templates;
}

int Scale(int value, int unit, int divisor) {
    return static_cast<int>(std::lround(static_cast<double>(value) * unit / divisor));
}

RECT ToPixels(SIZE units, int x, int y, int cx, int cy) {
    return RECT{Scale(x, units.cx, 4), Scale(y, units.cy, 8), Scale(x + cx, units.cx, 4),
                Scale(y + cy, units.cy, 8)};
}

// Whether a message's result is the dialog procedure's own return value
// rather than DWLP_MSGRESULT.
bool ReturnsDirectly(UINT message) { return message == WM_INITDIALOG; }

// A dialog opens on the monitor that holds its owner: moved into that
// monitor's work area and no larger than it (the backend lets the user
// scroll to the controls a shortened dialog leaves out).
RECT KeptOnMonitor(HWND owner, POINT origin, SIZE outer) {
    POINT near = origin;
    if (RECT owned{}; owner && GetWindowRect(owner, &owned))
        near = POINT{(owned.left + owned.right) / 2, (owned.top + owned.bottom) / 2};
    const RECT area = ActiveBackend().WorkAreaNear(near);
    const LONG width = std::min(outer.cx, area.right - area.left);
    const LONG height = std::min(outer.cy, area.bottom - area.top);
    const LONG left = std::clamp(origin.x, area.left, area.right - width);
    const LONG top = std::clamp(origin.y, area.top, area.bottom - height);
    return RECT{left, top, left + width, top + height};
}

HWND CreateDialogWindow(const DialogTemplate& dialog, HINSTANCE instance, HWND owner, SIZE units) {
    RECT rect = ToPixels(units, dialog.x, dialog.y, dialog.cx, dialog.cy);
    const DWORD style = dialog.style & ~static_cast<DWORD>(WS_VISIBLE);
    const DWORD exStyle = dialog.exStyle | ((dialog.style & DS_MODALFRAME) ? WS_EX_DLGMODALFRAME : 0);
    RECT outer{0, 0, rect.right - rect.left, rect.bottom - rect.top};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    POINT origin{rect.left, rect.top};
    if (owner && !(dialog.style & DS_ABSALIGN)) ClientToScreen(owner, &origin);
    if (dialog.style & DS_CENTER) {
        const SIZE screen = ActiveBackend().ScreenSize();
        origin = POINT{(screen.cx - (outer.right - outer.left)) / 2, (screen.cy - (outer.bottom - outer.top)) / 2};
    }
    const RECT placed = KeptOnMonitor(owner, origin, SIZE{outer.right - outer.left, outer.bottom - outer.top});
    return CreateWindowExA(exStyle, "#32770", dialog.caption.c_str(), style, placed.left, placed.top,
                           placed.right - placed.left, placed.bottom - placed.top, owner, nullptr, instance, nullptr);
}

bool CreateControls(HWND dialog, const DialogTemplate& dialogTemplate, HINSTANCE instance, SIZE units) {
    for (const DialogControl& control : dialogTemplate.controls) {
        const RECT rect = ToPixels(units, control.x, control.y, control.cx, control.cy);
        const HWND created = CreateWindowExA(
            control.exStyle, control.className.c_str(), control.text.c_str(), control.style | WS_CHILD,
            rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, dialog,
            reinterpret_cast<HMENU>(static_cast<std::intptr_t>(control.id)), instance, nullptr);
        if (!created) return false;
    }
    return true;
}

HWND FirstTabStop(HWND dialog) {
    Window* window = FindWindowRecord(dialog);
    if (!window) return nullptr;
    for (HWND child : window->children) {
        const Window* control = FindWindowRecord(child);
        if ((control->style & WS_TABSTOP) && !(control->style & WS_DISABLED) && (control->style & WS_VISIBLE))
            return child;
    }
    return nullptr;
}

}  // namespace

void RegisterDialogTemplate(WORD resourceId, DialogTemplate dialog) {
    Templates()[resourceId] = std::move(dialog);
}

const DialogTemplate* FindDialogTemplate(LPCSTR templateName) {
    if (!templateName || !IS_INTRESOURCE(templateName)) return nullptr;
    auto found = Templates().find(static_cast<WORD>(reinterpret_cast<std::uintptr_t>(templateName)));
    return found == Templates().end() ? nullptr : &found->second;
}

}  // namespace quillmark::win32

using namespace quillmark::win32;

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam) {
    EnsureStandardClasses();
    const DialogTemplate* found = FindDialogTemplate(templateName);
    if (!found) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const DialogTemplate dialogTemplate = *found;  // the procedure may replace the registration
    const SIZE units = (dialogTemplate.style & DS_SETFONT)
                           ? ActiveBackend().FontCharSize(dialogTemplate.fontName, dialogTemplate.pointSize)
                           : SIZE{LOWORD(GetDialogBaseUnits()), HIWORD(GetDialogBaseUnits())};
    const HWND dialog = CreateDialogWindow(dialogTemplate, instance, owner, units);
    if (!dialog) return nullptr;
    FindWindowRecord(dialog)->control = std::make_unique<DialogData>(units);
    SetWindowLongPtrA(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(dialogProc));
    if (!CreateControls(dialog, dialogTemplate, instance, units)) {
        DestroyWindow(dialog);
        return nullptr;
    }
    const HWND focus = FirstTabStop(dialog);
    const LRESULT setFocus = SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam);
    if (!IsWindow(dialog)) return nullptr;
    if (setFocus && focus && IsWindow(focus)) SetFocus(focus);
    if (dialogTemplate.style & WS_VISIBLE) ShowWindow(dialog, SW_SHOWNORMAL);
    return IsWindow(dialog) ? dialog : nullptr;
}

LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!FindWindowRecord(dialog)) return 0;
    const auto procedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(dialog, DWLP_DLGPROC));
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
    const INT_PTR handled = procedure ? procedure(dialog, message, wParam, lParam) : FALSE;
    if (!FindWindowRecord(dialog)) return handled;
    if (handled) return ReturnsDirectly(message) ? handled : GetWindowLongPtrA(dialog, DWLP_MSGRESULT);
    if (message == WM_CLOSE) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
        return 0;
    }
    return DefWindowProcA(dialog, message, wParam, lParam);
}

HWND GetDlgItem(HWND dialog, int id) {
    Window* window = WindowOrError(dialog);
    if (!window) return nullptr;
    for (HWND child : window->children)
        if (FindWindowRecord(child)->id == id) return child;
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

int GetDlgCtrlID(HWND control) {
    Window* window = WindowOrError(control);
    return window && window->parent ? window->id : 0;
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND control = GetDlgItem(dialog, id);
    return control ? SendMessageA(control, message, wParam, lParam) : 0;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    const HWND control = GetDlgItem(dialog, id);
    return control ? SetWindowTextA(control, text) : FALSE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount) {
    const HWND control = GetDlgItem(dialog, id);
    if (!control) {
        if (text && maxCount > 0) text[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(control, text, maxCount));
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    const HWND control = GetDlgItem(dialog, id);
    if (!control) return FALSE;
    SendMessageA(control, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    return static_cast<UINT>(SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId) {
    Window* window = WindowOrError(dialog);
    if (!window) return FALSE;
    for (HWND child : std::vector<HWND>(window->children)) {
        const Window* control = FindWindowRecord(child);
        if (!control || control->id < firstId || control->id > lastId) continue;
        SendMessageA(child, BM_SETCHECK, control->id == checkId ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    return TRUE;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
    auto* data = ControlOf<DialogData>(dialog);
    if (!data || !rect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = RECT{Scale(rect->left, data->baseUnits.cx, 4), Scale(rect->top, data->baseUnits.cy, 8),
                 Scale(rect->right, data->baseUnits.cx, 4), Scale(rect->bottom, data->baseUnits.cy, 8)};
    return TRUE;
}

// The system font's average character size.
LONG GetDialogBaseUnits() { return MAKELONG(8, 16); }
