// The GTK 3 desktop backend: every top-level window becomes a GtkWindow
// (the main window shows the images presented to it; a dialog holds its
// controls at their template positions under a header bar), every control a
// GTK widget, and every GTK signal the message the Win32 control would send.
#pragma once

#include "platform/win32/backend_impl.h"

#include <gtk/gtk.h>
#include <map>

namespace quillmark::win32 {

// The widgets that stand for one window.
struct GtkWindowParts {
    GtkWidget* top = nullptr;       // the GtkWindow of a top-level window
    GtkWidget* header = nullptr;    // a dialog's header bar
    GtkWidget* caption = nullptr;   // the event box holding a dialog's title
    GtkWidget* client = nullptr;    // drawing area (main window) or GtkFixed (dialog)
    GtkWidget* scroller = nullptr;  // a dialog's scrolled window around its GtkFixed
    GtkWidget* menuBar = nullptr;   // a main window's menu bar (hidden while it has no menu)
    GtkWidget* widget = nullptr;    // a control's widget
    GtkWidget* uncheck = nullptr;   // a radio button's hidden partner
};

class GtkBackend : public BackendImpl {
public:
    GtkBackend();
    ~GtkBackend() override;

    void WindowCreated(HWND window) override;
    void WindowDestroyed(HWND window) override;
    void WindowChanged(HWND window, WindowChange change) override;
    void ImageShown(HWND window) override;
    int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
    bool ChooseFileToOpen(HWND owner, const std::string& title, std::string& path) override;
    bool ChooseFolder(HWND owner, const std::string& title, std::string& path) override;
    void WaitForInput() override;
    void BlockForInput() override;
    void Pump() override;
    void Wake() override;
    void SetProgramIcon(const std::string& image) override;
    SIZE ScreenSize() const override;
    RECT WorkAreaNear(POINT point) const override;
    SIZE FontCharSize(const std::string& fontName, int pointSize) const override;

    // The widget that stands for a control (tests act on it as a person would).
    GtkWidget* ControlWidget(HWND control) const;
    // The GtkWindow of a top-level window.
    GtkWidget* TopWidget(HWND window) const;
    // The caption (title) widget of a dialog.
    GtkWidget* CaptionWidget(HWND dialog) const;
    // The client widget of a top-level window (a dialog's scrolled window).
    GtkWidget* ClientWidget(HWND window) const;
    // The menu item of a window's menu bar with that command id, or null.
    GtkWidget* MenuItemWidget(HWND window, UINT id) const;

private:
    void CreateTopLevel(HWND window);
    void CreateControl(HWND control);
    void SyncTopLevel(HWND window);
    void SyncControl(HWND control);
    void SyncMenuBar(HWND window);
    GtkWindow* ParentWindowOf(HWND owner) const;

    std::map<HWND, GtkWindowParts> parts_;
    std::string lastFolder_;  // the folder last chosen in the folder dialog
    bool pumping_ = false;
};

// Widgets and signal wiring of the controls (gtk_controls.cpp).
GtkWidget* CreateControlWidget(HWND control, GtkWindowParts& parts);
void SyncControlWidget(HWND control, const GtkWindowParts& parts);

// Windows-1252 text (the system's 8-bit texts) as UTF-8 for GTK.
std::string Utf8FromWindowsText(const std::string& text);

// True while the backend writes model state into widgets: their signals
// are then not the user's doing.
bool& SyncingWidgets();

// On the desktop the user's input reaches a program through its message
// queue, so the program's loop takes a pass after every action. Here the
// controls are driven from GTK signals instead; each action posts a WM_NULL
// to the control, standing for that queued input.
inline void MarkUserInput(HWND control) { PostMessageA(control, WM_NULL, 0, 0); }

}  // namespace quillmark::win32
