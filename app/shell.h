// The application's frame: start-up, the main window and its procedure, and
// the message loop that renders a frame whenever the queue runs dry.
#pragma once

#include "platform/win32/windows.h"

namespace quillmark {

inline constexpr const char* kMainWindowClass = "D3D";
inline constexpr const char* kMainWindowTitle = "D3D Quillmark Ver 1.3a";
inline constexpr int kSettingsDialogTemplate = 101;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Start-up steps up to the message loop: window class, main window, device,
// buffers, the Settings dialog, the generated texture. On failure reports
// on stderr, undoes what was done and returns false.
bool StartProbe(HINSTANCE instance);

// What one pass of the message loop did.
enum class LoopStep { Quit, Dispatched, Rendered, Idle };

// One pass of the message loop: dispatches one queued message, or, with an
// empty queue, renders a frame when one is due (a message was handled since
// the last frame, or an analysis run is unfinished). After a frame that
// leaves nothing due it waits for the next message, unless `mayWait` is
// false (a caller that draws frames itself on the desktop, where waiting
// would wait for the user).
LoopStep RunLoopStep(bool mayWait = true);

// Makes a frame due, as a message that can change the frame does.
void RequestFrame();

// The main window's menu bar, made when it has none yet: each menu of the
// window adds its popup to it.
HMENU MainMenuBar();

// Runs the message loop until WM_QUIT.
void RunMessageLoop();

// Unregisters the window class (the end of the program).
void FinishProbe(HINSTANCE instance);

// The whole interactive program; returns the process exit code.
int RunInteractiveProbe(HINSTANCE instance);

}  // namespace quillmark
