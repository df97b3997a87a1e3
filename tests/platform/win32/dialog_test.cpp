#include "platform/win32/commctrl.h"
#include "platform/win32/dialog_template.h"
#include "message_log.h"
#include "platform/win32/user_input.h"
#include "platform/win32/windows.h"

#include <gtest/gtest.h>

namespace {

using quillmark::win32::DialogControl;
using quillmark::win32::DialogTemplate;

constexpr WORD kTemplateId = 201;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

enum : int { kSlider = 10, kCombo = 11, kUseFile = 12, kBrowse = 13, kUseChecker = 14, kNormal = 15,
             kTinted = 16, kScroll = 17, kProgress = 18, kLabel = 19, kStop = 20, kEdit = 21 };

DialogTemplate TestTemplate() {
    DialogTemplate dialog;
    dialog.caption = "Settings";
    dialog.style = WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_SETFOREGROUND;
    dialog.x = 500;
    dialog.y = 80;
    dialog.cx = 205;
    dialog.cy = 450;
    dialog.fontName = "MS Sans Serif";
    dialog.pointSize = 8;
    dialog.controls = {
        {TRACKBAR_CLASSA, "", kSlider, kChild | WS_TABSTOP | TBS_NOTICKS, 5, 15, 200, 15},
        {"COMBOBOX", "", kCombo, kChild | WS_TABSTOP | CBS_DROPDOWNLIST, 7, 93, 68, 71},
        {"BUTTON", "Use BMP:", kUseFile, kChild | BS_AUTORADIOBUTTON | WS_GROUP, 15, 125, 48, 10},
        {"BUTTON", "Browse...", kBrowse, kChild | WS_TABSTOP, 65, 120, 130, 14},
        {"BUTTON", "Use Checkerboard Texture:", kUseChecker, kChild | BS_AUTORADIOBUTTON, 15, 140, 103, 10},
        {"BUTTON", "Normal", kNormal, kChild | BS_AUTORADIOBUTTON | WS_GROUP, 50, 180, 38, 10},
        {"BUTTON", "Tinted", kTinted, kChild | BS_AUTORADIOBUTTON, 90, 180, 36, 10},
        {"SCROLLBAR", "", kScroll, kChild | SBS_HORZ | WS_GROUP, 30, 260, 165, 11},
        {PROGRESS_CLASSA, "", kProgress, kChild | WS_BORDER | PBS_SMOOTH, 14, 385, 177, 14},
        {"STATIC", "0\xB0", kLabel, kChild | SS_RIGHT, 160, 250, 29, 8},
        {"BUTTON", "Stop", kStop, kChild | WS_DISABLED | WS_TABSTOP, 140, 403, 50, 14},
        {"EDIT", "", kEdit, kChild | WS_BORDER | ES_READONLY | ES_AUTOHSCROLL, 68, 403, 68, 14},
        {"BUTTON", "Textures", -1, kChild | BS_GROUPBOX, 5, 110, 195, 85},
    };
    return dialog;
}

// A dialog procedure that logs, answers WM_INITDIALOG as the application's
// does, and moves its scroll bar as the application does.
LPARAM g_initParam = 0;
INT_PTR CALLBACK TestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    MessageLog().push_back({dialog, message, wParam, lParam});
    switch (message) {
    case WM_INITDIALOG:
        g_initParam = lParam;
        SendDlgItemMessageA(dialog, kSlider, TBM_SETRANGE, TRUE, MAKELONG(-80, 80));
        SendDlgItemMessageA(dialog, kSlider, TBM_SETPOS, TRUE, 0);
        SendDlgItemMessageA(dialog, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("POINT"));
        SendDlgItemMessageA(dialog, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("LINEAR"));
        SendDlgItemMessageA(dialog, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("ANISOTROPIC"));
        SendDlgItemMessageA(dialog, kCombo, CB_SETCURSEL, 2, 0);
        SetScrollRange(GetDlgItem(dialog, kScroll), SB_CTL, 0, 89, TRUE);
        SetScrollPos(GetDlgItem(dialog, kScroll), SB_CTL, 0, TRUE);
        SendDlgItemMessageA(dialog, kProgress, PBM_SETRANGE32, 0, 992);
        SendDlgItemMessageA(dialog, kProgress, PBM_SETSTEP, 1, 0);
        CheckDlgButton(dialog, kUseChecker, BST_CHECKED);
        CheckDlgButton(dialog, kTinted, BST_CHECKED);
        return TRUE;
    case WM_HSCROLL: {
        HWND sender = reinterpret_cast<HWND>(lParam);
        int pos = GetScrollPos(sender, SB_CTL);
        switch (LOWORD(wParam)) {
        case SB_LINELEFT: case SB_LEFT: pos -= 1; break;
        case SB_LINERIGHT: case SB_RIGHT: pos += 1; break;
        case SB_PAGELEFT: pos -= 10; break;
        case SB_PAGERIGHT: pos += 10; break;
        case SB_THUMBTRACK: pos = HIWORD(wParam); break;
        default: break;
        }
        SetScrollPos(sender, SB_CTL, pos, TRUE);
        return TRUE;
    }
    case WM_NCLBUTTONDBLCLK: {
        static RECT saved;
        static bool rolled = false;
        RECT now{};
        GetWindowRect(dialog, &now);
        if (!rolled) {
            saved = now;
            SetWindowPos(dialog, nullptr, 0, 0, now.right - now.left, -5, SWP_NOMOVE | SWP_NOZORDER);
        } else {
            SetWindowPos(dialog, nullptr, 0, 0, saved.right - saved.left, saved.bottom - saved.top,
                         SWP_NOMOVE | SWP_NOZORDER);
        }
        rolled = !rolled;
        return TRUE;
    }
    default: return FALSE;
    }
}

