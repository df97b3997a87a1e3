#include "message_log.h"
#include "platform/win32/user_input.h"
#include "platform/win32/windows.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

constexpr const char* kClass = "QmTestWindow";

class Windows : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_CLASSDC;
        windowClass.lpfnWndProc = LoggingWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = kClass;
        ASSERT_NE(RegisterClassExA(&windowClass), 0);
        MessageLog().clear();
    }
    void TearDown() override {
        for (HWND window : created)
            if (IsWindow(window)) DestroyWindow(window);
        DrainQueue();
        EXPECT_TRUE(UnregisterClassA(kClass, GetModuleHandleA(nullptr)));
    }
    HWND Create(DWORD style, int width, int height, HWND parent = nullptr, const char* title = "T") {
        HWND window = CreateWindowExA(0, kClass, title, style, 0, 0, width, height,
                                      parent ? parent : GetDesktopWindow(), nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
        created.push_back(window);
        return window;
    }
    std::vector<HWND> created;
};

TEST_F(Windows, ClassRegistrationRules) {
    WNDCLASSA again{};
    again.lpfnWndProc = LoggingWindowProc;
    again.lpszClassName = "qmtestwindow";  // names ignore case
    EXPECT_EQ(RegisterClassA(&again), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    HWND window = Create(WS_OVERLAPPED, 10, 10);
    EXPECT_FALSE(UnregisterClassA(kClass, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    DestroyWindow(window);
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
    EXPECT_FALSE(UnregisterClassA("BUTTON", nullptr));
}

TEST_F(Windows, CreationSendsCreateMessagesAndKeepsTitle) {
    HWND window = Create(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 800, 600, nullptr, "D3D Quillmark Ver 1.3a");
    ASSERT_NE(window, nullptr);
    const std::vector<UINT> kinds = LoggedKinds();
    ASSERT_GE(kinds.size(), 2u);
    EXPECT_EQ(kinds[0], static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(kinds[1], static_cast<UINT>(WM_CREATE));
    char title[64];
    EXPECT_EQ(GetWindowTextA(window, title, sizeof title), 22);
    EXPECT_STREQ(title, "D3D Quillmark Ver 1.3a");
    EXPECT_FALSE(IsWindowVisible(window));  // no WS_VISIBLE
    EXPECT_EQ(GetParent(window), nullptr);
    EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);  // the desktop owns nothing
}

TEST_F(Windows, MainWindowClientBecomesExactlyTheRequestedSize) {
    HWND window = Create(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 800, 600);
    RECT client{};
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_LT(client.right, 800);
    EXPECT_LT(client.bottom, 600);
    MoveWindow(window, 0, 0, 2 * 800 - client.right, 2 * 600 - client.bottom, FALSE);
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 800);
    EXPECT_EQ(client.bottom, 600);
    RECT adjusted{0, 0, 800, 600};
    AdjustWindowRect(&adjusted, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, FALSE);
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, adjusted.right - adjusted.left);
    EXPECT_EQ(outer.bottom - outer.top, adjusted.bottom - adjusted.top);
}

TEST_F(Windows, SizingReportsAndKeepsTheCaption) {
    HWND window = Create(WS_OVERLAPPED | WS_CAPTION, 300, 200);
    MessageLog().clear();
    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 300, -5, SWP_NOMOVE | SWP_NOZORDER));
    RECT outer{}, client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    EXPECT_EQ(outer.right - outer.left, 300);
    EXPECT_GT(outer.bottom - outer.top, 0);
    EXPECT_EQ(client.bottom, 0);  // only caption and frame remain
    const auto sizes = Logged(WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(LOWORD(sizes[0].lParam), client.right);
    EXPECT_TRUE(Logged(WM_MOVE).empty());
    SetWindowPos(window, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.bottom - outer.top, 200);
}

