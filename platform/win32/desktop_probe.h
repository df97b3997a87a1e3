// Acting on the desktop backend's widgets as a person would, and reading
// what they show: for tests of the GTK backend. Every function returns
// false (or empty facts) when the GTK backend is not the one in use.
#pragma once

#include "platform/win32/windows.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillmark::win32 {

// Handles every pending display event.
void DesktopProcessEvents();

// A click on the control's button widget.
bool DesktopClick(HWND control);

// Choosing an entry in the combo box widget.
bool DesktopChooseComboItem(HWND comboBox, int index);

// Dragging a trackbar's or scroll bar's thumb to `value` and letting go.
bool DesktopDragThumb(HWND control, int value);

// Arms an answer for the next file chooser: once it is shown, `path` is
// selected in it and "Open" pressed, as a person would (or, when the file
// cannot be selected within 10 seconds, "Cancel").
bool DesktopAnswerFileChooser(const std::string& path);

// Choosing the item of a window's menu bar with that command id, as a
// click on it would (false when there is none or it is grayed).
bool DesktopChooseMenuItem(HWND window, UINT id);

// The window manager's close request on a top-level window.
bool DesktopClose(HWND window);

// A double click on a dialog's header bar.
bool DesktopDoubleClickCaption(HWND dialog);

// The centre of a dialog's caption (its header bar's title), in screen
// coordinates, for real pointer input.
bool DesktopCaptionCentre(HWND dialog, POINT& centre);

struct DesktopFacts {
    bool shown = false;
    std::string title;         // UTF-8
    std::string text;          // a control's label or entry text, UTF-8
    double value = 0;          // a range's value or a progress bar's fraction
    bool active = false;       // a toggle button's state
    bool sensitive = false;
    int clientWidth = 0;       // a top-level window's client widget
    int clientHeight = 0;
    bool closeBox = false;     // a top-level window offers a close box
    bool focusRing = false;    // a top-level window shows where the keyboard focus is
    bool focused = false;      // a control holds the keyboard focus
    int iconWidth = 0;         // a top-level window's icon as the desktop reads it (_NET_WM_ICON)
    RECT onScreen{};           // a top-level window's title bar and client, or a control, in screen pixels
    RECT clientOnScreen{};     // the part of a top-level window's client area that is shown
};

DesktopFacts DesktopFactsOf(HWND window);

// The main window's client area as drawn (or a control as drawn),
// X8R8G8B8 rows (empty if none), on a screen of `deviceScale` device pixels per pixel (2 on a HiDPI screen,
// GDK_SCALE=2): the rows then hold the device pixels.
std::vector<std::uint32_t> DesktopSnapshot(HWND window, int& width, int& height, int deviceScale = 1);

}  // namespace quillmark::win32