constexpr const char* kOwnerClass = "QmDialogOwner";

class Dialog : public ::testing::Test {
protected:
    void SetUp() override {
        InitCommonControls();
        quillmark::win32::RegisterDialogTemplate(kTemplateId, TestTemplate());
        WNDCLASSA ownerClass{};
        ownerClass.lpfnWndProc = LoggingWindowProc;
        ownerClass.lpszClassName = kOwnerClass;
        RegisterClassA(&ownerClass);
        owner = CreateWindowExA(0, kOwnerClass, "", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 0, 0, 806, 622,
                                GetDesktopWindow(), nullptr, nullptr, nullptr);
        MessageLog().clear();
        dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kTemplateId), owner,
                                    TestDialogProc, 4242);
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override {
        DestroyWindow(owner);
        DrainQueue();
        UnregisterClassA(kOwnerClass, nullptr);
    }
    HWND Item(int id) { return GetDlgItem(dialog, id); }
    HWND owner = nullptr;
    HWND dialog = nullptr;
};

TEST_F(Dialog, BuiltFromTheTemplate) {
    EXPECT_EQ(g_initParam, 4242);
    EXPECT_TRUE(IsWindowVisible(dialog));
    char caption[32];
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ(caption, "Settings");
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner);
    char text[32];
    EXPECT_EQ(GetDlgItemTextA(dialog, kUseChecker, text, sizeof text), 25u);
    EXPECT_STREQ(text, "Use Checkerboard Texture:");
    EXPECT_STREQ((GetDlgItemTextA(dialog, kLabel, text, sizeof text), text), "0\xB0");
    EXPECT_EQ(GetDlgCtrlID(Item(kCombo)), kCombo);
    EXPECT_EQ(GetDlgItem(dialog, 9999), nullptr);
    // The controls were all created before WM_INITDIALOG, which comes once.
    ASSERT_EQ(Logged(WM_INITDIALOG).size(), 1u);
    EXPECT_EQ(reinterpret_cast<HWND>(Logged(WM_INITDIALOG)[0].wParam), Item(kSlider));  // first tab stop
    EXPECT_EQ(GetFocus(), Item(kSlider));
}

TEST_F(Dialog, DialogUnitsBecomePixels) {
    RECT rect{5, 15, 205, 30};
    ASSERT_TRUE(MapDialogRect(dialog, &rect));
    RECT slider{};
    GetWindowRect(Item(kSlider), &slider);
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    EXPECT_EQ(slider.left - origin.x, rect.left);
    EXPECT_EQ(slider.top - origin.y, rect.top);
    EXPECT_EQ(slider.right - origin.x, rect.right);
    RECT client{}, size{0, 0, 205, 450};
    GetClientRect(dialog, &client);
    MapDialogRect(dialog, &size);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    // Placed relative to the owner's client area.
    RECT outer{}, place{500, 80, 0, 0};
    GetWindowRect(dialog, &outer);
    MapDialogRect(dialog, &place);
    POINT ownerOrigin{0, 0};
    ClientToScreen(owner, &ownerOrigin);
    EXPECT_EQ(outer.left, ownerOrigin.x + place.left);
    EXPECT_EQ(outer.top, ownerOrigin.y + place.top);
    EXPECT_FALSE(MapDialogRect(owner, &rect));
}

