// The user's actions, as the messages they bring.
#include "platform/win32/user_input.h"
#include "platform/win32/controls.h"

namespace quillmark::win32 {
namespace {

// A user can reach only a shown, enabled window of the expected class.
Window* Reachable(HWND window, const char* className) {
    Window* record = FindWindowRecord(window);
    if (!record || !IsShown(*record) || !IsWindowEnabled(window)) return nullptr;
    if (className && LowerCase(record->className) != LowerCase(className)) return nullptr;
    for (const Window* parent = FindWindowRecord(record->parent); parent; parent = FindWindowRecord(parent->parent))
        if (parent->style & WS_DISABLED) return nullptr;
    return record;
}

LPARAM CenterOf(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return MAKELPARAM(client.right / 2, client.bottom / 2);
}

}  // namespace

bool ClickButton(HWND button) {
    Window* record = Reachable(button, "BUTTON");
    if (!record || (record->style & BS_TYPEMASK) == BS_GROUPBOX) return false;
    const LPARAM point = CenterOf(button);
    SendMessageA(button, WM_LBUTTONDOWN, 0, point);
    SendMessageA(button, WM_LBUTTONUP, 0, point);
    return true;
}

bool SelectComboItem(HWND comboBox, int index) {
    return Reachable(comboBox, "COMBOBOX") && UserSelectsComboItem(comboBox, index);
}

bool DragTrackbar(HWND trackbar, int position) {
    return Reachable(trackbar, TRACKBAR_CLASSA) && UserDragsTrackbar(trackbar, position);
}

bool PressScrollBar(HWND scrollBar, int code) {
    return Reachable(scrollBar, "SCROLLBAR") && UserPressesScrollBar(scrollBar, code);
}

bool DragScrollThumb(HWND scrollBar, int position) {
    return Reachable(scrollBar, "SCROLLBAR") && UserTracksScrollThumb(scrollBar, position) &&
           UserReleasesScrollThumb(scrollBar);
}

bool ChooseMenuItem(HWND window, UINT id) {
    if (!Reachable(window, nullptr)) return false;
    const HMENU bar = GetMenu(window);
    const UINT state = bar ? GetMenuState(bar, id, MF_BYCOMMAND) : UINT(-1);
    if (state == UINT(-1) || (state & (MF_GRAYED | MF_DISABLED | MF_POPUP))) return false;
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    return true;
}

bool DoubleClickCaption(HWND window) {
    Window* record = Reachable(window, nullptr);
    if (!record || (record->style & WS_CAPTION) != static_cast<DWORD>(WS_CAPTION)) return false;
    const RECT client = ClientRectOnScreen(*record);
    const LPARAM point = MAKELPARAM((client.left + client.right) / 2, client.top - kCaptionHeight / 2);
    SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, point);
    SendMessageA(window, WM_NCLBUTTONUP, HTCAPTION, point);
    SendMessageA(window, WM_NCLBUTTONDBLCLK, HTCAPTION, point);
    SendMessageA(window, WM_NCLBUTTONUP, HTCAPTION, point);
    return true;
}

bool PressCloseBox(HWND window) {
    Window* record = FindWindowRecord(window);
    if (!record || !IsShown(*record) || record->parent || !(record->style & WS_SYSMENU)) return false;
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
}

}  // namespace quillmark::win32
