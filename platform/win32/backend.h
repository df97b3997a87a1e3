// Which backend serves the windows: headless (no display; tests and batch
// mode act as the user through user_input.h) or GTK 3 (a desktop). The
// backend is chosen once, before the first window is created; headless is
// the default.
#pragma once

#include <string>

namespace quillmark::win32 {

enum class Backend { Headless, Gtk };

// True when DISPLAY or WAYLAND_DISPLAY is set and GTK can open the display
// (always false in a build without GTK).
bool DisplayAvailable();

// Chooses the backend; false (and headless stays) when Gtk is asked for
// without an available display or after windows exist.
bool SelectBackend(Backend backend);

Backend CurrentBackend();

// True when this build has the GTK desktop backend.
bool DesktopBackendBuilt();

// The program's icon, shown by the desktop for every top-level window (title
// bar, task switcher) as its own convention has it, where Win32 would take
// the class icon: the bytes of an image file in a format the desktop reads
// (SVG included). The desktop backend applies it to the windows that exist
// and to those created later; headless, it changes nothing.
void SetProgramIcon(const std::string& image);

}  // namespace quillmark::win32