TEST_F(Dialog, MissingTemplateOrControlClassFails) {
    EXPECT_EQ(CreateDialogParamA(nullptr, MAKEINTRESOURCEA(999), owner, TestDialogProc, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    DialogTemplate broken = TestTemplate();
    broken.controls.push_back({"NoSuchControl", "", 1, kChild, 0, 0, 1, 1});
    quillmark::win32::RegisterDialogTemplate(kTemplateId + 1, broken);
    EXPECT_EQ(CreateDialogParamA(nullptr, MAKEINTRESOURCEA(kTemplateId + 1), owner, TestDialogProc, 0), nullptr);
}

TEST_F(Dialog, RadioClicksCheckWithinTheirGroupOnly) {
    EXPECT_EQ(IsDlgButtonChecked(dialog, kUseChecker), static_cast<UINT>(BST_CHECKED));
    MessageLog().clear();
    ASSERT_TRUE(quillmark::win32::ClickButton(Item(kUseFile)));
    EXPECT_EQ(IsDlgButtonChecked(dialog, kUseFile), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, kUseChecker), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, kTinted), static_cast<UINT>(BST_CHECKED));  // other group
    const auto commands = Logged(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(LOWORD(commands[0].wParam), kUseFile);
    EXPECT_EQ(HIWORD(commands[0].wParam), BN_CLICKED);
    EXPECT_EQ(reinterpret_cast<HWND>(commands[0].lParam), Item(kUseFile));
    quillmark::win32::ClickButton(Item(kNormal));
    EXPECT_EQ(IsDlgButtonChecked(dialog, kTinted), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, kUseFile), static_cast<UINT>(BST_CHECKED));
    CheckRadioButton(dialog, kNormal, kTinted, kTinted);
    EXPECT_EQ(IsDlgButtonChecked(dialog, kNormal), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, kTinted), static_cast<UINT>(BST_CHECKED));
}

TEST_F(Dialog, DisabledButtonsCannotBeClicked) {
    MessageLog().clear();
    EXPECT_FALSE(quillmark::win32::ClickButton(Item(kStop)));
    EXPECT_TRUE(Logged(WM_COMMAND).empty());
    EnableWindow(Item(kStop), TRUE);
    EXPECT_TRUE(quillmark::win32::ClickButton(Item(kStop)));
    ASSERT_EQ(Logged(WM_COMMAND).size(), 1u);
    EXPECT_EQ(IsDlgButtonChecked(dialog, kStop), 0u);  // push buttons hold no check
    EXPECT_FALSE(quillmark::win32::ClickButton(GetDlgItem(dialog, -1)));  // group box
}

TEST_F(Dialog, ComboSelectionNotifiesAndShowsTheEntryAsText) {
    char text[256];
    GetWindowTextA(Item(kCombo), text, sizeof text);
    EXPECT_STREQ(text, "ANISOTROPIC");
    MessageLog().clear();
    ASSERT_TRUE(quillmark::win32::SelectComboItem(Item(kCombo), 0));
    std::vector<int> codes;
    for (const LoggedMessage& m : Logged(WM_COMMAND)) {
        EXPECT_EQ(LOWORD(m.wParam), kCombo);
        codes.push_back(HIWORD(m.wParam));
    }
    EXPECT_EQ(codes, (std::vector<int>{CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
    EXPECT_EQ(SendDlgItemMessageA(dialog, kCombo, CB_GETCURSEL, 0, 0), 0);
    GetWindowTextA(Item(kCombo), text, sizeof text);
    EXPECT_STREQ(text, "POINT");
    EXPECT_FALSE(quillmark::win32::SelectComboItem(Item(kCombo), 3));
    EXPECT_EQ(SendDlgItemMessageA(dialog, kCombo, CB_SETCURSEL, 7, 0), CB_ERR);
    GetWindowTextA(Item(kCombo), text, sizeof text);
    EXPECT_STREQ(text, "");
}

TEST_F(Dialog, ComboListOperations) {
    HWND combo = Item(kCombo);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("OFF"));
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("LINEAR"));
    EXPECT_EQ(SendMessageA(combo, CB_INSERTSTRING, 1, reinterpret_cast<LPARAM>("POINT")), 1);
    EXPECT_EQ(SendMessageA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("linear")), 2);
    char text[16];
    EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text)), 5);
    EXPECT_STREQ(text, "POINT");
    SendMessageA(combo, CB_SETCURSEL, 2, 0);
    SendMessageA(combo, CB_DELETESTRING, 0, 0);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);  // follows its entry
    EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, 5, reinterpret_cast<LPARAM>(text)), CB_ERR);
}

