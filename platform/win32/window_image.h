// The picture shown in a window's client area. The device calls
// ShowWindowImage at every Present; the desktop backend draws it, the
// headless backend keeps a copy that tests read back with GetWindowImage.
#pragma once

#include "platform/win32/windows.h"

#include <cstdint>
#include <vector>

namespace quillmark::win32 {

// pixels: height rows of width X8R8G8B8 values, pitchBytes apart.
void ShowWindowImage(HWND window, const std::uint32_t* pixels, int width, int height,
                     int pitchBytes);

struct WindowImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // packed rows
    unsigned presentCount = 0;          // images shown in the window so far
};

// The last image shown in the window (empty when none).
WindowImage GetWindowImage(HWND window);

}  // namespace quillmark::win32
