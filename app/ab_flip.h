// A / B in the desktop window: a second device (B) beside the one in use
// (A), chosen in the A/B menu; the B key (or Flip A / B) switches the frame
// between the two, rebuilding the device as the Device menu does and keeping
// every setting, and the title ends in "(A)" or "(B)"; the D key (or
// Difference A / B) draws the frame on both and shows where they differ, as
// "compare" does.
#pragma once

#include "app/picture.h"

#include "platform/win32/windows.h"

#include <optional>
#include <string>
#include <vector>

namespace quillmark {

inline constexpr UINT kFlipCommand = 42001;
inline constexpr UINT kDifferenceCommand = 42002;
// The A/B menu's devices: the first one's id, one more for each next.
inline constexpr UINT kSecondDeviceFirst = 42100;
inline constexpr WPARAM kFlipKey = 'B';
inline constexpr WPARAM kDifferenceKey = 'D';

// Gives the main window the A/B menu: every device `devices` finds as B,
// Flip A / B and Difference A / B.
void AddAbMenu();

// Makes `device` B (the menu's check follows); false with the reason when
// the name picks no device.
bool SetSecondDevice(const std::string& device, std::string* error);
// B, empty while none is chosen.
std::string SecondDevice();
// Whether the frame shows B now.
bool ShowingSecondDevice();

// Switches the frame to the other device; false with the reason.
bool FlipDevices(std::string* error);

// The frame on A and on B under the same settings, and what tells them apart.
struct AbDifference {
    std::string a, b;  // the devices
    std::vector<std::uint32_t> frameA, frameB;
    Picture picture;   // the difference image with a heading
    int differing = 0; // pixels where any channel differs
};

// Draws the frame on both devices (the one in use is in use again
// afterwards) and shows the difference in its window; false with the reason.
bool ShowDifference(std::string* error);
const AbDifference* ShownDifference();
HWND DifferenceWindow();

// The A/B menu's commands and keys; false for any other.
bool OnAbCommand(UINT id);
bool OnAbKey(WPARAM key);

}  // namespace quillmark
