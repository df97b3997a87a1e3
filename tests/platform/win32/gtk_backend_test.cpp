// The desktop backend, driven through its widgets. These tests need a
// display; without one, GtkBackendUnderXvfb runs them under xvfb-run.
#include "platform/win32/backend.h"
#include "platform/win32/commctrl.h"
#include "platform/win32/desktop_probe.h"
#include "platform/win32/dialog_template.h"
#include "message_log.h"
#include "platform/win32/window_image.h"
#include "platform/win32/commdlg.h"
#include "platform/win32/windows.h"
#include "x_input.h"
#include "xvfb_child.h"

#include <array>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace {

using namespace quillmark::win32;

constexpr WORD kTemplate = 301;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
enum : int { kRadioA = 1, kRadioB = 2, kPush = 3, kCombo = 4, kSlider = 5, kScroll = 6, kLabel = 7, kProgress = 8 };

DialogTemplate Template() {
    DialogTemplate dialog;
    dialog.caption = "Settings";
    dialog.style = WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT;
    dialog.x = 500;
    dialog.y = 80;
    dialog.cx = 205;
    dialog.cy = 120;
    dialog.fontName = "MS Sans Serif";
    dialog.pointSize = 8;
    dialog.controls = {
        {"BUTTON", "Plane", kRadioA, kChild | BS_AUTORADIOBUTTON | WS_GROUP, 10, 5, 40, 10},
        {"BUTTON", "Tunnel", kRadioB, kChild | BS_AUTORADIOBUTTON, 60, 5, 40, 10},
        {"BUTTON", "Start", kPush, kChild | WS_TABSTOP, 110, 5, 50, 14},
        {"COMBOBOX", "", kCombo, kChild | WS_TABSTOP | CBS_DROPDOWNLIST, 10, 25, 68, 65},
        {TRACKBAR_CLASSA, "", kSlider, kChild | WS_TABSTOP, 5, 45, 200, 15},
        {"SCROLLBAR", "", kScroll, kChild | SBS_HORZ, 10, 65, 185, 11},
        {"STATIC", "0\xB0", kLabel, kChild | SS_RIGHT, 160, 80, 29, 8},
        {PROGRESS_CLASSA, "", kProgress, kChild | PBS_SMOOTH, 10, 95, 177, 14},
    };
    return dialog;
}

INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    MessageLog().push_back({dialog, message, wParam, lParam});
    if (message == WM_INITDIALOG) {
        SendDlgItemMessageA(dialog, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("OFF"));
        SendDlgItemMessageA(dialog, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("POINT"));
        SendDlgItemMessageA(dialog, kCombo, CB_SETCURSEL, 0, 0);
        SendDlgItemMessageA(dialog, kSlider, TBM_SETRANGE, TRUE, MAKELONG(5, 300));
        SendDlgItemMessageA(dialog, kSlider, TBM_SETPOS, TRUE, 20);
        SetScrollRange(GetDlgItem(dialog, kScroll), SB_CTL, 0, 89, TRUE);
        CheckDlgButton(dialog, kRadioB, BST_CHECKED);
        return TRUE;
    }
    if (message == WM_HSCROLL && LOWORD(wParam) == SB_THUMBTRACK)
        SetScrollPos(reinterpret_cast<HWND>(lParam), SB_CTL, HIWORD(wParam), TRUE);
    if (message == WM_NCLBUTTONDBLCLK) {
        RECT rect{};
        GetWindowRect(dialog, &rect);
        SetWindowPos(dialog, nullptr, 0, 0, rect.right - rect.left, -5, SWP_NOMOVE | SWP_NOZORDER);
    }
    return message == WM_COMMAND || message == WM_HSCROLL || message == WM_NOTIFY;
}

class GtkBackend : public ::testing::Test {
protected:
    void SetUp() override {
        if (!DisplayAvailable()) GTEST_SKIP() << "no display";
        ASSERT_TRUE(SelectBackend(Backend::Gtk));
        InitCommonControls();
        RegisterDialogTemplate(kTemplate, Template());
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = LoggingWindowProc;
        windowClass.lpszClassName = "D3D";
        RegisterClassA(&windowClass);
        main = CreateWindowExA(0, "D3D", "D3D Quillmark Ver 1.3a", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 0, 0,
                               800, 600, GetDesktopWindow(), nullptr, nullptr, nullptr);
        RECT client{};
        GetClientRect(main, &client);
        MoveWindow(main, 0, 0, 1600 - client.right, 1200 - client.bottom, FALSE);
        dialog = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(kTemplate), main, Proc, 0);
        ShowWindow(main, SW_SHOWDEFAULT);
        DesktopProcessEvents();
        MessageLog().clear();
    }
    void TearDown() override {
        if (CurrentBackend() != Backend::Gtk) return;
        if (IsWindow(main)) DestroyWindow(main);
        DrainQueue();
        UnregisterClassA("D3D", nullptr);
        DesktopProcessEvents();
        EXPECT_TRUE(SelectBackend(Backend::Headless));
    }
    HWND Item(int id) { return GetDlgItem(dialog, id); }
    HWND main = nullptr;
    HWND dialog = nullptr;
};

