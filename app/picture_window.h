// A window of the desktop program that shows one picture (the pixel
// inspector, the A / B difference, the explanation): a top-level window
// owned by the main window, its client area the picture's size. A click on
// the picture goes to the window's click handler. Each one lives as long as
// the program (its window refers to it), the window as long as the main
// window.
#pragma once

#include "app/picture.h"

#include "platform/win32/windows.h"

#include <functional>
#include <string>

namespace quillmark {

class PictureWindow {
public:
    PictureWindow() = default;
    PictureWindow(const PictureWindow&) = delete;
    PictureWindow& operator=(const PictureWindow&) = delete;

    // Shows `picture` under `title`, opening the window (to the right of the
    // main window) when it is closed and sizing it to the picture.
    void Show(const Picture& picture, const std::string& title);
    // The window, or null while it is closed.
    HWND Handle() const { return window_; }
    // What a click at (x, y) on the picture does.
    void OnClick(std::function<void(int x, int y)> handler) { click_ = std::move(handler); }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
    std::function<void(int, int)> click_;
};

}  // namespace quillmark