TEST_F(Windows, ChildrenSitInTheParentsClientArea) {
    HWND parent = Create(WS_OVERLAPPED | WS_CAPTION, 400, 300);
    MoveWindow(parent, 100, 50, 400, 300, FALSE);
    HWND child = CreateWindowExA(0, kClass, "", WS_CHILD | WS_VISIBLE, 10, 20, 30, 40, parent,
                                 reinterpret_cast<HMENU>(77), nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(GetParent(child), parent);
    EXPECT_EQ(GetDlgCtrlID(child), 77);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), child);
    RECT rect{};
    GetWindowRect(child, &rect);
    EXPECT_EQ(rect.left, 100 + 3 + 10);
    EXPECT_EQ(rect.top, 50 + 3 + 19 + 20);
    EXPECT_EQ(rect.right - rect.left, 30);
    EXPECT_FALSE(IsWindowVisible(child));  // its parent is hidden
    ShowWindow(parent, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_EQ(CreateWindowExA(0, kClass, "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
}

// Children keep a z-order (creation order at first): SetWindowPos moves one
// to the top, to the bottom or behind a sibling, unless SWP_NOZORDER says
// not to, and leaves its place alone for a handle that is no sibling.
TEST_F(Windows, SetWindowPosReordersChildren) {
    HWND parent = Create(WS_OVERLAPPED | WS_CAPTION, 400, 300);
    std::vector<HWND> child;
    for (int id = 0; id < 4; ++id)
        child.push_back(CreateWindowExA(0, kClass, "", WS_CHILD, 0, 10 * id, 5, 5, parent,
                                        reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)), nullptr, nullptr));
    const auto order = [parent] {
        std::vector<int> ids;
        for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ids.push_back(GetDlgCtrlID(c));
        return ids;
    };
    constexpr UINT kKeep = SWP_NOMOVE | SWP_NOSIZE;
    EXPECT_EQ(order(), (std::vector<int>{0, 1, 2, 3}));
    SetWindowPos(child[0], HWND_BOTTOM, 0, 0, 0, 0, kKeep);
    EXPECT_EQ(order(), (std::vector<int>{1, 2, 3, 0}));
    SetWindowPos(child[3], HWND_TOP, 0, 0, 0, 0, kKeep);
    EXPECT_EQ(order(), (std::vector<int>{3, 1, 2, 0}));
    SetWindowPos(child[1], child[2], 0, 0, 0, 0, kKeep);
    EXPECT_EQ(order(), (std::vector<int>{3, 2, 1, 0}));
    SetWindowPos(child[2], HWND_BOTTOM, 0, 0, 0, 0, kKeep | SWP_NOZORDER);
    SetWindowPos(child[2], parent, 0, 0, 0, 0, kKeep);  // the parent is no sibling
    SetWindowPos(child[2], child[2], 0, 0, 0, 0, kKeep);
    EXPECT_EQ(order(), (std::vector<int>{3, 2, 1, 0}));
    RECT rect{};
    GetWindowRect(child[1], &rect);
    EXPECT_EQ(rect.right - rect.left, 5) << "a reorder keeps the place and size";
}

// A menu bar with a popup: its items are found by command id through the
// popup, checked and grayed; choosing one sends WM_COMMAND with its id, a
// grayed one or a popup cannot be chosen; deleting and the window's end
// take the menus with them.
TEST_F(Windows, MenuBarItemsAreChosenCheckedAndGrayed) {
    HWND window = Create(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 400, 300);
    ShowWindow(window, SW_SHOW);
    const HMENU bar = CreateMenu();
    const HMENU popup = CreatePopupMenu();
    ASSERT_TRUE(AppendMenuA(popup, MF_STRING, 101, "&First\tCtrl+F"));
    ASSERT_TRUE(AppendMenuA(popup, MF_SEPARATOR, 0, nullptr));
    ASSERT_TRUE(AppendMenuA(popup, MF_STRING | MF_GRAYED, 102, "&Second"));
    ASSERT_TRUE(AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "&File"));
    EXPECT_FALSE(AppendMenuA(bar, MF_POPUP, 12345, "not a menu"));
    ASSERT_TRUE(SetMenu(window, bar));
    EXPECT_EQ(GetMenu(window), bar);
    EXPECT_EQ(GetSubMenu(bar, 0), popup);
    EXPECT_EQ(GetMenuItemCount(popup), 3);
    EXPECT_EQ(GetMenuItemID(popup, 2), 102u);
    EXPECT_EQ(GetMenuItemID(bar, 0), UINT(-1)) << "a popup has no id";
    char text[32] = {};
    EXPECT_EQ(GetMenuStringA(bar, 101, text, sizeof text, MF_BYCOMMAND), 13);
    EXPECT_STREQ(text, "&First\tCtrl+F");

    EXPECT_EQ(CheckMenuItem(bar, 101, MF_BYCOMMAND | MF_CHECKED), static_cast<DWORD>(MF_UNCHECKED));
    EXPECT_EQ(GetMenuState(popup, 101, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    EXPECT_EQ(CheckMenuItem(bar, 999, MF_BYCOMMAND | MF_CHECKED), static_cast<DWORD>(-1));

    MessageLog().clear();
    EXPECT_TRUE(quillmark::win32::ChooseMenuItem(window, 101));
    EXPECT_FALSE(quillmark::win32::ChooseMenuItem(window, 102)) << "grayed";
    EXPECT_FALSE(quillmark::win32::ChooseMenuItem(window, 999));
    EnableMenuItem(bar, 102, MF_BYCOMMAND | MF_ENABLED);
    EXPECT_TRUE(quillmark::win32::ChooseMenuItem(window, 102));
    const auto commands = Logged(WM_COMMAND);
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(101, 0));
    EXPECT_EQ(commands[0].lParam, 0);
    EXPECT_EQ(commands[1].wParam, MAKEWPARAM(102, 0));

    EXPECT_TRUE(DeleteMenu(popup, 101, MF_BYCOMMAND));
    EXPECT_EQ(GetMenuItemCount(popup), 2);
    EXPECT_FALSE(quillmark::win32::ChooseMenuItem(window, 101));
    DestroyWindow(window);
    EXPECT_EQ(GetMenuItemCount(bar), -1) << "the window's menu went with it";
    EXPECT_EQ(GetMenuItemCount(popup), -1);
}

