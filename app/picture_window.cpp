#include "app/picture_window.h"

#include "app/app_state.h"

#include "platform/win32/window_image.h"

namespace quillmark {
namespace {

constexpr const char* kPictureClass = "QuillmarkPicture";

bool RegisterPictureClass(WNDPROC proc) {
    static bool registered = false;
    if (registered) return true;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kPictureClass;
    registered = RegisterClassExA(&windowClass) != 0;
    return registered;
}

}  // namespace

LRESULT CALLBACK PictureWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PictureWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message == WM_DESTROY) self->window_ = nullptr;
    if (self && message == WM_LBUTTONDOWN && self->click_) {
        self->click_(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void PictureWindow::Show(const Picture& picture, const std::string& title) {
    if (window_ && !IsWindow(window_)) window_ = nullptr;
    if (!window_ && g_app.mainWindow && RegisterPictureClass(Proc)) {
        RECT main{};
        GetWindowRect(g_app.mainWindow, &main);
        window_ = CreateWindowExA(0, kPictureClass, title.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                  main.right, main.top, picture.width, picture.height, g_app.mainWindow, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        if (window_) SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    if (!window_) return;
    SetWindowTextA(window_, title.c_str());
    RECT outer{}, client{};
    GetWindowRect(window_, &outer);
    GetClientRect(window_, &client);
    MoveWindow(window_, outer.left, outer.top, picture.width + (outer.right - outer.left) - client.right,
               picture.height + (outer.bottom - outer.top) - client.bottom, FALSE);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    win32::ShowWindowImage(window_, picture.pixels.data(), picture.width, picture.height, picture.width * 4);
}

}  // namespace quillmark
