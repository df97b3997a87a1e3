// Dialog templates held in the program instead of a resource file. A
// template registered under a resource id is what
// CreateDialogParamA(instance, MAKEINTRESOURCEA(id), owner, proc, param)
// builds: the dialog window, then its controls in template order, then
// WM_INITDIALOG with param.
//
// Coordinates are dialog units: x / 4 and y / 8 of the dialog font's average
// character width and height. The dialog's x, y place its window relative to
// the owner's client area (to the screen with DS_ABSALIGN or without owner);
// cx, cy are the size of its client area.
#pragma once

#include "platform/win32/windows.h"

#include <string>
#include <vector>

namespace quillmark::win32 {

struct DialogControl {
    std::string className;  // "BUTTON", "STATIC", "EDIT", "COMBOBOX", "SCROLLBAR",
                            // TRACKBAR_CLASSA, PROGRESS_CLASSA
    std::string text;
    int id = -1;            // -1: a control nobody addresses
    DWORD style = 0;        // complete style: WS_VISIBLE, WS_TABSTOP, WS_GROUP and the
                            // class styles; WS_CHILD is added by the dialog
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD exStyle = 0;
};

struct DialogTemplate {
    std::string caption;
    DWORD style = 0;        // WS_VISIBLE makes the dialog visible once initialised
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string fontName;   // used with DS_SETFONT
    WORD pointSize = 8;
    std::vector<DialogControl> controls;
    DWORD exStyle = 0;
};

// Registers (or replaces) the template of that resource id.
void RegisterDialogTemplate(WORD resourceId, DialogTemplate dialog);

// The template registered under a MAKEINTRESOURCEA id, or null.
const DialogTemplate* FindDialogTemplate(LPCSTR templateName);

}  // namespace quillmark::win32
