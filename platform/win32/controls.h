// The standard controls' window procedures and what a user does to them
// (user_input.h and the desktop backend both act through these).
#pragma once

#include "platform/win32/commctrl.h"
#include "platform/win32/window_model.h"

namespace quillmark::win32 {

LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ComboBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ScrollBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK TrackbarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StatusBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// WM_COMMAND from a control to its parent.
void NotifyParentCommand(HWND control, WORD code);

// WM_NOTIFY from a control to its parent.
LRESULT NotifyParent(HWND control, UINT code);

// The user picks entry `index` of the combo box's list.
bool UserSelectsComboItem(HWND comboBox, int index);

// The user drags the trackbar's thumb to `position` and lets go.
bool UserDragsTrackbar(HWND trackbar, int position);

// The parts of a drag: moving the thumb (TB_THUMBTRACK when the position
// changes) and letting go (TB_THUMBPOSITION, TB_ENDTRACK, NM_RELEASEDCAPTURE).
bool UserMovesTrackbarThumb(HWND trackbar, int position);
bool UserReleasesTrackbar(HWND trackbar);

// A step by key or by a click beside the thumb: TB_LINEUP ... TB_BOTTOM,
// then TB_ENDTRACK.
bool UserStepsTrackbar(HWND trackbar, WORD code);

// The user presses a part of a scroll bar (code, then SB_ENDSCROLL), or
// drags its thumb (SB_THUMBTRACK per move; SB_THUMBPOSITION and
// SB_ENDSCROLL when letting go).
bool UserPressesScrollBar(HWND scrollBar, int code);
bool UserTracksScrollThumb(HWND scrollBar, int position);
bool UserReleasesScrollThumb(HWND scrollBar);

// Trackbar range and position, for display.
struct TrackbarState {
    int min;
    int max;
    int pos;
};
TrackbarState TrackbarStateOf(HWND trackbar);

// Combo box entries and selection, for display.
struct ComboState {
    std::vector<std::string> items;
    int selection;
};
ComboState ComboStateOf(HWND comboBox);

// Progress bar range and position, for display.
struct ProgressState {
    int min;
    int max;
    int pos;
};
ProgressState ProgressStateOf(HWND progressBar);

// Clamps a scroll position into its range (and page).
int ClampScrollPos(const ScrollState& scroll, int position);

}  // namespace quillmark::win32
