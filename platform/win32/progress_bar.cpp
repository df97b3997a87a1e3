// msctls_progress32: a position within a range, advanced by steps that
// wrap around to the start once past the end.
#include "platform/win32/backend_impl.h"
#include "platform/win32/controls.h"

#include <algorithm>

namespace quillmark::win32 {
namespace {

class ProgressData : public ControlData {
public:
    int min = 0;
    int max = 100;
    int pos = 0;
    int step = 10;
};

ProgressData& Data(Window& window) {
    if (auto* data = dynamic_cast<ProgressData*>(window.control.get())) return *data;
    window.control = std::make_unique<ProgressData>();
    return static_cast<ProgressData&>(*window.control);
}

LRESULT SetPos(Window& window, int pos) {
    ProgressData& data = Data(window);
    const int old = data.pos;
    data.pos = std::clamp(pos, data.min, data.max);
    if (data.pos != old) {
        InvalidateWindow(window, nullptr);
        NotifyBackend(window.handle, WindowChange::State);
    }
    return old;
}

LRESULT SetRange(Window& window, int min, int max) {
    ProgressData& data = Data(window);
    const LRESULT old = MAKELONG(data.min, data.max);
    data.min = min;
    data.max = std::max(min, max);
    data.pos = std::clamp(data.pos, data.min, data.max);
    InvalidateWindow(window, nullptr);
    NotifyBackend(window.handle, WindowChange::State);
    return old;
}

// One step; beyond either end the position starts over from the other.
LRESULT StepIt(Window& window) {
    ProgressData& data = Data(window);
    const long long span = static_cast<long long>(data.max) - data.min;
    long long next = static_cast<long long>(data.pos) + data.step;
    if (span <= 0) next = data.min;
    else if (next > data.max) next = data.min + (next - data.min) % span;
    else if (next < data.min) next = data.max - (data.min - next) % span;
    const int old = data.pos;
    SetPos(window, static_cast<int>(next));
    return old;
}

}  // namespace

LRESULT CALLBACK ProgressProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* window = FindWindowRecord(handle);
    if (!window) return 0;
    ProgressData& data = Data(*window);
    switch (message) {
    case PBM_SETRANGE: return SetRange(*window, LOWORD(lParam), HIWORD(lParam));
    case PBM_SETRANGE32: return SetRange(*window, static_cast<int>(wParam), static_cast<int>(lParam));
    case PBM_GETRANGE:
        if (auto* range = reinterpret_cast<PBRANGE*>(lParam)) *range = PBRANGE{data.min, data.max};
        return wParam ? data.min : data.max;
    case PBM_SETPOS: return SetPos(*window, static_cast<int>(wParam));
    case PBM_DELTAPOS: return SetPos(*window, data.pos + static_cast<int>(wParam));
    case PBM_GETPOS: return data.pos;
    case PBM_SETSTEP: {
        const int old = data.step;
        data.step = static_cast<int>(wParam);
        return old;
    }
    case PBM_STEPIT: return StepIt(*window);
    default: return DefWindowProcA(handle, message, wParam, lParam);
    }
}

ProgressState ProgressStateOf(HWND progressBar) {
    Window* window = FindWindowRecord(progressBar);
    if (!window || !dynamic_cast<ProgressData*>(window->control.get())) return {0, 0, 0};
    const ProgressData& data = Data(*window);
    return {data.min, data.max, data.pos};
}

}  // namespace quillmark::win32