TEST_F(GtkBackend, WindowsShowTitlesAndTheClientSize) {
    DesktopFacts facts = DesktopFactsOf(main);
    EXPECT_TRUE(facts.shown);
    EXPECT_EQ(facts.title, "D3D Quillmark Ver 1.3a");
    EXPECT_EQ(facts.clientWidth, 800);
    EXPECT_EQ(facts.clientHeight, 600);
    facts = DesktopFactsOf(dialog);
    EXPECT_TRUE(facts.shown);
    EXPECT_EQ(facts.title, "Settings");
    EXPECT_EQ(facts.text, "Settings");  // shown in its header bar
    EXPECT_EQ(DesktopFactsOf(Item(kLabel)).text, "0\u00B0");  // Windows-1252 shown as UTF-8
}

TEST_F(GtkBackend, PresentedImageIsDrawn) {
    std::vector<std::uint32_t> frame(800 * 600, 0x00FF8000u);
    ShowWindowImage(main, frame.data(), 800, 600, 800 * 4);
    DesktopProcessEvents();
    int width = 0, height = 0;
    const std::vector<std::uint32_t> shown = DesktopSnapshot(main, width, height);
    ASSERT_EQ(width, 800);
    ASSERT_EQ(height, 600);
    EXPECT_EQ(shown[300 * 800 + 400] & 0xFFFFFF, 0xFF8000u);
}

TEST_F(GtkBackend, WidgetsBringTheControlsMessages) {
    ASSERT_TRUE(DesktopClick(Item(kRadioA)));
    EXPECT_EQ(IsDlgButtonChecked(dialog, kRadioA), static_cast<UINT>(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, kRadioB), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_FALSE(DesktopFactsOf(Item(kRadioB)).active);  // the model unchecked its widget
    ASSERT_TRUE(DesktopClick(Item(kPush)));
    ASSERT_TRUE(DesktopChooseComboItem(Item(kCombo), 1));
    std::vector<std::pair<int, int>> commands;
    for (const LoggedMessage& m : Logged(WM_COMMAND)) commands.push_back({LOWORD(m.wParam), HIWORD(m.wParam)});
    EXPECT_EQ(commands.front(), std::make_pair(int(kRadioA), int(BN_CLICKED)));
    EXPECT_EQ(commands[1], std::make_pair(int(kPush), int(BN_CLICKED)));
    EXPECT_EQ(commands.back(), std::make_pair(int(kCombo), int(CBN_SELCHANGE)));
    EXPECT_EQ(SendDlgItemMessageA(dialog, kCombo, CB_GETCURSEL, 0, 0), 1);
}

TEST_F(GtkBackend, ThumbDragsScrollAndNotify) {
    ASSERT_TRUE(DesktopDragThumb(Item(kSlider), 150));
    EXPECT_EQ(SendDlgItemMessageA(dialog, kSlider, TBM_GETPOS, 0, 0), 150);
    const auto scrolls = Logged(WM_HSCROLL);
    ASSERT_EQ(scrolls.size(), 3u);
    EXPECT_EQ(LOWORD(scrolls[0].wParam), TB_THUMBTRACK);
    EXPECT_EQ(LOWORD(scrolls[2].wParam), TB_ENDTRACK);
    EXPECT_EQ(Logged(WM_NOTIFY).size(), 1u);
    EXPECT_DOUBLE_EQ(DesktopFactsOf(Item(kSlider)).value, 150.0);
    MessageLog().clear();
    ASSERT_TRUE(DesktopDragThumb(Item(kScroll), 40));
    EXPECT_EQ(GetScrollPos(Item(kScroll), SB_CTL), 40);  // moved by the dialog
    EXPECT_DOUBLE_EQ(DesktopFactsOf(Item(kScroll)).value, 40.0);
    // A position set by message shows in the widget.
    SendDlgItemMessageA(dialog, kProgress, PBM_SETPOS, 25, 0);
    EXPECT_DOUBLE_EQ(DesktopFactsOf(Item(kProgress)).value, 0.25);
}

// Input reaches the program through its queue: after each action the loop
// finds a message to dispatch and takes a pass (a frame, in the probe).
TEST_F(GtkBackend, EveryActionLeavesQueuedInput) {
    const auto queued = [] {
        MSG message;
        bool found = false;
        for (int i = 0; i < 64 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
            if (message.message == WM_PAINT) ValidateRect(message.hwnd, nullptr);
            else found = true;
        }
        return found;
    };
    DrainQueue();
    ASSERT_TRUE(DesktopDragThumb(Item(kScroll), 30));
    EXPECT_TRUE(queued()) << "scroll bar";
    ASSERT_TRUE(DesktopDragThumb(Item(kSlider), 20));
    EXPECT_TRUE(queued()) << "trackbar";
    ASSERT_TRUE(DesktopClick(Item(kPush)));
    EXPECT_TRUE(queued()) << "push button";
    ASSERT_TRUE(DesktopChooseComboItem(Item(kCombo), 1));
    EXPECT_TRUE(queued()) << "combo box";
    ASSERT_TRUE(DesktopDoubleClickCaption(dialog));
    EXPECT_TRUE(queued()) << "caption";
}

TEST_F(GtkBackend, CaptionDoubleClickAndClose) {
    ASSERT_TRUE(DesktopDoubleClickCaption(dialog));
    EXPECT_EQ(Logged(WM_NCLBUTTONDBLCLK).size(), 1u);
    DesktopProcessEvents();
    EXPECT_EQ(DesktopFactsOf(dialog).clientHeight, 0);  // rolled up to its caption
    MessageLog().clear();
    ASSERT_TRUE(DesktopClose(main));
    EXPECT_EQ(Logged(WM_CLOSE).size(), 1u);
    EXPECT_FALSE(IsWindow(main));
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(GtkBackend, WaitMessageBlocksUntilAPost) {
    DrainQueue();
    DesktopProcessEvents();
    const DWORD start = GetTickCount();
    std::thread poster([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        PostMessageA(nullptr, WM_APP, 0, 0);
    });
    EXPECT_TRUE(WaitMessage());
    poster.join();
    EXPECT_GE(GetTickCount() - start, 70u);
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_APP));
}

