// The λ view of the desktop window: the λ error map of the settings in use,
// measured as `quillmark lod` measures it, laid over the frame with its
// colour bar, and the status line reading λ at the pointer. The L key and
// View > Lambda View turn it on and off. A change of a setting or of the
// device makes it measure again (two frames of the generated texture,
// drawn between messages); while an analysis run is on screen it waits.
#pragma once

#include "platform/win32/windows.h"

#include <string>

namespace quillmark {

inline constexpr UINT kLodViewCommand = 41001;
inline constexpr WPARAM kLodViewKey = 'L';

// Gives the main window the View menu with Lambda View (its menu bar made
// if it has none).
void AddLodViewMenu();

// Turns the view on or off; the menu entry is checked while it is on.
void ToggleLodView();
bool LodViewShown();

// Handles View > Lambda View; false for any other command.
bool OnLodViewCommand(UINT id);

// Handles the L key; false for any other key.
bool OnLodViewKey(WPARAM key);

// After a frame of the message loop: while the view is on, measures again
// when a setting or the device changed since it last measured, then shows
// the error map over the frame.
void ShowLodView();

// The pointer is over client pixel (x, y): the status line says what lies there.
void OnPointerMoved(int x, int y);

// The status line's text for client pixel (x, y): the pixel, and while the
// view is on the measured λ, the ideal λ and its band, the level read and
// the next level's share in the blend, and the error Δλ ("delta").
std::string PointerStatusText(int x, int y);

}  // namespace quillmark
