// Acting as the user on the headless backend (tests and batch mode): each
// function sends the window exactly the messages the click, selection or drag
// would bring, in the order Win32 delivers them, so the window and dialog
// procedures run as they would for a person. Input messages are sent
// directly (as if dispatched at once) rather than queued. A hidden or
// disabled window cannot be acted on: the function sends nothing and returns
// false.
#pragma once

#include "platform/win32/windows.h"

namespace quillmark::win32 {

// Mouse click on a button, check box or radio button: WM_LBUTTONDOWN and
// WM_LBUTTONUP; the button then checks itself where it is automatic and
// sends WM_COMMAND BN_CLICKED to its parent.
bool ClickButton(HWND button);

// Choosing entry `index` of a drop-down combo box with the mouse: the parent
// receives WM_COMMAND with CBN_DROPDOWN, then (selection made) CBN_SELENDOK,
// CBN_CLOSEUP and CBN_SELCHANGE.
bool SelectComboItem(HWND comboBox, int index);

// Dragging a trackbar's thumb to `position` (clamped to its range): the
// parent receives WM_HSCROLL (WM_VSCROLL for TBS_VERT) TB_THUMBTRACK with the
// position, TB_THUMBPOSITION, TB_ENDTRACK, then WM_NOTIFY NM_RELEASEDCAPTURE.
// The trackbar repaints afterwards (WM_NOTIFY NM_CUSTOMDRAW when painted).
bool DragTrackbar(HWND trackbar, int position);

// Pressing a part of a scroll bar control: `code` is SB_LINELEFT,
// SB_LINERIGHT, SB_PAGELEFT or SB_PAGERIGHT (mouse on the arrows or the
// track), or SB_LEFT / SB_RIGHT (Home and End keys). The parent receives
// WM_HSCROLL (WM_VSCROLL for SBS_VERT) with the code, then SB_ENDSCROLL.
// The scroll bar itself does not move: its parent moves it.
bool PressScrollBar(HWND scrollBar, int code);

// Dragging a scroll bar's thumb to `position`: SB_THUMBTRACK with the
// position, SB_THUMBPOSITION with the position, then SB_ENDSCROLL.
bool DragScrollThumb(HWND scrollBar, int position);

// Double-click on a window's caption: WM_NCLBUTTONDOWN, WM_NCLBUTTONUP,
// WM_NCLBUTTONDBLCLK and WM_NCLBUTTONUP with HTCAPTION and the screen point.
bool DoubleClickCaption(HWND window);

// Choosing an item of a window's menu bar (or of one of its popups): the
// window receives WM_COMMAND with the item's id. A grayed or disabled item,
// a popup or an id the menu does not hold cannot be chosen.
bool ChooseMenuItem(HWND window, UINT id);

// The close box: WM_SYSCOMMAND SC_CLOSE, which DefWindowProcA turns into
// WM_CLOSE, which DefWindowProcA answers by destroying the window. Only a
// window with a system menu (WS_SYSMENU) has a close box.
bool PressCloseBox(HWND window);

}  // namespace quillmark::win32
