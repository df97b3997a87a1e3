// The explanation panel of the desktop window: Explain This Device (or the
// E key) runs `explain`'s experiments on the device in use, draws the same
// scenes on the model device they name for the proof, and shows the
// explanation in a window. The model becomes the A/B menu's second device,
// so a click on the panel (or the B key) flips the frame between the device
// and the model that explains it.
#pragma once

#include "app/explain/explanation.h"

#include "platform/win32/windows.h"

#include <string>

namespace quillmark {

inline constexpr UINT kExplainCommand = 42003;
inline constexpr WPARAM kExplainKey = 'E';

// Gives the main window the Explain menu.
void AddExplainMenu();

struct DeviceExplanation {
    std::string device, model;
    explain::Findings findings;
    explain::Proof proof;
    std::string text;  // as `explain` prints it
};

// Explains the device in use and shows the panel; false with the reason.
bool ExplainDeviceInUse(std::string* error);
const DeviceExplanation* ShownExplanation();
HWND ExplainPanelWindow();

// The Explain menu's command and key; false for any other.
bool OnExplainCommand(UINT id);
bool OnExplainKey(WPARAM key);

}  // namespace quillmark
