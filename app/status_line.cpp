#include "app/status_line.h"

#include "app/app_state.h"

#include "platform/win32/commctrl.h"

namespace quillmark {
namespace {

HWND g_statusLine = nullptr;

// The status line of the main window there is now (a window that came and
// went before leaves none).
HWND StatusLine() {
    return g_statusLine && IsWindow(g_statusLine) && GetParent(g_statusLine) == g_app.mainWindow ? g_statusLine
                                                                                                 : nullptr;
}

}  // namespace

void AddStatusLine() {
    g_statusLine = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, g_app.mainWindow,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
}

void ShowStatus(const std::string& text) {
    if (const HWND line = StatusLine(); line && text != StatusText())
        SendMessageA(line, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string StatusText() {
    const HWND line = StatusLine();
    if (!line) return {};
    std::string text(std::size_t(SendMessageA(line, SB_GETTEXTLENGTHA, 0, 0)) + 1, '\0');
    text.resize(std::size_t(SendMessageA(line, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

}  // namespace quillmark