// Lets the display deliver what real input sent and the backend handle it.
void Settle() {
    for (int i = 0; i < 10; ++i) {
        DesktopProcessEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// The dialog draws its own caption; dragging it with the mouse moves the
// dialog (and the program sees the new place), a double click still rolls
// it up where it now stands, and it has no close box.
TEST_F(GtkBackend, DraggingTheCaptionMovesTheDialogAndADoubleClickStillRollsItUp) {
    quillmark::test::XInput input;
    if (!input.Ready()) GTEST_SKIP() << "the XTest extension cannot be reached";
    EXPECT_FALSE(DesktopFactsOf(dialog).closeBox);
    EXPECT_TRUE(DesktopFactsOf(main).closeBox);
    RECT before{};
    GetWindowRect(dialog, &before);
    POINT caption{};
    ASSERT_TRUE(DesktopCaptionCentre(dialog, caption));
    input.MoveTo(caption.x, caption.y);
    input.Press();
    Settle();
    for (int step = 1; step <= 10; ++step) {
        input.MoveTo(caption.x + 12 * step, caption.y + 7 * step);
        Settle();
    }
    input.Release();
    Settle();
    RECT after{};
    GetWindowRect(dialog, &after);
    EXPECT_EQ(after.left - before.left, 120);
    EXPECT_EQ(after.top - before.top, 70);

    ASSERT_TRUE(DesktopCaptionCentre(dialog, caption));
    MessageLog().clear();
    input.MoveTo(caption.x, caption.y);
    input.Click();
    input.Click();
    Settle();
    EXPECT_EQ(Logged(WM_NCLBUTTONDBLCLK).size(), 1u);
    EXPECT_EQ(DesktopFactsOf(dialog).clientHeight, 0);  // rolled up
    RECT rolled{};
    GetWindowRect(dialog, &rolled);
    EXPECT_EQ(rolled.left, after.left) << "rolled up where it was moved to";
    EXPECT_EQ(rolled.top, after.top);
}

// Tab and Shift-Tab, pressed on the keyboard, move the focus through the
// controls with WS_TABSTOP in template order and show the focus ring; the
// arrow keys act on the focused control.
TEST_F(GtkBackend, TabMovesTheFocusInTemplateOrderAndArrowsActOnTheFocusedControl) {
    quillmark::test::XInput input;
    if (!input.Ready()) GTEST_SKIP() << "the XTest extension cannot be reached";
    POINT caption{};
    ASSERT_TRUE(DesktopCaptionCentre(dialog, caption));
    input.MoveTo(caption.x, caption.y);  // the keyboard goes to the window under the pointer
    Settle();
    const auto focused = [&] {
        std::vector<int> ids;
        for (const int id : {int(kRadioA), int(kRadioB), int(kPush), int(kCombo), int(kSlider), int(kScroll)})
            if (DesktopFactsOf(Item(id)).focused) ids.push_back(id);
        return ids;
    };
    std::vector<std::vector<int>> seen;
    for (int press = 0; press < 4; ++press) {
        input.Key("Tab");
        Settle();
        seen.push_back(focused());
    }
    EXPECT_EQ(seen, (std::vector<std::vector<int>>{{kPush}, {kCombo}, {kSlider}, {kPush}}));
    EXPECT_TRUE(DesktopFactsOf(dialog).focusRing);
    input.Key("Tab", true);
    Settle();
    EXPECT_EQ(focused(), std::vector<int>{kSlider}) << "Shift-Tab goes back round";

    const LRESULT position = SendDlgItemMessageA(dialog, kSlider, TBM_GETPOS, 0, 0);
    input.Key("Right");
    Settle();
    EXPECT_EQ(SendDlgItemMessageA(dialog, kSlider, TBM_GETPOS, 0, 0), position + 1);
    input.Key("Tab", true);
    Settle();
    ASSERT_EQ(focused(), std::vector<int>{kCombo});
    input.Key("Down");
    Settle();
    EXPECT_EQ(SendDlgItemMessageA(dialog, kCombo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendDlgItemMessageA(dialog, kSlider, TBM_GETPOS, 0, 0), position + 1) << "only the focused control";
}

// On a screen of two device pixels per pixel every pixel of the frame
// becomes a 2 x 2 block of itself, never a blend of its neighbours.
TEST_F(GtkBackend, AHiDpiScreenEnlargesTheFrameByWholePixels) {
    std::vector<std::uint32_t> frame(800 * 600);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) frame[y * 800 + x] = (x + y) % 2 ? 0x00FFFFFFu : 0x00102030u;
    ShowWindowImage(main, frame.data(), 800, 600, 800 * 4);
    DesktopProcessEvents();
    int width = 0, height = 0;
    const std::vector<std::uint32_t> shown = DesktopSnapshot(main, width, height, 2);
    ASSERT_EQ(width, 1600);
    ASSERT_EQ(height, 1200);
    int blended = 0;
    for (int y = 0; y < 1200; ++y)
        for (int x = 0; x < 1600; ++x) blended += (shown[y * 1600 + x] & 0xFFFFFF) != frame[(y / 2) * 800 + x / 2];
    EXPECT_EQ(blended, 0);
}

// The file dialog, used with the keyboard while the pointer rests on the
// dialog that opened it: it opens in the current folder, as the Win32 one
// does, the keys pick the file there, and GTK has nothing to complain about
// (a widget it was asked to handle a key for before it existed on screen).
TEST_F(GtkBackend, TheFileDialogOpensInTheCurrentFolderAndTakesTheKeyboard) {
    quillmark::test::XInput input;
    if (!input.Ready()) GTEST_SKIP() << "the XTest extension cannot be reached";
    const std::string folder = "/tmp/qmchooser" + std::to_string(getpid());
    const std::string file = folder + "/pick.bmp";
    ASSERT_EQ(std::system(("mkdir -p " + folder + " && touch " + file).c_str()), 0);
    char previous[4096] = "";
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder.c_str()), 0);
    POINT caption{};
    ASSERT_TRUE(DesktopCaptionCentre(dialog, caption));
    input.MoveTo(caption.x, caption.y);
    Settle();
    // The dialog shows and lists its folder within 1.5 s here, within 30 s
    // under an emulator (the first GTK window alone takes 20 s there).
    const char* emulator = std::getenv("QUILLMARK_EMULATOR");
    const std::chrono::milliseconds wait(emulator && *emulator ? 30000 : 1500);
    std::thread typist([&input, wait] {
        std::this_thread::sleep_for(wait);
        input.Key("Down");  // the folder's one file
        input.Key("Return");
        std::this_thread::sleep_for(wait);
        input.Key("Escape");  // if the dialog is still open, so that the test fails rather than hangs
    });
    char chosen[260] = "";
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = dialog;
    request.lpstrFile = chosen;
    request.nMaxFile = sizeof chosen;
    const BOOL answered = GetOpenFileNameA(&request);
    typist.join();
    EXPECT_EQ(chdir(previous), 0);
    std::system(("rm -rf " + folder).c_str());
    EXPECT_TRUE(answered);
    EXPECT_EQ(std::string(chosen), file);
}

