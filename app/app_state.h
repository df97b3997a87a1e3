// The application record: what belongs to the window of the interactive
// program (the main window, the Settings dialog and its roll-up). The device,
// the resources, the settings and the analysis run are the probe's
// (app/probe_state.h). One thread reads and writes it.
#pragma once

#include "platform/win32/windows.h"

namespace quillmark {

struct AppState {
    HWND mainWindow = nullptr;
    HWND settingsDialog = nullptr;
    float lodBiasRange = 0.0f;  // the bias slider runs from -10 x range to +10 x range
    bool dialogRolledUp = false;
    RECT dialogRect{};  // the dialog's screen rectangle saved when it was rolled up
};

// The one instance.
extern AppState g_app;

}  // namespace quillmark
