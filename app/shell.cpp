#include "app/shell.h"

#include "app/analysis.h"
#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/device_lifecycle.h"
#include "app/device_menu.h"
#include "app/lod_view.h"
#include "app/probe.h"
#include "app/pixel_inspector.h"
#include "app/save_analysis.h"
#include "app/scene.h"
#include "app/settings_dialog.h"
#include "app/status_line.h"
#include "app/test_textures.h"
#include "app/window_tools.h"

#include "platform/win32/commctrl.h"
#include "imagecodec/result_text.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace quillmark {

AppState g_app;

namespace {

// Set when a message that can change the frame was handled since the last
// frame.
bool g_frameDue = true;

// A repaint changes nothing the frame shows: the main window renders its own
// frame on WM_PAINT, and the controls repaint when the run's figures change
// after each frame, which must not make another frame due. Nor does the
// pointer's moving: it changes the status line only.
bool CanChangeFrame(const MSG& message) { return message.message != WM_PAINT && message.message != WM_MOUSEMOVE; }

// How many messages the loop is dispatching now, one inside the other (a
// handler that draws frames through the probe runs the loop again).
int g_dispatchDepth = 0;

// The views laid over the frame follow the frames of the loop, and of a
// repaint it dispatches, at `depth`; frames a handler draws for itself
// (deeper) are that handler's.
void ShowViewsOverFrame(int depth) {
    if (g_dispatchDepth == depth) ShowLodView();
}

// While the device is missing (it could not be rebuilt), the loop retries at
// this interval instead of blocking for a message that may never come.
constexpr std::chrono::milliseconds kDeviceRetryInterval{100};

bool RunUnfinished() { return ActiveProbe().run.running && ActiveProbe().run.level != 10; }

bool RegisterMainClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_CLASSDC;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassExA(&windowClass) != 0;
}

bool CreateMainWindow(HINSTANCE instance) {
    ProbeState& probe = ActiveProbe();
    g_app.mainWindow = CreateWindowExA(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                       0, 0, probe.windowWidth, probe.windowHeight, GetDesktopWindow(), nullptr,
                                       instance, nullptr);
    if (!g_app.mainWindow) return false;
    RECT client{};
    GetClientRect(g_app.mainWindow, &client);
    MoveWindow(g_app.mainWindow, 0, 0, 2 * probe.windowWidth - client.right, 2 * probe.windowHeight - client.bottom,
               FALSE);
    return true;
}

bool CreateSettingsDialog(HINSTANCE instance) {
    RegisterSettingsDialogTemplate();
    g_app.settingsDialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(kSettingsDialogTemplate), g_app.mainWindow,
                                              SettingsDialogProc, 0);
    if (!g_app.settingsDialog) return false;
    ShowWindow(g_app.settingsDialog, SW_SHOW);
    UpdateWindow(g_app.settingsDialog);
    return true;
}

bool Fail(const std::string& what) {
    std::fprintf(stderr, "quillmark: %s\n", what.c_str());
    return false;
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        ReleaseAll();
        PostQuitMessage(0);
        return 0;
    case WM_PAINT:
        RenderFrame();
        ShowViewsOverFrame(1);
        ValidateRect(window, nullptr);
        break;
    case WM_LBUTTONDOWN:
        InspectFramePixel(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_COMMAND:
        if (OnDeviceMenuCommand(LOWORD(wParam)) || OnSaveAnalysisCommand(LOWORD(wParam)) ||
            OnLodViewCommand(LOWORD(wParam)) || OnWindowToolCommand(LOWORD(wParam)))
            return 0;
        break;
    case WM_KEYDOWN:
        if (OnLodViewKey(wParam) || OnWindowToolKey(wParam)) return 0;
        break;
    case WM_MOUSEMOVE:
        OnPointerMoved(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool StartProbe(HINSTANCE instance) {
    if (!RegisterMainClass(instance)) return Fail("cannot register the main window class");
    if (!CreateMainWindow(instance)) {
        FinishProbe(instance);
        return Fail("cannot create the main window");
    }
    InitCommonControls();
    if (const HRESULT result = InitDevice(g_app.mainWindow); FAILED(result)) {
        // Without a Direct3D object the device layer has said why it could not be opened.
        const bool opened = ActiveProbe().direct3d != nullptr;
        ReleaseAll();
        DestroyWindow(g_app.mainWindow);
        FinishProbe(instance);
        return opened ? Fail("cannot create the Direct3D device: " + ResultReason(result)) : false;
    }
    BuildPlane();
    const bool dialogCreated = CreateSettingsDialog(instance);
    HRESULT result = dialogCreated ? BuildTunnel() : E_FAIL;
    if (SUCCEEDED(result)) result = BuildMipTexture();
    if (FAILED(result)) {
        DestroyWindow(g_app.mainWindow);  // releases the device objects on WM_DESTROY
        FinishProbe(instance);
        return Fail(dialogCreated ? "cannot build the scene: " + ResultReason(result)
                                  : std::string("cannot create the Settings dialog"));
    }
    ShowWindow(g_app.mainWindow, SW_SHOWDEFAULT);
    UpdateWindow(g_app.mainWindow);
    return true;
}

LoopStep RunLoopStep(bool mayWait) {
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return LoopStep::Quit;
        TranslateMessage(&message);
        ++g_dispatchDepth;
        DispatchMessageA(&message);
        --g_dispatchDepth;
        g_frameDue = g_frameDue || CanChangeFrame(message);
        return LoopStep::Dispatched;
    }
    if (!g_frameDue && !RunUnfinished()) {
        if (mayWait) WaitMessage();
        return LoopStep::Idle;
    }
    RenderFrame();
    ShowViewsOverFrame(0);
    UpdateRunDisplay();
    ShowSaveAnalysisState();
    g_frameDue = false;
    if (!ActiveProbe().device) {
        std::this_thread::sleep_for(kDeviceRetryInterval);
        g_frameDue = true;  // try to rebuild the device on the next pass
    } else if (!RunUnfinished() && mayWait) {
        WaitMessage();
    }
    return LoopStep::Rendered;
}

void RequestFrame() { g_frameDue = true; }

HMENU MainMenuBar() {
    HMENU bar = GetMenu(g_app.mainWindow);
    if (!bar) {
        bar = CreateMenu();
        SetMenu(g_app.mainWindow, bar);
    }
    return bar;
}

void RunMessageLoop() {
    while (RunLoopStep() != LoopStep::Quit) {
    }
}

void FinishProbe(HINSTANCE instance) { UnregisterClassA(kMainWindowClass, instance); }

int RunInteractiveProbe(HINSTANCE instance) {
    Probe probe(instance);  // unregisters the window class when it goes
    if (!probe.Started()) return 1;
    AddSaveAnalysisMenu();
    AddDeviceMenu();
    AddLodViewMenu();
    AddStatusLine();
    AddWindowToolMenus();
    RunMessageLoop();
    return 0;
}

}  // namespace quillmark