TEST_F(Windows, DestroyTakesOwnedWindowsFirstAndChildrenAfter) {
    HWND owner = Create(WS_OVERLAPPED | WS_CAPTION, 100, 100);
    HWND owned = Create(WS_POPUP | WS_CAPTION, 50, 50, owner);
    HWND child = CreateWindowExA(0, kClass, "", WS_CHILD, 0, 0, 5, 5, owner, nullptr, nullptr, nullptr);
    EXPECT_EQ(GetWindow(owned, GW_OWNER), owner);
    EXPECT_EQ(GetParent(owned), owner);  // a pop-up's parent is its owner
    PostMessageA(owner, WM_USER, 0, 0);
    MessageLog().clear();
    ASSERT_TRUE(DestroyWindow(owner));
    std::vector<HWND> destroyed;
    for (const LoggedMessage& m : Logged(WM_DESTROY)) destroyed.push_back(m.window);
    EXPECT_EQ(destroyed, (std::vector<HWND>{owned, owner, child}));
    std::vector<HWND> finished;
    for (const LoggedMessage& m : Logged(WM_NCDESTROY)) finished.push_back(m.window);
    EXPECT_EQ(finished, (std::vector<HWND>{owned, child, owner}));
    EXPECT_FALSE(IsWindow(owner));
    EXPECT_FALSE(IsWindow(owned));
    EXPECT_FALSE(IsWindow(child));
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));  // its posted message went too
    EXPECT_FALSE(DestroyWindow(owner));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Windows, CloseBoxDestroysThroughDefWindowProc) {
    HWND window = Create(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 100, 100);
    MessageLog().clear();
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    const std::vector<UINT> kinds = LoggedKinds();
    const auto close = std::find(kinds.begin(), kinds.end(), static_cast<UINT>(WM_CLOSE));
    const auto destroy = std::find(kinds.begin(), kinds.end(), static_cast<UINT>(WM_DESTROY));
    ASSERT_NE(close, kinds.end());
    ASSERT_NE(destroy, kinds.end());
    EXPECT_LT(close, destroy);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(Windows, ShowingInvalidatesAndUpdateWindowPaintsOnce) {
    HWND window = Create(WS_OVERLAPPED | WS_CAPTION, 100, 100);
    MessageLog().clear();
    EXPECT_FALSE(ShowWindow(window, SW_SHOWDEFAULT));
    EXPECT_TRUE(ShowWindow(window, SW_SHOW));  // was visible
    ASSERT_EQ(Logged(WM_SHOWWINDOW).size(), 1u);
    RECT update{};
    EXPECT_TRUE(GetUpdateRect(window, &update, FALSE));
    UpdateWindow(window);
    EXPECT_EQ(Logged(WM_PAINT).size(), 1u);
    UpdateWindow(window);  // DefWindowProcA validated it
    EXPECT_EQ(Logged(WM_PAINT).size(), 1u);
    InvalidateRect(window, nullptr, FALSE);
    RECT part{0, 0, 10, 10};
    ValidateRect(window, &part);  // part of it stays invalid
    EXPECT_TRUE(GetUpdateRect(window, nullptr, FALSE));
    ValidateRect(window, nullptr);
    EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
}

TEST_F(Windows, WindowLongsAndUserData) {
    HWND window = Create(WS_OVERLAPPED, 10, 10);
    EXPECT_EQ(SetWindowLongPtrA(window, GWLP_USERDATA, 1234), 0);
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_USERDATA), 1234);
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&LoggingWindowProc));
    EXPECT_EQ(GetWindowLongPtrA(window, 64), 0);  // no extra bytes
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    char name[32];
    EXPECT_EQ(GetClassNameA(window, name, sizeof name), 12);
    EXPECT_STREQ(name, kClass);
}

TEST_F(Windows, EnableWindowReportsThePreviousState) {
    HWND window = Create(WS_OVERLAPPED, 10, 10);
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_FALSE(EnableWindow(window, FALSE));
    EXPECT_FALSE(IsWindowEnabled(window));
    EXPECT_TRUE(EnableWindow(window, TRUE));
    EXPECT_EQ(Logged(WM_ENABLE).size(), 2u);
}

}  // namespace
