// The model behind HWND: every window's record, the table of live windows
// and the registered window classes. Window functions, the message queue,
// the controls and the backends share it; all of it runs on the GUI thread.
#pragma once

#include "platform/win32/windows.h"

#include <memory>
#include <string>
#include <vector>

namespace quillmark::win32 {

// Per-window state of a control or dialog, owned by its window.
class ControlData {
public:
    virtual ~ControlData() = default;
};

struct ScrollState {
    int min = 0;
    int max = 0;
    UINT page = 0;
    int pos = 0;
    int trackPos = 0;
};

struct WindowClass {
    std::string name;
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int windowExtra = 0;
    HINSTANCE instance = nullptr;
    bool system = false;
};

struct Window {
    HWND handle = nullptr;
    std::string className;
    WNDPROC proc = nullptr;
    std::string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect{};             // parent's client coordinates for a child, else the screen's
    HWND parent = nullptr;   // WS_CHILD windows only
    HWND owner = nullptr;    // top-level windows only
    int id = 0;
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    std::vector<BYTE> extra;  // cbWndExtra bytes
    std::vector<HWND> children;  // in z-order, topmost first (creation order)
    bool invalid = false;
    RECT invalidRect{};
    ScrollState scroll[3];   // SB_HORZ, SB_VERT, SB_CTL
    std::unique_ptr<ControlData> control;
    bool destroying = false;
    void* backendData = nullptr;
};

// The live window of a handle, or null (the desktop window included).
Window* FindWindowRecord(HWND window);

// As FindWindowRecord, setting ERROR_INVALID_WINDOW_HANDLE when not found.
Window* WindowOrError(HWND window);

// Adds a window to the table and gives it its handle.
Window& AddWindow(std::unique_ptr<Window> window);

// Removes a window from the table (its memory is freed).
void RemoveWindow(HWND window);

// Whether the handle names a live window; safe on any thread (posting).
bool IsLiveHandle(HWND window);

// Every live top-level window, in creation order.
std::vector<HWND> TopLevelWindows();

// Every live window, in creation order.
std::vector<HWND> AllWindows();

// Class registry. Names are compared without regard to case; an atom
// (MAKEINTATOM) names the class registered with it.
const WindowClass* FindWindowClass(LPCSTR name);
ATOM AddWindowClass(WindowClass windowClass);
bool RemoveWindowClass(LPCSTR name);

// Data of a control or dialog window, when it is of that type.
template <typename T>
T* ControlOf(HWND window) {
    Window* record = FindWindowRecord(window);
    return record ? dynamic_cast<T*>(record->control.get()) : nullptr;
}

// Non-client geometry: the client rectangle inside a window rectangle of
// that style (frame 3 pixels for a caption or dialog frame, 4 for a sizing
// border, 1 for a plain border; caption 19 pixels).
RECT ClientInsets(DWORD style, DWORD exStyle);
inline constexpr int kCaptionHeight = 19;

// Screen rectangle of a window's client area.
RECT ClientRectOnScreen(const Window& window);

// Whether the window and all its parents are visible.
bool IsShown(const Window& window);

// Lower-case copy, for class-name comparison.
std::string LowerCase(const std::string& text);

}  // namespace quillmark::win32

namespace quillmark::win32 {

// The desktop window: a fixed handle outside the table, the size of the screen.
HWND DesktopHandle();

// Screen rectangle of a window (its outer edges).
RECT WindowRectOnScreen(const Window& window);

// Registers a class of the system (controls, dialogs); they cannot be
// unregistered.
void AddSystemClass(const char* name, WNDPROC proc, int windowExtra);

// Registers BUTTON, STATIC, EDIT, COMBOBOX, SCROLLBAR and the dialog class
// on first use.
void EnsureStandardClasses();

// Marks the client rectangle (all of it for null) as needing a repaint.
void InvalidateWindow(Window& window, const RECT* rect);

// Removes every queued message of the window (it is being destroyed).
void DropMessagesFor(HWND window);

// The window that has the keyboard focus is forgotten when destroyed.
void ForgetFocus(HWND window);

// Drops the image a destroyed window showed.
void ForgetWindowImage(HWND window);

struct WindowImage;
// The last image shown in the window, or null (valid until the next one).
const WindowImage* FindWindowImage(HWND window);

}  // namespace quillmark::win32