TEST_F(Dialog, TrackbarDragSendsScrollAndNotifications) {
    HWND slider = Item(kSlider);
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0), -80);  // signed words
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0), 80);
    DrainQueue();
    MessageLog().clear();
    ASSERT_TRUE(quillmark::win32::DragTrackbar(slider, -25));
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), -25);
    std::vector<UINT> kinds;
    for (const LoggedMessage& m : MessageLog())
        if (m.message == WM_HSCROLL || m.message == WM_NOTIFY) kinds.push_back(m.message);
    EXPECT_EQ(kinds, (std::vector<UINT>{WM_HSCROLL, WM_HSCROLL, WM_HSCROLL, WM_NOTIFY}));
    const auto scrolls = Logged(WM_HSCROLL);
    EXPECT_EQ(LOWORD(scrolls[0].wParam), TB_THUMBTRACK);
    EXPECT_EQ(static_cast<short>(HIWORD(scrolls[0].wParam)), -25);
    EXPECT_EQ(LOWORD(scrolls[1].wParam), TB_THUMBPOSITION);
    EXPECT_EQ(LOWORD(scrolls[2].wParam), TB_ENDTRACK);
    EXPECT_EQ(reinterpret_cast<HWND>(scrolls[0].lParam), slider);
    const auto notify = Logged(WM_NOTIFY);
    EXPECT_EQ(notify[0].wParam, static_cast<WPARAM>(kSlider));
    // The repaint that follows brings the custom-draw notification.
    MessageLog().clear();
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    EXPECT_EQ(Logged(WM_NOTIFY).size(), 1u);
    // A drag beyond the range stops at its end.
    quillmark::win32::DragTrackbar(slider, 500);
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 80);
}

TEST_F(Dialog, TrackbarNotificationCodes) {
    // Capture the codes while the notification structures are alive.
    static std::vector<UINT> codes;
    codes.clear();
    SetWindowLongPtrA(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(+[](HWND, UINT message, WPARAM, LPARAM lParam) -> INT_PTR {
        if (message == WM_NOTIFY) codes.push_back(reinterpret_cast<const NMHDR*>(lParam)->code);
        return FALSE;
    }));
    DrainQueue();
    quillmark::win32::DragTrackbar(Item(kSlider), 10);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    EXPECT_EQ(codes, (std::vector<UINT>{NM_RELEASEDCAPTURE, NM_CUSTOMDRAW}));
    // Setting the position by message notifies nobody at once.
    codes.clear();
    SendMessageA(Item(kSlider), TBM_SETPOS, FALSE, 3);
    EXPECT_TRUE(codes.empty());
}

TEST_F(Dialog, ScrollBarPartsSendCodesAndTheDialogMovesIt) {
    HWND bar = Item(kScroll);
    MessageLog().clear();
    ASSERT_TRUE(quillmark::win32::PressScrollBar(bar, SB_PAGERIGHT));
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 10);
    auto scrolls = Logged(WM_HSCROLL);
    ASSERT_EQ(scrolls.size(), 2u);
    EXPECT_EQ(LOWORD(scrolls[0].wParam), SB_PAGERIGHT);
    EXPECT_EQ(LOWORD(scrolls[1].wParam), SB_ENDSCROLL);
    EXPECT_EQ(reinterpret_cast<HWND>(scrolls[0].lParam), bar);
    quillmark::win32::PressScrollBar(bar, SB_LEFT);  // one step, not to the end
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 9);
    quillmark::win32::DragScrollThumb(bar, 200);  // clamped to the range
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 89);
    quillmark::win32::PressScrollBar(bar, SB_PAGERIGHT);
    EXPECT_EQ(GetScrollPos(bar, SB_CTL), 89);
    EXPECT_FALSE(quillmark::win32::PressScrollBar(bar, SB_THUMBTRACK));
    int low = -1, high = -1;
    GetScrollRange(bar, SB_CTL, &low, &high);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 89);
    SCROLLINFO info{sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
    ASSERT_TRUE(GetScrollInfo(bar, SB_CTL, &info));
    EXPECT_EQ(info.nPos, 89);
    EXPECT_EQ(info.nTrackPos, 89);
}

