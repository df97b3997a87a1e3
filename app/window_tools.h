// The desktop window's menus and keys beyond the Parts' own, as the main
// window procedure reaches them: A / B (app/ab_flip.h) and the explanation
// panel (app/explain_panel.h). A click on the frame opens the pixel
// inspector (app/pixel_inspector.h).
#pragma once

#include "platform/win32/windows.h"

namespace quillmark {

// Gives the main window the A/B and Explain menus.
void AddWindowToolMenus();

// Grays the tools' menu items (or enables them again): the device and the
// generated texture cannot change under an analysis run.
void EnableWindowTools(bool enabled);

// A command of those menus or a key; false for one none of them takes.
bool OnWindowToolCommand(UINT id);
bool OnWindowToolKey(WPARAM key);

}  // namespace quillmark
