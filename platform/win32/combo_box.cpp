// COMBOBOX: a list of strings with one selection; the drop-down list kind
// shows the selected entry as its text.
#include "platform/win32/backend_impl.h"
#include "platform/win32/controls.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace quillmark::win32 {
namespace {

struct Item {
    std::string text;
    LRESULT data = 0;
};

class ComboData : public ControlData {
public:
    std::vector<Item> items;
    int selection = CB_ERR;
    bool dropped = false;
};

ComboData& Data(Window& window) {
    if (auto* data = dynamic_cast<ComboData*>(window.control.get())) return *data;
    window.control = std::make_unique<ComboData>();
    return static_cast<ComboData&>(*window.control);
}

bool IsDropDownList(const Window& window) { return (window.style & 0x3) == CBS_DROPDOWNLIST; }

void Changed(Window& window) {
    InvalidateWindow(window, nullptr);
    NotifyBackend(window.handle, WindowChange::State);
}

LRESULT Select(Window& window, WPARAM index) {
    ComboData& data = Data(window);
    const bool valid = static_cast<std::size_t>(index) < data.items.size();
    data.selection = valid ? static_cast<int>(index) : CB_ERR;
    window.text = valid ? data.items[index].text : std::string();
    Changed(window);
    NotifyBackend(window.handle, WindowChange::Text);
    return valid ? static_cast<LRESULT>(index) : CB_ERR;
}

LRESULT Insert(Window& window, WPARAM where, LPCSTR text) {
    ComboData& data = Data(window);
    std::size_t index = data.items.size();
    if (where == static_cast<WPARAM>(-1) && (window.style & CBS_SORT)) {
        auto after = std::find_if(data.items.begin(), data.items.end(),
                                  [&](const Item& item) { return strcasecmp(item.text.c_str(), text) > 0; });
        index = static_cast<std::size_t>(after - data.items.begin());
    } else if (where != static_cast<WPARAM>(-1)) {
        if (where > data.items.size()) return CB_ERR;
        index = where;
    }
    data.items.insert(data.items.begin() + static_cast<std::ptrdiff_t>(index), Item{text ? text : ""});
    if (data.selection >= static_cast<int>(index)) ++data.selection;
    Changed(window);
    return static_cast<LRESULT>(index);
}

LRESULT Delete(Window& window, WPARAM index) {
    ComboData& data = Data(window);
    if (index >= data.items.size()) return CB_ERR;
    data.items.erase(data.items.begin() + static_cast<std::ptrdiff_t>(index));
    if (data.selection == static_cast<int>(index)) Select(window, static_cast<WPARAM>(-1));
    else if (data.selection > static_cast<int>(index)) --data.selection;
    Changed(window);
    return static_cast<LRESULT>(data.items.size());
}

// Case-insensitive search after `start` (wrapping), whole text or prefix.
LRESULT Find(Window& window, WPARAM start, LPCSTR text, bool exact) {
    ComboData& data = Data(window);
    const std::size_t count = data.items.size();
    if (!text || count == 0) return CB_ERR;
    const std::size_t length = std::strlen(text);
    const std::size_t first = start >= count ? 0 : start + 1;
    for (std::size_t k = 0; k < count; ++k) {
        const std::string& item = data.items[(first + k) % count].text;
        const bool match = exact ? strcasecmp(item.c_str(), text) == 0
                                 : strncasecmp(item.c_str(), text, length) == 0;
        if (match) return static_cast<LRESULT>((first + k) % count);
    }
    return CB_ERR;
}

LRESULT ItemText(Window& window, WPARAM index, LPSTR out) {
    ComboData& data = Data(window);
    if (index >= data.items.size()) return CB_ERR;
    const std::string& text = data.items[index].text;
    if (out) std::memcpy(out, text.c_str(), text.size() + 1);
    return static_cast<LRESULT>(text.size());
}

LRESULT Reset(Window& window) {
    Data(window).items.clear();
    Select(window, static_cast<WPARAM>(-1));
    return 0;  // CB_OKAY
}

}  // namespace

LRESULT CALLBACK ComboBoxProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = FindWindowRecord(handle);
    if (!window) return 0;
    ComboData& data = Data(*window);
    const auto text = reinterpret_cast<LPCSTR>(lParam);
    switch (message) {
    case CB_ADDSTRING: return Insert(*window, static_cast<WPARAM>(-1), text);
    case CB_INSERTSTRING: return Insert(*window, wParam, text);
    case CB_DELETESTRING: return Delete(*window, wParam);
    case CB_RESETCONTENT: return Reset(*window);
    case CB_GETCOUNT: return static_cast<LRESULT>(data.items.size());
    case CB_GETCURSEL: return data.selection;
    case CB_SETCURSEL: return Select(*window, wParam);
    case CB_GETLBTEXT: return ItemText(*window, wParam, reinterpret_cast<LPSTR>(lParam));
    case CB_GETLBTEXTLEN: return ItemText(*window, wParam, nullptr);
    case CB_FINDSTRING: return Find(*window, wParam, text, false);
    case CB_FINDSTRINGEXACT: return Find(*window, wParam, text, true);
    case CB_SELECTSTRING: {
        const LRESULT found = Find(*window, wParam, text, false);
        return found == CB_ERR ? CB_ERR : Select(*window, static_cast<WPARAM>(found));
    }
    case CB_GETITEMDATA: return wParam < data.items.size() ? data.items[wParam].data : CB_ERR;
    case CB_SETITEMDATA:
        if (wParam >= data.items.size()) return CB_ERR;
        data.items[wParam].data = lParam;
        return TRUE;
    case CB_SHOWDROPDOWN: data.dropped = wParam != 0; return TRUE;
    case CB_GETDROPPEDSTATE: return data.dropped ? TRUE : FALSE;
    case WM_SETTEXT:
        if (IsDropDownList(*window)) return CB_ERR;
        return DefWindowProcA(handle, message, wParam, lParam);
    default: return DefWindowProcA(handle, message, wParam, lParam);
    }
}

bool UserSelectsComboItem(HWND comboBox, int index) {
    Window* window = FindWindowRecord(comboBox);
    if (!window || LowerCase(window->className) != "combobox") return false;
    if (index < 0 || static_cast<std::size_t>(index) >= Data(*window).items.size()) return false;
    SetFocus(comboBox);
    Data(*window).dropped = true;
    NotifyParentCommand(comboBox, CBN_DROPDOWN);
    window = FindWindowRecord(comboBox);
    if (!window) return true;
    Select(*window, static_cast<WPARAM>(index));
    NotifyParentCommand(comboBox, CBN_SELENDOK);
    if ((window = FindWindowRecord(comboBox))) Data(*window).dropped = false;
    NotifyParentCommand(comboBox, CBN_CLOSEUP);
    NotifyParentCommand(comboBox, CBN_SELCHANGE);
    return true;
}

ComboState ComboStateOf(HWND comboBox) {
    ComboState state{{}, CB_ERR};
    Window* window = FindWindowRecord(comboBox);
    if (!window || LowerCase(window->className) != "combobox") return state;
    for (const Item& item : Data(*window).items) state.items.push_back(item.text);
    state.selection = Data(*window).selection;
    return state;
}

}  // namespace quillmark::win32