TEST_F(Dialog, ScrollFunctionsDoNotMoveATrackbar) {
    HWND slider = Item(kSlider);
    SendMessageA(slider, TBM_SETPOS, TRUE, 5);
    EXPECT_EQ(SetScrollPos(slider, SB_CTL, 40, TRUE), 0);
    EXPECT_EQ(GetScrollPos(slider, SB_CTL), 0);
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 5);
}

TEST_F(Dialog, ProgressBarRangeStepAndWrap) {
    HWND bar = Item(kProgress);
    EXPECT_EQ(SendMessageA(bar, PBM_GETRANGE, FALSE, 0), 992);
    EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 990, 0), 0);
    EXPECT_EQ(SendMessageA(bar, PBM_STEPIT, 0, 0), 990);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 991);
    SendMessageA(bar, PBM_SETSTEP, 5, 0);
    SendMessageA(bar, PBM_STEPIT, 0, 0);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 4);  // 996 wraps past 992
    EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100)), MAKELONG(0, 992));
    SendMessageA(bar, PBM_SETPOS, 500, 0);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 100);
    PBRANGE range{};
    SendMessageA(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iHigh, 100);
    SendMessageA(bar, PBM_SETRANGE32, 0, 0);
    SendMessageA(bar, PBM_STEPIT, 0, 0);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
}

TEST_F(Dialog, CaptionDoubleClickRollsUpAndBack) {
    RECT before{};
    GetWindowRect(dialog, &before);
    MessageLog().clear();
    ASSERT_TRUE(quillmark::win32::DoubleClickCaption(dialog));
    const auto clicks = Logged(WM_NCLBUTTONDBLCLK);
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].wParam, static_cast<WPARAM>(HTCAPTION));
    EXPECT_EQ(SendMessageA(dialog, WM_NCHITTEST, 0, clicks[0].lParam), HTCAPTION);
    RECT rolled{}, client{};
    GetWindowRect(dialog, &rolled);
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.bottom, 0);
    EXPECT_GT(rolled.bottom - rolled.top, 0);
    EXPECT_EQ(rolled.right - rolled.left, before.right - before.left);
    EXPECT_EQ(rolled.top, before.top);
    quillmark::win32::DoubleClickCaption(dialog);
    RECT after{};
    GetWindowRect(dialog, &after);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
}

TEST_F(Dialog, TextsOfEditsAndStatics) {
    EXPECT_TRUE(SetDlgItemTextA(dialog, kEdit, "DONE"));
    char text[8];
    EXPECT_EQ(GetDlgItemTextA(dialog, kEdit, text, sizeof text), 4u);
    EXPECT_STREQ(text, "DONE");
    EXPECT_EQ(GetDlgItemTextA(dialog, kEdit, text, 3), 2u);  // truncated, terminated
    EXPECT_STREQ(text, "DO");
    SetWindowTextA(Item(kLabel), "16x");
    EXPECT_EQ(GetWindowTextLengthA(Item(kLabel)), 3);
    EXPECT_FALSE(SetDlgItemTextA(dialog, 4711, "x"));
}

TEST_F(Dialog, NoCloseBoxWithoutSystemMenu) {
    EXPECT_FALSE(quillmark::win32::PressCloseBox(dialog));
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_FALSE(quillmark::win32::PressCloseBox(owner));  // hidden
    ShowWindow(owner, SW_SHOW);
    ASSERT_TRUE(quillmark::win32::PressCloseBox(owner));
    EXPECT_FALSE(IsWindow(owner));
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(Dialog, DestroyingTheOwnerDestroysTheDialog) {
    HWND slider = Item(kSlider);
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(IsWindow(slider));
}

}  // namespace
