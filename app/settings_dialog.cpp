// The Settings dialog's procedure: initialisation of every control from the
// probe's starting settings, and the trackbar, list, radio button, scroll bar
// and caption messages, each of which edits the probe's settings and hands
// them to the probe.
#include "app/settings_dialog.h"

#include "app/analysis.h"
#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/probe.h"
#include "app/texture_file.h"

#include "platform/win32/commctrl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace quillmark {
namespace {

constexpr int kTextureStageCount = 8;

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

void SetAngleBar(HWND dialog, int id, int position) {
    const HWND bar = GetDlgItem(dialog, id);
    SetScrollRange(bar, SB_CTL, kAngleRange.low, kAngleRange.high, TRUE);
    SetScrollPos(bar, SB_CTL, position, TRUE);
}

// Edits the probe's settings and hands them over.
template <typename Edit>
void ChangeSettings(Edit edit) {
    ProbeSettings settings = CurrentProbeSettings();
    edit(settings);
    ApplyProbeSettings(settings);
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

// Every control that changes what the frame shows: while a run is active
// they are disabled, since a change would mix two scenes in its figures.
constexpr int kSettingControls[] = {
    kAnisotropySlider, kLodBiasSlider,  kStageSlider,          kMinFilterList,        kMagFilterList,
    kMipFilterList,    kBrowseButton,   kUseFileTextureRadio,  kUseCheckerboardRadio, kCheckerSlider,
    kTintNormalRadio,  kTintTintedRadio, kTintFullRadio,       kPlaneRadio,           kTunnelRadio,
    kDistanceSlider,   kPlaneAngleBar,  kFacesSlider,          kSceneRotationBar,     kTextureRotationBar};

void SetStyleBit(HWND control, DWORD bit, bool set) {
    const auto style = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_STYLE));
    SetWindowLongA(control, GWL_STYLE, static_cast<LONG>(set ? style | bit : style & ~bit));
}

