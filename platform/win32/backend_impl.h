// What a backend does for the window model: it mirrors windows on a display
// (or nowhere), shows the modal dialogs and waits for input. The window
// model tells it about every change through these hooks.
#pragma once

#include "platform/win32/windows.h"

#include <string>

namespace quillmark::win32 {

enum class WindowChange { Visibility, Geometry, Text, Enabled, State, Menu };

class BackendImpl {
public:
    virtual ~BackendImpl() = default;
    virtual void WindowCreated(HWND) {}
    virtual void WindowDestroyed(HWND) {}
    virtual void WindowChanged(HWND, WindowChange) {}
    virtual void ImageShown(HWND) {}
    virtual int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                               UINT type) = 0;
    // Fills `path` and returns true, or returns false when the user cancels.
    virtual bool ChooseFileToOpen(HWND owner, const std::string& title, std::string& path) = 0;
    // The folder dialog: fills `path` and returns true, or false when the
    // user cancels.
    virtual bool ChooseFolder(HWND owner, const std::string& title, std::string& path) = 0;
    // Called by WaitMessage with an empty queue: waits for user input.
    virtual void WaitForInput() = 0;
    // Called by GetMessageA with an empty queue: must wait until something
    // can be retrieved.
    virtual void BlockForInput() = 0;
    // A message was posted, possibly from another thread.
    virtual void Wake() {}
    // Handles pending display events without waiting (PeekMessageA).
    virtual void Pump() {}
    // The program's icon for its top-level windows (image file bytes).
    virtual void SetProgramIcon(const std::string&) {}
    virtual SIZE ScreenSize() const = 0;
    // The work area (the screen less panels) of the monitor that holds the
    // point, or of the one nearest to it.
    virtual RECT WorkAreaNear(POINT) const {
        const SIZE screen = ScreenSize();
        return RECT{0, 0, screen.cx, screen.cy};
    }
    // Average character width and height of a dialog font, in pixels.
    virtual SIZE FontCharSize(const std::string& fontName, int pointSize) const = 0;
};

// The backend in use.
BackendImpl& ActiveBackend();

// Sends the change to the backend.
void NotifyBackend(HWND window, WindowChange change);

// The GTK backend, or null in a build without it or without a display.
BackendImpl* CreateGtkBackend();

// The first button of a message box of that type (MB_OK ... MB_RETRYCANCEL).
int FirstButtonOf(UINT type);

}  // namespace quillmark::win32
