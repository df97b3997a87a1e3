// The Settings dialog's procedure: initialisation of every control, and the
// trackbar, list, radio button, scroll bar and caption messages that change
// the settings in g_app.
#include "app/settings_dialog.h"

#include "app/analysis.h"
#include "app/app_state.h"
#include "app/scene.h"
#include "app/test_textures.h"
#include "app/texture_file.h"

#include "platform/win32/commctrl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quillmark {
namespace {

constexpr int kAngleMax = 89;
constexpr int kTextureStageCount = 8;
// The LOD bias is the slider position times this, in single precision.
constexpr float kLodBiasStep = 0.1f;

// Asks the main window for a frame: WM_USER wakes its message loop.
void RequestRedraw() { PostMessageA(g_app.mainWindow, WM_USER, 0, 0); }

LRESULT SendItem(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

int TrackbarPosition(HWND dialog, int id) { return static_cast<int>(SendItem(dialog, id, TBM_GETPOS, 0, 0)); }

void SetTrackbar(HWND dialog, int id, int low, int high, int position) {
    SendItem(dialog, id, TBM_SETRANGE, TRUE, MAKELPARAM(low, high));
    SendItem(dialog, id, TBM_SETPOS, TRUE, position);
}

void SetAngleBar(HWND dialog, int id) {
    const HWND bar = GetDlgItem(dialog, id);
    SetScrollRange(bar, SB_CTL, 0, kAngleMax, TRUE);
    SetScrollPos(bar, SB_CTL, 0, TRUE);
}

void FillFilterList(HWND dialog, int id, const char* const (&entries)[3], int selected) {
    for (const char* entry : entries) SendItem(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    SendItem(dialog, id, CB_SETCURSEL, selected, 0);
}

// Label texts are formatted into a 12-character buffer, as the labels are small.
template <typename... Values>
void SetLabel(HWND dialog, int id, const char* format, Values... values) {
    char text[12];
    std::snprintf(text, sizeof(text), format, values...);
    SetWindowTextA(GetDlgItem(dialog, id), text);
}

void SetAngleLabel(HWND dialog, int id, double degrees) {
    const char format[] = {'%', '.', '1', 'l', 'f', kDegreeSign, '\0'};
    SetLabel(dialog, id, format, degrees);
}

// ⌊log2(MaxAnisotropy)⌋, exact for every power of two; 0 for a device that
// reports no anisotropy at all.
int AnisotropySliderMax(DWORD maxAnisotropy) {
    int steps = 0;
    while (steps < 30 && (maxAnisotropy >> (steps + 1)) != 0) ++steps;
    return steps;
}

// The stage slider ends at the last blend stage the device has, within the
// eight stages every frame configures.
int StageSliderMax(DWORD maxTextureBlendStages) {
    const int last = static_cast<int>(std::min<DWORD>(maxTextureBlendStages, kTextureStageCount)) - 1;
    return last < 0 ? 0 : last;
}

BOOL InitializeDialog(HWND dialog) {
    g_app.running = false;
    SendItem(dialog, kRunProgressBar, PBM_SETRANGE32, 0, g_app.totalFrames);
    SendItem(dialog, kRunProgressBar, PBM_SETSTEP, 1, 0);
    SendItem(dialog, kRunProgressBar, PBM_SETPOS, 0, 0);

    g_app.maxAnisotropy = 1;
    g_app.anisotropySliderMax = AnisotropySliderMax(g_app.caps.MaxAnisotropy);
    SetTrackbar(dialog, kAnisotropySlider, 0, g_app.anisotropySliderMax, 0);

    g_app.stage = 0;
    g_app.stageSliderMax = StageSliderMax(g_app.caps.MaxTextureBlendStages);
    SetTrackbar(dialog, kStageSlider, 0, g_app.stageSliderMax, 0);

    g_app.lodBias = 0.0f;
    g_app.lodBiasRange = 8.0f;
    SetTrackbar(dialog, kLodBiasSlider, static_cast<int>(g_app.lodBiasRange * -10.0),
                static_cast<int>(g_app.lodBiasRange * 10.0), 0);

    g_app.checkerShift = 8;
    SetTrackbar(dialog, kCheckerSlider, -8, 8, 8);
    g_app.distance = 20.0;
    SetTrackbar(dialog, kDistanceSlider, 5, 300, 20);
    g_app.faces = 200;
    SetTrackbar(dialog, kFacesSlider, 3, 200, 200);

    g_app.planeAngle = 0.0;
    SetAngleBar(dialog, kPlaneAngleBar);
    g_app.sceneRotation = 0.0f;
    SetAngleBar(dialog, kSceneRotationBar);
    g_app.textureRotation = 0.0f;
    SetAngleBar(dialog, kTextureRotationBar);

    static const char* const kFilters[3] = {"POINT", "LINEAR", "ANISOTROPIC"};
    static const char* const kMipFilters[3] = {"OFF", "POINT", "LINEAR"};
    g_app.minFilter = D3DTEXF_ANISOTROPIC;
    FillFilterList(dialog, kMinFilterList, kFilters, 2);
    g_app.magFilter = D3DTEXF_ANISOTROPIC;
    FillFilterList(dialog, kMagFilterList, kFilters, 2);
    g_app.mipFilter = D3DTEXF_LINEAR;
    FillFilterList(dialog, kMipFilterList, kMipFilters, 2);

    g_app.useFileTexture = false;
    CheckDlgButton(dialog, kUseCheckerboardRadio, BST_CHECKED);
    g_app.showPlane = false;
    CheckDlgButton(dialog, kTunnelRadio, BST_CHECKED);
    g_app.tintMode = 1;
    CheckDlgButton(dialog, kTintTintedRadio, BST_CHECKED);
    return TRUE;
}

// WM_NOTIFY: trackbars tell every event, whether or not the position moved.
BOOL OnNotify(HWND dialog, int id) {
    switch (id) {
    case kAnisotropySlider: {
        const int value = 1 << TrackbarPosition(dialog, id);
        if (value == g_app.maxAnisotropy) return TRUE;
        g_app.maxAnisotropy = value;
        SetLabel(dialog, kAnisotropyLabel, "%ix", value);
        return TRUE;
    }
    case kLodBiasSlider: {
        const float bias = static_cast<float>(TrackbarPosition(dialog, id)) * kLodBiasStep;
        if (bias == g_app.lodBias) return TRUE;
        g_app.lodBias = bias;
        SetLabel(dialog, kLodBiasLabel, "%.1lf", static_cast<double>(bias));
        return TRUE;
    }
    case kStageSlider: {
        const int position = TrackbarPosition(dialog, id);
        if (position == g_app.stage) return TRUE;
        g_app.stage = position;
        SetLabel(dialog, kStageLabel, "%i", position);
        return TRUE;
    }
    case kCheckerSlider:
        g_app.checkerShift = TrackbarPosition(dialog, id);
        SetLabel(dialog, kCheckerLabel, "%i", g_app.checkerShift);
        BuildMipTexture();
        return TRUE;
    case kDistanceSlider: {
        const int position = TrackbarPosition(dialog, id);
        g_app.distance = position;
        SetLabel(dialog, kDistanceLabel, "%.1lf", position * 0.1);
        return TRUE;
    }
    case kFacesSlider:
        g_app.faces = TrackbarPosition(dialog, id);
        SetLabel(dialog, kFacesLabel, "%i", g_app.faces);
        BuildTunnel();
        return TRUE;
    default:
        RequestRedraw();
        return TRUE;
    }
}

void SetTintMode(int mode) {
    g_app.tintMode = mode;
    BuildMipTexture();
}

// WM_COMMAND: the notification code is not looked at.
BOOL OnCommand(HWND dialog, int id) {
    switch (id) {
    case kBrowseButton: ChooseTextureFile(); break;
    case kUseFileTextureRadio: g_app.useFileTexture = true; break;
    case kUseCheckerboardRadio: g_app.useFileTexture = false; break;
    case kStartButton: StartAnalysis(); break;
    case kStopButton: StopAnalysis(); break;
    case kPlaneRadio: g_app.showPlane = true; break;
    case kTunnelRadio: g_app.showPlane = false; break;
    case kTintNormalRadio: SetTintMode(0); break;
    case kTintTintedRadio: SetTintMode(1); break;
    case kTintFullRadio: SetTintMode(2); break;
    case kMinFilterList: g_app.minFilter = FilterFromList(dialog, id); break;
    case kMagFilterList: g_app.magFilter = FilterFromList(dialog, id); break;
    case kMipFilterList: g_app.mipFilter = FilterFromList(dialog, id); break;
    default: return TRUE;
    }
    RequestRedraw();
    return TRUE;
}

bool IsScrollBar(HWND window) {
    char className[16] = {};
    GetClassNameA(window, className, sizeof(className));
    return std::strcmp(className, "SCROLLBAR") == 0;
}

// The new position of a scroll bar for a request code; the bar keeps it in range.
int ScrolledPosition(int position, int code, int thumb) {
    switch (code) {
    case SB_LINELEFT:
    case SB_LEFT: return position - 1;
    case SB_LINERIGHT:
    case SB_RIGHT: return position + 1;
    case SB_PAGELEFT: return position - 10;
    case SB_PAGERIGHT: return position + 10;
    case SB_THUMBTRACK: return thumb;
    default: return position;
    }
}

// WM_HSCROLL: the three angle scroll bars move themselves here; the
// trackbars' scroll messages only ask for a frame.
BOOL OnHorizontalScroll(HWND dialog, int code, int thumb, HWND sender) {
    if (!sender || !IsScrollBar(sender)) {
        RequestRedraw();
        return TRUE;
    }
    const int position = ScrolledPosition(GetScrollPos(sender, SB_CTL), code, thumb);
    SetScrollPos(sender, SB_CTL, position, TRUE);
    const double degrees = GetScrollPos(sender, SB_CTL);
    switch (GetDlgCtrlID(sender)) {
    case kPlaneAngleBar:
        g_app.planeAngle = degrees;
        SetAngleLabel(dialog, kPlaneAngleLabel, degrees);
        return TRUE;
    case kSceneRotationBar:
        g_app.sceneRotation = static_cast<float>(degrees);
        SetAngleLabel(dialog, kSceneRotationLabel, degrees);
        return TRUE;
    case kTextureRotationBar:
        g_app.textureRotation = static_cast<float>(degrees);
        SetAngleLabel(dialog, kTextureRotationLabel, degrees);
        return TRUE;
    default:
        RequestRedraw();
        return TRUE;
    }
}

// A double click on the caption rolls the dialog up to its caption, or back.
BOOL ToggleRollUp(HWND dialog) {
    constexpr UINT kResizeOnly = SWP_NOMOVE | SWP_NOZORDER;
    if (!g_app.dialogRolledUp) {
        GetWindowRect(dialog, &g_app.dialogRect);
        SetWindowPos(dialog, nullptr, 0, 0, g_app.dialogRect.right - g_app.dialogRect.left, -5, kResizeOnly);
        g_app.dialogRolledUp = true;
    } else {
        SetWindowPos(dialog, nullptr, 0, 0, g_app.dialogRect.right - g_app.dialogRect.left,
                     g_app.dialogRect.bottom - g_app.dialogRect.top, kResizeOnly);
        g_app.dialogRolledUp = false;
    }
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return InitializeDialog(dialog);
    case WM_NOTIFY:
        return OnNotify(dialog, static_cast<int>(wParam));
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam));
    case WM_HSCROLL:
        return OnHorizontalScroll(dialog, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_NCLBUTTONDBLCLK:
        return ToggleRollUp(dialog);
    default:
        return FALSE;
    }
}

int FilterFromList(HWND dialog, int controlId) {
    char text[256] = {};
    GetWindowTextA(GetDlgItem(dialog, controlId), text, sizeof(text));
    if (std::strcmp(text, "POINT") == 0) return D3DTEXF_POINT;
    if (std::strcmp(text, "LINEAR") == 0) return D3DTEXF_LINEAR;
    if (std::strcmp(text, "ANISOTROPIC") == 0) return D3DTEXF_ANISOTROPIC;
    return D3DTEXF_NONE;
}

}  // namespace quillmark
