// Dialog template 101, the Settings dialog: 54 controls in template order,
// positions in dialog units.
#include "app/settings_dialog.h"

#include "app/analysis.h"
#include "app/shell.h"

#include "platform/win32/commctrl.h"
#include "platform/win32/dialog_template.h"

#include <string>
#include <utility>

namespace quillmark {
namespace {

using win32::DialogControl;
using win32::DialogTemplate;

constexpr DWORD kChild = WS_VISIBLE;
constexpr DWORD kTrackbarStyle = kChild | WS_TABSTOP | TBS_HORZ | TBS_NOTICKS;
constexpr DWORD kListStyle = kChild | WS_TABSTOP | CBS_DROPDOWNLIST;
constexpr DWORD kEditStyle = kChild | WS_TABSTOP | WS_BORDER | ES_READONLY | ES_AUTOHSCROLL;
constexpr DWORD kPushStyle = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kRadioStyle = kChild | BS_AUTORADIOBUTTON;
constexpr DWORD kFirstRadioStyle = kRadioStyle | WS_GROUP;
constexpr DWORD kScrollStyle = kChild | SBS_HORZ;
constexpr DWORD kLabelStyle = kChild | SS_LEFT;
constexpr DWORD kValueStyle = kChild | SS_RIGHT;
constexpr DWORD kGroupStyle = kChild | BS_GROUPBOX;
constexpr DWORD kProgressStyle = kChild | WS_BORDER | PBS_SMOOTH;

// Caption, no system menu (no close box), modal frame, own font, brought to
// the foreground: 0x10C002C0.
constexpr DWORD kDialogStyle = WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_SETFOREGROUND;

DialogControl Control(const char* className, std::string text, int id, DWORD style, short x, short y, short cx,
                      short cy) {
    DialogControl control;
    control.className = className;
    control.text = std::move(text);
    control.id = id;
    control.style = style;
    control.x = x;
    control.y = y;
    control.cx = cx;
    control.cy = cy;
    return control;
}

DialogControl Trackbar(int id, short x, short y, short cx, short cy) {
    return Control(TRACKBAR_CLASSA, "", id, kTrackbarStyle, x, y, cx, cy);
}
DialogControl List(int id, short x, short y, short cx, short cy) {
    return Control("COMBOBOX", "", id, kListStyle, x, y, cx, cy);
}
DialogControl Button(const char* text, int id, DWORD style, short x, short y, short cx, short cy) {
    return Control("BUTTON", text, id, style, x, y, cx, cy);
}
DialogControl ScrollBar(int id, short x, short y, short cx, short cy) {
    return Control("SCROLLBAR", "", id, kScrollStyle, x, y, cx, cy);
}
DialogControl Label(std::string text, short x, short y, short cx, short cy) {
    return Control("STATIC", std::move(text), -1, kLabelStyle, x, y, cx, cy);
}
DialogControl Value(std::string text, int id, short x, short y, short cx, short cy) {
    return Control("STATIC", std::move(text), id, kValueStyle, x, y, cx, cy);
}
DialogControl Group(const char* text, short x, short y, short cx, short cy) {
    return Control("BUTTON", text, -1, kGroupStyle, x, y, cx, cy);
}
DialogControl Edit(int id, short x, short y, short cx, short cy) {
    return Control("EDIT", "", id, kEditStyle, x, y, cx, cy);
}

const std::string kZeroDegrees = std::string("0") + kDegreeSign;

DialogTemplate SettingsTemplate() {
    DialogTemplate dialog;
    dialog.caption = kSettingsDialogTitle;
    dialog.style = kDialogStyle;
    dialog.x = 500;
    dialog.y = 80;
    dialog.cx = 205;
    dialog.cy = 450;
    dialog.fontName = "MS Sans Serif";
    dialog.pointSize = 8;
    dialog.controls = {
        Trackbar(kAnisotropySlider, 5, 15, 200, 15),
        Trackbar(kLodBiasSlider, 5, 40, 200, 15),
        List(kMinFilterList, 7, 93, 68, 71),
        List(kMagFilterList, 77, 93, 68, 65),
        Button("Use BMP:", kUseFileTextureRadio, kFirstRadioStyle, 15, 125, 48, 10),
        Button("Browse...", kBrowseButton, kPushStyle, 65, 120, 130, 14),
        Button("Use Checkerboard Texture:", kUseCheckerboardRadio, kRadioStyle, 15, 140, 103, 10),
        Trackbar(kCheckerSlider, 25, 156, 170, 15),
        Button("Normal", kTintNormalRadio, kFirstRadioStyle, 50, 180, 38, 10),
        Button("Tinted", kTintTintedRadio, kRadioStyle, 90, 180, 36, 10),
        Button("Full Colored", kTintFullRadio, kRadioStyle, 125, 180, 53, 10),
        Button("Plane", kPlaneRadio, kFirstRadioStyle, 10, 215, 34, 10),
        Trackbar(kDistanceSlider, 25, 231, 170, 15),
        ScrollBar(kPlaneAngleBar, 30, 260, 165, 11),
        Button("Tunnel", kTunnelRadio, kRadioStyle, 10, 280, 38, 10),
        Trackbar(kFacesSlider, 25, 295, 170, 15),
        ScrollBar(kSceneRotationBar, 10, 330, 185, 11),
        ScrollBar(kTextureRotationBar, 10, 355, 185, 11),
        Label("Max. Aniso", 10, 5, 100, 8),
        Label("LOD Bias", 10, 30, 31, 8),
        Value("1x", kAnisotropyLabel, 170, 5, 18, 8),
        Value("0.0", kLodBiasLabel, 160, 30, 29, 8),
        Label("Scene Rotation around Z Axis", 10, 320, 96, 8),
        Value(kZeroDegrees, kSceneRotationLabel, 160, 320, 29, 8),
        Label("Texture Rotation", 10, 345, 54, 8),
        Value(kZeroDegrees, kTextureRotationLabel, 160, 345, 29, 8),
        Label("Minification", 24, 82, 36, 8),
        Label("Magnification", 86, 82, 43, 8),
        Value("0", kCheckerLabel, 150, 145, 13, 8),
        Label("Distance", 55, 220, 45, 8),
        Value("2.0", kDistanceLabel, 165, 220, 21, 8),
        Group("Textures", 5, 110, 195, 85),
        Label("Mipmaps:", 11, 177, 31, 8),
        Group("Objects", 5, 200, 195, 115),
        Label("Faces", 55, 285, 45, 8),
        Value("200", kFacesLabel, 170, 285, 18, 8),
        Label("Angle", 55, 250, 19, 8),
        Value(kZeroDegrees, kPlaneAngleLabel, 160, 250, 29, 8),
        List(kMipFilterList, 148, 93, 50, 65),
        Label("Mipmap", 155, 82, 26, 8),
        Group("Texel Analyze", 7, 375, 191, 68),
        Button("Start", kStartButton, kPushStyle, 14, 403, 50, 14),
        Button("Stop", kStopButton, kPushStyle | WS_DISABLED, 140, 403, 50, 14),
        Control(PROGRESS_CLASSA, "", kRunProgressBar, kProgressStyle, 14, 385, 177, 14),
        Edit(kRemainingTimeField, 68, 403, 68, 14),
        Edit(kMaxHitsField, 104, 422, 25, 14),
        Trackbar(kStageSlider, 3, 65, 200, 15),
        Label("Use Stage", 8, 56, 100, 8),
        Value("0", kStageLabel, 168, 56, 18, 8),
        Edit(kHitTotalField, 37, 422, 40, 14),
        Label("SUM:", 14, 422, 19, 8),
        Label("MAX:", 83, 422, 18, 8),
        Edit(kTexelSumField, 144, 422, 54, 14),
        Label("P:", 133, 422, 8, 8),
    };
    return dialog;
}

}  // namespace

void RegisterSettingsDialogTemplate() {
    if (win32::FindDialogTemplate(MAKEINTRESOURCEA(kSettingsDialogTemplate))) return;
    win32::RegisterDialogTemplate(kSettingsDialogTemplate, SettingsTemplate());
}

}  // namespace quillmark
