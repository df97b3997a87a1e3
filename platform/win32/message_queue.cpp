// The message queue: posted messages in order, then the quit request, then
// WM_PAINT for a shown window with an update region, as Win32 retrieves them.
// Sent messages call the window procedure directly.
#include "platform/win32/backend_impl.h"
#include "platform/win32/message_queue.h"
#include "platform/win32/window_model.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

using namespace quillmark::win32;

namespace {

struct Queue {
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<MSG> messages;
    bool quit = false;
    int quitCode = 0;
};

Queue& TheQueue() {
    static Queue queue;
    return queue;
}

const HWND kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1));

bool InRange(UINT message, UINT filterMin, UINT filterMax) {
    return (filterMin == 0 && filterMax == 0) || (message >= filterMin && message <= filterMax);
}

bool IsWithin(HWND window, HWND ancestor) {
    for (Window* record = FindWindowRecord(window); record; record = FindWindowRecord(record->parent))
        if (record->handle == ancestor) return true;
    return false;
}

bool ForFilter(HWND window, HWND filter) {
    if (!filter) return true;
    if (filter == kThreadMessagesOnly) return window == nullptr;
    return window && IsWithin(window, filter);
}

MSG Message(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return MSG{window, message, wParam, lParam, GetTickCount(), POINT{0, 0}};
}

bool TakePosted(MSG& out, HWND filter, UINT filterMin, UINT filterMax, bool remove) {
    Queue& queue = TheQueue();
    std::lock_guard lock(queue.mutex);
    auto found = std::find_if(queue.messages.begin(), queue.messages.end(), [&](const MSG& m) {
        return ForFilter(m.hwnd, filter) && InRange(m.message, filterMin, filterMax);
    });
    if (found != queue.messages.end()) {
        out = *found;
        if (remove) queue.messages.erase(found);
        return true;
    }
    if (queue.quit && InRange(WM_QUIT, filterMin, filterMax)) {
        out = Message(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
        if (remove) queue.quit = false;
        return true;
    }
    return false;
}

bool TakePaint(MSG& out, HWND filter, UINT filterMin, UINT filterMax) {
    if (!InRange(WM_PAINT, filterMin, filterMax) || filter == kThreadMessagesOnly) return false;
    for (HWND handle : AllWindows()) {
        const Window* window = FindWindowRecord(handle);
        if (window->invalid && IsShown(*window) && ForFilter(handle, filter)) {
            out = Message(handle, WM_PAINT, 0, 0);
            return true;
        }
    }
    return false;
}

WPARAM CharacterOf(WPARAM key) {
    if (key >= 'A' && key <= 'Z') return key - 'A' + 'a';
    if ((key >= '0' && key <= '9') || key == VK_SPACE || key == VK_BACK || key == VK_TAB ||
        key == VK_RETURN || key == VK_ESCAPE)
        return key;
    return 0;
}

}  // namespace

namespace quillmark::win32 {

void DropMessagesFor(HWND window) {
    Queue& queue = TheQueue();
    std::lock_guard lock(queue.mutex);
    std::erase_if(queue.messages, [&](const MSG& m) { return m.hwnd == window; });
}

void WaitForPostedInput() {
    Queue& queue = TheQueue();
    std::unique_lock lock(queue.mutex);
    queue.posted.wait(lock, [&] { return queue.quit || !queue.messages.empty(); });
}

}  // namespace quillmark::win32

BOOL PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT removeMessage) {
    if (!message) return FALSE;
    ActiveBackend().Pump();
    const bool remove = (removeMessage & PM_REMOVE) != 0;
    return TakePosted(*message, window, filterMin, filterMax, remove) ||
           TakePaint(*message, window, filterMin, filterMax);
}

BOOL GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
    if (!message || (window && window != kThreadMessagesOnly && !WindowOrError(window))) return -1;
    while (!PeekMessageA(message, window, filterMin, filterMax, PM_REMOVE))
        ActiveBackend().BlockForInput();
    return message->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WaitMessage() {
    MSG ignored;
    if (!PeekMessageA(&ignored, nullptr, 0, 0, PM_NOREMOVE)) ActiveBackend().WaitForInput();
    return TRUE;
}

BOOL TranslateMessage(const MSG* message) {
    if (!message || (message->message != WM_KEYDOWN && message->message != WM_SYSKEYDOWN))
        return FALSE;
    const WPARAM character = CharacterOf(message->wParam);
    if (!character) return FALSE;
    const UINT kind = message->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
    return PostMessageA(message->hwnd, kind, character, message->lParam);
}

LRESULT DispatchMessageA(const MSG* message) {
    if (!message || !message->hwnd) return 0;
    return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window && !IsLiveHandle(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Queue& queue = TheQueue();
    {
        std::lock_guard lock(queue.mutex);
        queue.messages.push_back(Message(window, message, wParam, lParam));
    }
    queue.posted.notify_all();
    ActiveBackend().Wake();
    return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* record = WindowOrError(window);
    if (!record || !record->proc) return 0;
    return record->proc(window, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
    Queue& queue = TheQueue();
    {
        std::lock_guard lock(queue.mutex);
        queue.quit = true;
        queue.quitCode = exitCode;
    }
    queue.posted.notify_all();
    ActiveBackend().Wake();
}
