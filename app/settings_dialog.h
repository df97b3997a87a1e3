// The Settings dialog: template 101 with its 54 controls, the dialog
// procedure that turns every control into a setting of the probe (and asks the main
// window for a frame), and the reading of a filter list.
#pragma once

#include "app/probe_settings.h"

#include "platform/win32/windows.h"

namespace quillmark {

// Control ids of the Settings dialog.
// The dialog's title (with the loaded texture file's name after it, see
// texture_file.h).
inline constexpr const char* kSettingsDialogTitle = "Settings";

inline constexpr int kAnisotropySlider = 1000;
inline constexpr int kLodBiasSlider = 1001;
inline constexpr int kAnisotropyLabel = 1002;
inline constexpr int kLodBiasLabel = 1003;
inline constexpr int kSceneRotationBar = 1004;
inline constexpr int kSceneRotationLabel = 1005;
inline constexpr int kTextureRotationBar = 1006;
inline constexpr int kTextureRotationLabel = 1007;
inline constexpr int kStageSlider = 1008;
inline constexpr int kStageLabel = 1009;
inline constexpr int kMinFilterList = 1010;
inline constexpr int kMagFilterList = 1011;
inline constexpr int kCheckerSlider = 1012;
inline constexpr int kCheckerLabel = 1013;
inline constexpr int kPlaneAngleBar = 1014;
inline constexpr int kPlaneAngleLabel = 1015;
inline constexpr int kMipFilterList = 1016;
inline constexpr int kDistanceSlider = 1017;
inline constexpr int kDistanceLabel = 1018;
inline constexpr int kFacesSlider = 1019;
inline constexpr int kUseFileTextureRadio = 1020;
inline constexpr int kBrowseButton = 1021;
inline constexpr int kUseCheckerboardRadio = 1022;
inline constexpr int kTintNormalRadio = 1023;
inline constexpr int kTintTintedRadio = 1024;
inline constexpr int kTintFullRadio = 1025;
inline constexpr int kPlaneRadio = 1026;
inline constexpr int kTunnelRadio = 1027;
inline constexpr int kFacesLabel = 1028;

// Number of controls in template 101.
inline constexpr int kSettingsControlCount = 54;

// The degree sign as the template and the angle labels carry it: byte 0xB0
// of the Windows-1252 code page.
inline constexpr char kDegreeSign = '\xB0';

// Registers dialog template 101 with the window system (repeat calls change
// nothing).
void RegisterSettingsDialogTemplate();

// The dialog procedure of the Settings dialog.
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows settings the probe was given from elsewhere (a command): every
// control and label takes its value, so that the dialog, whose trackbars
// tell their position at every event, hands the probe these settings again.
void ShowProbeSettings(HWND dialog, const ProbeSettings& settings);

// Enables or disables every control that changes what the frame shows (all
// but Start, Stop and the run's figures): they are disabled while an
// analysis run is active.
void EnableSettingControls(HWND dialog, bool enabled);

// The filter a list's current text names: 1 "POINT", 2 "LINEAR",
// 3 "ANISOTROPIC", 0 anything else ("OFF").
int FilterFromList(HWND dialog, int controlId);

}  // namespace quillmark
