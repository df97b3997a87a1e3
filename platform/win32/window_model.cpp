#include "platform/win32/window_model.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <unordered_set>

namespace quillmark::win32 {
namespace {

struct WindowTable {
    std::map<HWND, std::unique_ptr<Window>> windows;  // ordered by handle: creation order
    std::uintptr_t nextHandle = 0x10010;
};

WindowTable& Windows() {
    static WindowTable table;
    return table;
}

// The live handles, readable from any thread.
struct LiveHandles {
    std::mutex mutex;
    std::unordered_set<HWND> handles;
};

LiveHandles& Live() {
    static LiveHandles live;
    return live;
}

struct ClassTable {
    std::vector<WindowClass> classes;
    ATOM nextAtom = 0xC000;
};

ClassTable& Classes() {
    static ClassTable table;
    return table;
}

}  // namespace

std::string LowerCase(const std::string& text) {
    std::string result = text;
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

Window* FindWindowRecord(HWND window) {
    auto& windows = Windows().windows;
    auto found = windows.find(window);
    return found == windows.end() ? nullptr : found->second.get();
}

Window* WindowOrError(HWND window) {
    Window* record = FindWindowRecord(window);
    if (!record) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return record;
}

Window& AddWindow(std::unique_ptr<Window> window) {
    WindowTable& table = Windows();
    window->handle = reinterpret_cast<HWND>(table.nextHandle);
    table.nextHandle += 4;
    Window& added = *window;
    table.windows.emplace(added.handle, std::move(window));
    std::lock_guard lock(Live().mutex);
    Live().handles.insert(added.handle);
    return added;
}

void RemoveWindow(HWND window) {
    {
        std::lock_guard lock(Live().mutex);
        Live().handles.erase(window);
    }
    Windows().windows.erase(window);
}

bool IsLiveHandle(HWND window) {
    std::lock_guard lock(Live().mutex);
    return Live().handles.count(window) != 0;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> result;
    for (auto& [handle, window] : Windows().windows)
        if (!window->parent) result.push_back(handle);
    return result;
}

std::vector<HWND> AllWindows() {
    std::vector<HWND> result;
    for (auto& entry : Windows().windows) result.push_back(entry.first);
    return result;
}

const WindowClass* FindWindowClass(LPCSTR name) {
    if (!name) return nullptr;
    auto& classes = Classes().classes;
    auto matches = [&](const WindowClass& c) {
        if (IS_INTRESOURCE(name)) return c.atom == static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name));
        return LowerCase(c.name) == LowerCase(name);
    };
    auto found = std::find_if(classes.begin(), classes.end(), matches);
    return found == classes.end() ? nullptr : &*found;
}

ATOM AddWindowClass(WindowClass windowClass) {
    ClassTable& table = Classes();
    windowClass.atom = table.nextAtom++;
    table.classes.push_back(std::move(windowClass));
    return table.classes.back().atom;
}

bool RemoveWindowClass(LPCSTR name) {
    const WindowClass* found = FindWindowClass(name);
    if (!found) return false;
    auto& classes = Classes().classes;
    classes.erase(classes.begin() + (found - classes.data()));
    return true;
}

RECT ClientInsets(DWORD style, DWORD exStyle) {
    int frame = 0;
    if (style & WS_THICKFRAME) frame = 4;
    else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) frame = 3;
    else if (style & WS_BORDER) frame = 1;
    if (exStyle & WS_EX_CLIENTEDGE) frame += 2;
    const bool caption = (style & WS_CAPTION) == static_cast<DWORD>(WS_CAPTION);
    return RECT{frame, frame + (caption ? kCaptionHeight : 0), frame, frame};
}

RECT ClientRectOnScreen(const Window& window) {
    const RECT outer = WindowRectOnScreen(window);
    const RECT insets = ClientInsets(window.style, window.exStyle);
    RECT client{outer.left + insets.left, outer.top + insets.top, outer.right - insets.right,
                outer.bottom - insets.bottom};
    if (client.right < client.left) client.right = client.left;
    if (client.bottom < client.top) client.bottom = client.top;
    return client;
}

HWND DesktopHandle() { return reinterpret_cast<HWND>(std::uintptr_t{0x10000}); }

RECT WindowRectOnScreen(const Window& window) {
    RECT outer = window.rect;
    if (const Window* parent = FindWindowRecord(window.parent)) {
        const RECT origin = ClientRectOnScreen(*parent);
        outer.left += origin.left;
        outer.right += origin.left;
        outer.top += origin.top;
        outer.bottom += origin.top;
    }
    return outer;
}

void AddSystemClass(const char* name, WNDPROC proc, int windowExtra) {
    if (FindWindowClass(name)) return;
    AddWindowClass(WindowClass{name, 0, CS_DBLCLKS, proc, windowExtra, nullptr, true});
}

bool IsShown(const Window& window) {
    if (!(window.style & WS_VISIBLE)) return false;
    const Window* parent = FindWindowRecord(window.parent);
    return !parent || IsShown(*parent);
}

}  // namespace quillmark::win32