// The dialog as the keyboard reaches it: the three angle scroll bars are tab
// stops like the trackbars, the read-only figure fields are not, and Tab
// walks the stops as the dialog is laid out, top to bottom and, within a
// row, left to right. The radio buttons keep their order among themselves,
// so their groups stay as the template makes them.
void ArrangeKeyboardOrder(HWND dialog) {
    for (const int id : {kPlaneAngleBar, kSceneRotationBar, kTextureRotationBar})
        SetStyleBit(GetDlgItem(dialog, id), WS_TABSTOP, true);
    for (const int id : {kRemainingTimeField, kMaxHitsField, kHitTotalField, kTexelSumField})
        SetStyleBit(GetDlgItem(dialog, id), WS_TABSTOP, false);
    std::vector<std::pair<RECT, HWND>> stops;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect{};
        GetWindowRect(child, &rect);
        if (GetWindowLongPtrA(child, GWL_STYLE) & WS_TABSTOP) stops.emplace_back(rect, child);
    }
    std::stable_sort(stops.begin(), stops.end(), [](const auto& a, const auto& b) {
        return a.first.top != b.first.top ? a.first.top < b.first.top : a.first.left < b.first.left;
    });
    for (const auto& stop : stops)
        SetWindowPos(stop.second, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

BOOL InitializeDialog(HWND dialog) {
    ProbeState& probe = ActiveProbe();
    ArrangeKeyboardOrder(dialog);
    probe.run.running = false;
    SendItem(dialog, kRunProgressBar, PBM_SETRANGE32, 0, probe.run.totalFrames);
    SendItem(dialog, kRunProgressBar, PBM_SETSTEP, 1, 0);
    SendItem(dialog, kRunProgressBar, PBM_SETPOS, 0, 0);

    const ProbeSettings settings;  // every setting at its starting value
    StoreProbeSettings(settings);
    probe.settings.anisotropySliderMax = AnisotropySliderMax(probe.caps.MaxAnisotropy);
    SetTrackbar(dialog, kAnisotropySlider, kAnisotropyStepRange.low, probe.settings.anisotropySliderMax,
                settings.anisotropyStep);
    probe.settings.stageSliderMax = StageSliderMax(probe.caps.MaxTextureBlendStages);
    SetTrackbar(dialog, kStageSlider, kStageRange.low, probe.settings.stageSliderMax, settings.stage);
    g_app.lodBiasRange = static_cast<float>(kLodBiasTenthsRange.high) / 10.0f;
    SetTrackbar(dialog, kLodBiasSlider, kLodBiasTenthsRange.low, kLodBiasTenthsRange.high, settings.lodBiasTenths);
    SetTrackbar(dialog, kCheckerSlider, kCheckerRange.low, kCheckerRange.high, settings.checkerShift);
    SetTrackbar(dialog, kDistanceSlider, kDistanceTenthsRange.low, kDistanceTenthsRange.high,
                settings.distanceTenths);
    SetTrackbar(dialog, kFacesSlider, kFacesRange.low, kFacesRange.high, settings.faces);

    SetAngleBar(dialog, kPlaneAngleBar, settings.planeAngle);
    SetAngleBar(dialog, kSceneRotationBar, settings.sceneRotation);
    SetAngleBar(dialog, kTextureRotationBar, settings.textureRotation);

    // The lists hold the filters in their order: POINT is 1, and the mip list starts with OFF (0).
    static const char* const kFilters[3] = {"POINT", "LINEAR", "ANISOTROPIC"};
    static const char* const kMipFilters[3] = {"OFF", "POINT", "LINEAR"};
    FillFilterList(dialog, kMinFilterList, kFilters, settings.minFilter - D3DTEXF_POINT);
    FillFilterList(dialog, kMagFilterList, kFilters, settings.magFilter - D3DTEXF_POINT);
    FillFilterList(dialog, kMipFilterList, kMipFilters, settings.mipFilter - D3DTEXF_NONE);

    CheckDlgButton(dialog, settings.useFileTexture ? kUseFileTextureRadio : kUseCheckerboardRadio, BST_CHECKED);
    CheckDlgButton(dialog, settings.showPlane ? kPlaneRadio : kTunnelRadio, BST_CHECKED);
    CheckDlgButton(dialog, kTintNormalRadio + settings.tintMode, BST_CHECKED);
    return TRUE;
}

// WM_NOTIFY: trackbars tell every event, whether or not the position moved.
BOOL OnNotify(HWND dialog, int id) {
    ProbeState& probe = ActiveProbe();
    switch (id) {
    case kAnisotropySlider: {
        const int step = TrackbarPosition(dialog, id);
        if (1 << step == probe.settings.maxAnisotropy) return TRUE;
        ChangeSettings([step](ProbeSettings& settings) { settings.anisotropyStep = step; });
        SetLabel(dialog, kAnisotropyLabel, "%ix", probe.settings.maxAnisotropy);
        return TRUE;
    }
    case kLodBiasSlider: {
        const int tenths = TrackbarPosition(dialog, id);
        if (tenths == CurrentProbeSettings().lodBiasTenths) return TRUE;
        ChangeSettings([tenths](ProbeSettings& settings) { settings.lodBiasTenths = tenths; });
        SetLabel(dialog, kLodBiasLabel, "%.1lf", static_cast<double>(probe.settings.lodBias));
        return TRUE;
    }
    case kStageSlider: {
        const int position = TrackbarPosition(dialog, id);
        if (position == probe.settings.stage) return TRUE;
        ChangeSettings([position](ProbeSettings& settings) { settings.stage = position; });
        SetLabel(dialog, kStageLabel, "%i", position);
        return TRUE;
    }
    case kCheckerSlider: {
        const int position = TrackbarPosition(dialog, id);
        ChangeSettings([position](ProbeSettings& settings) { settings.checkerShift = position; });
        SetLabel(dialog, kCheckerLabel, "%i", position);
        return TRUE;
    }
    case kDistanceSlider: {
        const int position = TrackbarPosition(dialog, id);
        ChangeSettings([position](ProbeSettings& settings) { settings.distanceTenths = position; });
        SetLabel(dialog, kDistanceLabel, "%.1lf", position * 0.1);
        return TRUE;
    }
    case kFacesSlider: {
        const int position = TrackbarPosition(dialog, id);
        ChangeSettings([position](ProbeSettings& settings) { settings.faces = position; });
        SetLabel(dialog, kFacesLabel, "%i", position);
        return TRUE;
    }
    default:
        RequestRedraw();
        return TRUE;
    }
}

// WM_COMMAND: the notification code is not looked at.
BOOL OnCommand(HWND dialog, int id) {
    switch (id) {
    case kBrowseButton: ChooseTextureFile(); break;
    case kUseFileTextureRadio: ChangeSettings([](ProbeSettings& settings) { settings.useFileTexture = true; }); break;
    case kUseCheckerboardRadio:
        ChangeSettings([](ProbeSettings& settings) { settings.useFileTexture = false; });
        break;
    case kStartButton: StartAnalysis(); break;
    case kStopButton: StopAnalysis(); break;
    case kPlaneRadio: ChangeSettings([](ProbeSettings& settings) { settings.showPlane = true; }); break;
    case kTunnelRadio: ChangeSettings([](ProbeSettings& settings) { settings.showPlane = false; }); break;
    case kTintNormalRadio:
    case kTintTintedRadio:
    case kTintFullRadio:
        ChangeSettings([id](ProbeSettings& settings) { settings.tintMode = id - kTintNormalRadio; });
        break;
    case kMinFilterList:
    case kMagFilterList:
    case kMipFilterList: {
        const auto filter = static_cast<D3DTEXTUREFILTERTYPE>(FilterFromList(dialog, id));
        ChangeSettings([id, filter](ProbeSettings& settings) {
            (id == kMinFilterList   ? settings.minFilter
             : id == kMagFilterList ? settings.magFilter
                                    : settings.mipFilter) = filter;
        });
        break;
    }
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
    const int degrees = GetScrollPos(sender, SB_CTL);
    switch (GetDlgCtrlID(sender)) {
    case kPlaneAngleBar:
        ChangeSettings([degrees](ProbeSettings& settings) { settings.planeAngle = degrees; });
        SetAngleLabel(dialog, kPlaneAngleLabel, degrees);
        return TRUE;
    case kSceneRotationBar:
        ChangeSettings([degrees](ProbeSettings& settings) { settings.sceneRotation = degrees; });
        SetAngleLabel(dialog, kSceneRotationLabel, degrees);
        return TRUE;
    case kTextureRotationBar:
        ChangeSettings([degrees](ProbeSettings& settings) { settings.textureRotation = degrees; });
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

void ShowProbeSettings(HWND dialog, const ProbeSettings& settings) {
    const struct {
        int id, position;
    } trackbars[] = {{kAnisotropySlider, settings.anisotropyStep}, {kLodBiasSlider, settings.lodBiasTenths},
                     {kStageSlider, settings.stage},                {kCheckerSlider, settings.checkerShift},
                     {kDistanceSlider, settings.distanceTenths},    {kFacesSlider, settings.faces}};
    for (const auto& trackbar : trackbars) SendItem(dialog, trackbar.id, TBM_SETPOS, TRUE, trackbar.position);
    SetLabel(dialog, kAnisotropyLabel, "%ix", 1 << settings.anisotropyStep);
    SetLabel(dialog, kLodBiasLabel, "%.1lf", settings.lodBiasTenths * 0.1);
    SetLabel(dialog, kStageLabel, "%i", settings.stage);
    SetLabel(dialog, kCheckerLabel, "%i", settings.checkerShift);
    SetLabel(dialog, kDistanceLabel, "%.1lf", settings.distanceTenths * 0.1);
    SetLabel(dialog, kFacesLabel, "%i", settings.faces);
    const struct {
        int bar, label, degrees;
    } angles[] = {{kPlaneAngleBar, kPlaneAngleLabel, settings.planeAngle},
                  {kSceneRotationBar, kSceneRotationLabel, settings.sceneRotation},
                  {kTextureRotationBar, kTextureRotationLabel, settings.textureRotation}};
    for (const auto& angle : angles) {
        SetScrollPos(GetDlgItem(dialog, angle.bar), SB_CTL, angle.degrees, TRUE);
        SetAngleLabel(dialog, angle.label, angle.degrees);
    }
    SendItem(dialog, kMinFilterList, CB_SETCURSEL, settings.minFilter - D3DTEXF_POINT, 0);
    SendItem(dialog, kMagFilterList, CB_SETCURSEL, settings.magFilter - D3DTEXF_POINT, 0);
    SendItem(dialog, kMipFilterList, CB_SETCURSEL, settings.mipFilter - D3DTEXF_NONE, 0);
    const auto check = [dialog](int id, bool checked) { CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED); };
    check(kUseFileTextureRadio, settings.useFileTexture);
    check(kUseCheckerboardRadio, !settings.useFileTexture);
    check(kPlaneRadio, settings.showPlane);
    check(kTunnelRadio, !settings.showPlane);
    for (int mode = kTintNormal; mode <= kTintFull; ++mode) check(kTintNormalRadio + mode, settings.tintMode == mode);
}

void EnableSettingControls(HWND dialog, bool enabled) {
    for (const int id : kSettingControls) EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
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