// The program's icon (SVG bytes) reaches the desktop on both windows, where
// it reads a window's icon.
TEST_F(GtkBackend, TheProgramIconIsSetOnEveryWindow) {
    SetProgramIcon("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" viewBox=\"0 0 32 32\">"
                   "<rect x=\"8\" y=\"8\" width=\"16\" height=\"16\" fill=\"#d32f2f\"/></svg>");
    Settle();
    EXPECT_EQ(DesktopFactsOf(main).iconWidth, 32);
    EXPECT_EQ(DesktopFactsOf(dialog).iconWidth, 32);
}

// Without a display, the tests above run in a child under a virtual one.
// The main window's status bar stands below its client area, which keeps
// its size, however long its text; the pointer over the client area comes
// as WM_MOUSEMOVE with the client pixel under it, and a letter key pressed
// there as WM_KEYDOWN with its virtual key, translated into WM_CHAR.
TEST_F(GtkBackend, TheMainWindowTakesPointerAndKeysAndShowsItsStatusBarBelowTheFrame) {
    quillmark::test::XInput input;
    if (!input.Ready()) GTEST_SKIP() << "the XTest extension cannot be reached";
    const HWND status =
        CreateWindowExA(0, STATUSCLASSNAMEA, "", kChild, 0, 0, 0, 0, main, nullptr, nullptr, nullptr);
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(SendMessageA(status, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("Pixel (37, 451): 0\xB0")));
    EXPECT_FALSE(SendMessageA(status, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>("a part it does not have")));
    Settle();
    const DesktopFacts frame = DesktopFactsOf(main), bar = DesktopFactsOf(status);
    EXPECT_EQ(frame.clientWidth, 800);
    EXPECT_EQ(frame.clientHeight, 600);
    EXPECT_TRUE(bar.shown);
    EXPECT_EQ(bar.text, "Pixel (37, 451): 0\u00B0");
    EXPECT_GE(bar.onScreen.top, frame.clientOnScreen.bottom);
    EXPECT_GT(bar.onScreen.bottom, bar.onScreen.top);
    EXPECT_LE(bar.onScreen.right, frame.onScreen.right);
    SetWindowTextA(status, std::string(400, 'W').c_str());
    Settle();
    EXPECT_EQ(DesktopFactsOf(main).onScreen.right, frame.onScreen.right) << "a long text widens nothing";

    const auto dispatch = [] {
        Settle();
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    };
    const auto sentToMain = [&](UINT kind) {
        std::vector<LoggedMessage> sent;
        for (const LoggedMessage& m : Logged(kind))
            if (m.window == main) sent.push_back(m);
        return sent;
    };
    input.MoveTo(frame.clientOnScreen.left + 30, frame.clientOnScreen.top + 440);
    dispatch();
    MessageLog().clear();
    input.MoveTo(frame.clientOnScreen.left + 37, frame.clientOnScreen.top + 451);
    dispatch();
    const std::vector<LoggedMessage> moves = sentToMain(WM_MOUSEMOVE);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(GET_X_LPARAM(moves.back().lParam), 37);
    EXPECT_EQ(GET_Y_LPARAM(moves.back().lParam), 451);
    EXPECT_EQ(moves.back().wParam, 0u) << "no key or button held";
    input.Key("l");
    dispatch();
    const std::vector<LoggedMessage> keys = sentToMain(WM_KEYDOWN), characters = sentToMain(WM_CHAR);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].wParam, WPARAM('L'));
    ASSERT_EQ(characters.size(), 1u);
    EXPECT_EQ(characters[0].wParam, WPARAM('l'));
}

TEST(GtkBackendUnderXvfb, Passes) {
    const quillmark::test::XvfbChildRun run = quillmark::test::RunSelfUnderXvfb("GtkBackend.*");
    if (!run.skip.empty()) GTEST_SKIP() << run.skip;
    quillmark::test::ExpectEveryTestPassed(run);
    EXPECT_EQ(run.output.find("Gtk-CRITICAL"), std::string::npos) << run.output;
}

}  // namespace
