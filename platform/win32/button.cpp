// BUTTON: push buttons, check boxes, radio buttons and group boxes.
#include "platform/win32/backend_impl.h"
#include "platform/win32/controls.h"

#define BST_PUSHED 0x0004

namespace quillmark::win32 {
namespace {

class ButtonData : public ControlData {
public:
    UINT check = BST_UNCHECKED;
    bool pushed = false;
};

ButtonData& Data(Window& window) {
    if (auto* data = dynamic_cast<ButtonData*>(window.control.get())) return *data;
    window.control = std::make_unique<ButtonData>();
    return static_cast<ButtonData&>(*window.control);
}

bool IsCheckable(DWORD type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
           type == BS_3STATE || type == BS_AUTO3STATE || type == BS_AUTORADIOBUTTON;
}

void SetCheck(Window& window, UINT state) {
    const DWORD type = window.style & BS_TYPEMASK;
    if (!IsCheckable(type)) return;
    if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) state = state ? BST_CHECKED : BST_UNCHECKED;
    ButtonData& data = Data(window);
    if (data.check == state) return;
    data.check = state;
    InvalidateWindow(window, nullptr);
    NotifyBackend(window.handle, WindowChange::State);
}

// The automatic radio buttons of the same group: from the control that
// starts the group (WS_GROUP) up to the next one that starts a group.
std::vector<HWND> RadioGroupOf(const Window& button) {
    const Window* parent = FindWindowRecord(button.parent);
    if (!parent) return {};
    const std::vector<HWND>& siblings = parent->children;
    std::size_t self = 0;
    while (self < siblings.size() && siblings[self] != button.handle) ++self;
    std::size_t first = self;
    while (first > 0 && !(FindWindowRecord(siblings[first])->style & WS_GROUP)) --first;
    std::vector<HWND> group;
    for (std::size_t i = first; i < siblings.size(); ++i) {
        const Window* sibling = FindWindowRecord(siblings[i]);
        if (i > first && (sibling->style & WS_GROUP)) break;
        if ((sibling->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON &&
            LowerCase(sibling->className) == "button")
            group.push_back(siblings[i]);
    }
    return group;
}

void Click(HWND handle) {
    Window* window = FindWindowRecord(handle);
    if (!window) return;
    switch (window->style & BS_TYPEMASK) {
    case BS_AUTOCHECKBOX: SetCheck(*window, Data(*window).check ? BST_UNCHECKED : BST_CHECKED); break;
    case BS_AUTO3STATE: SetCheck(*window, (Data(*window).check + 1) % 3); break;
    case BS_AUTORADIOBUTTON:
        for (HWND other : RadioGroupOf(*window))
            if (other != handle) SendMessageA(other, BM_SETCHECK, BST_UNCHECKED, 0);
        SetCheck(*window, BST_CHECKED);
        break;
    default: break;
    }
    NotifyParentCommand(handle, BN_CLICKED);
}

}  // namespace

LRESULT CALLBACK ButtonProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = FindWindowRecord(handle);
    if (!window) return 0;
    const DWORD type = window->style & BS_TYPEMASK;
    switch (message) {
    case BM_GETCHECK: return IsCheckable(type) ? Data(*window).check : BST_UNCHECKED;
    case BM_SETCHECK: SetCheck(*window, static_cast<UINT>(wParam)); return 0;
    case BM_GETSTATE: return Data(*window).check | (Data(*window).pushed ? BST_PUSHED : 0);
    case BM_SETSTATE: Data(*window).pushed = wParam != 0; return 0;
    case BM_CLICK:
        SendMessageA(handle, WM_LBUTTONDOWN, 0, 0);
        SendMessageA(handle, WM_LBUTTONUP, 0, 0);
        return 0;
    case WM_LBUTTONDOWN:
        if (type == BS_GROUPBOX || (window->style & WS_DISABLED)) return 0;
        Data(*window).pushed = true;
        SetFocus(handle);
        return 0;
    case WM_LBUTTONUP:
        if (!Data(*window).pushed) return 0;
        Data(*window).pushed = false;
        Click(handle);
        return 0;
    default: return DefWindowProcA(handle, message, wParam, lParam);
    }
}

void NotifyParentCommand(HWND control, WORD code) {
    Window* window = FindWindowRecord(control);
    if (!window || !window->parent) return;
    SendMessageA(window->parent, WM_COMMAND, MAKEWPARAM(window->id, code), reinterpret_cast<LPARAM>(control));
}

LRESULT NotifyParent(HWND control, UINT code) {
    Window* window = FindWindowRecord(control);
    if (!window || !window->parent) return 0;
    NMHDR header{control, static_cast<UINT_PTR>(window->id), code};
    return SendMessageA(window->parent, WM_NOTIFY, static_cast<WPARAM>(window->id),
                        reinterpret_cast<LPARAM>(&header));
}

LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK EditProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == EM_SETREADONLY) {
        Window* window = FindWindowRecord(handle);
        if (!window) return FALSE;
        if (wParam) window->style |= ES_READONLY;
        else window->style &= ~static_cast<DWORD>(ES_READONLY);
        NotifyBackend(handle, WindowChange::State);
        return TRUE;
    }
    return DefWindowProcA(handle, message, wParam, lParam);
}

}  // namespace quillmark::win32
