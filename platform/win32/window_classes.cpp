// RegisterClassA/ExA and UnregisterClassA.
#include "platform/win32/window_model.h"

using namespace quillmark::win32;

namespace {

ATOM Register(UINT style, WNDPROC proc, int windowExtra, HINSTANCE instance, LPCSTR name) {
    if (!proc || !name || IS_INTRESOURCE(name) || !*name || windowExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (FindWindowClass(name)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    return AddWindowClass(WindowClass{name, 0, style, proc, windowExtra, instance, false});
}

}  // namespace

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (!windowClass) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return Register(windowClass->style, windowClass->lpfnWndProc, windowClass->cbWndExtra,
                    windowClass->hInstance, windowClass->lpszClassName);
}

ATOM RegisterClassExA(const WNDCLASSEXA* windowClass) {
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return Register(windowClass->style, windowClass->lpfnWndProc, windowClass->cbWndExtra,
                    windowClass->hInstance, windowClass->lpszClassName);
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
    const WindowClass* found = FindWindowClass(className);
    if (!found || found->system) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    const std::string name = LowerCase(found->name);
    for (HWND handle : AllWindows())
        if (LowerCase(FindWindowRecord(handle)->className) == name) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
    RemoveWindowClass(className);
    return TRUE;
}
