// Records the messages window procedures receive, for the tests.
#pragma once

#include "platform/win32/windows.h"

#include <vector>

struct LoggedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

inline std::vector<LoggedMessage>& MessageLog() {
    static std::vector<LoggedMessage> log;
    return log;
}

// The logged messages of one kind, in order.
inline std::vector<LoggedMessage> Logged(UINT message) {
    std::vector<LoggedMessage> result;
    for (const LoggedMessage& m : MessageLog())
        if (m.message == message) result.push_back(m);
    return result;
}

inline std::vector<UINT> LoggedKinds() {
    std::vector<UINT> kinds;
    for (const LoggedMessage& m : MessageLog()) kinds.push_back(m.message);
    return kinds;
}

// A window procedure that logs and then behaves as the default one.
inline LRESULT CALLBACK LoggingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MessageLog().push_back({window, message, wParam, lParam});
    return DefWindowProcA(window, message, wParam, lParam);
}

// Removes everything queued (posted messages, the quit request, repaints).
inline void DrainQueue() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        if (message.message == WM_PAINT) ValidateRect(message.hwnd, nullptr);
}
