#include "message_log.h"
#include "platform/win32/windows.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

constexpr const char* kClass = "QmQueueWindow";

class MessageQueue : public ::testing::Test {
protected:
    void SetUp() override {
        DrainQueue();
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = LoggingWindowProc;
        windowClass.lpszClassName = kClass;
        ASSERT_NE(RegisterClassA(&windowClass), 0);
        window = CreateWindowExA(0, kClass, "", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        MessageLog().clear();
    }
    void TearDown() override {
        DestroyWindow(window);
        DrainQueue();
        UnregisterClassA(kClass, nullptr);
    }
    HWND window = nullptr;
};

TEST_F(MessageQueue, SendCallsAtOncePostWaitsForDispatch) {
    EXPECT_EQ(SendMessageA(window, WM_USER + 1, 7, 8), 0);
    ASSERT_EQ(MessageLog().size(), 1u);
    EXPECT_EQ(MessageLog()[0].wParam, 7u);
    EXPECT_TRUE(PostMessageA(window, WM_USER + 2, 9, 10));
    EXPECT_EQ(MessageLog().size(), 1u);
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.hwnd, window);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_EQ(message.lParam, 10);
    DispatchMessageA(&message);
    ASSERT_EQ(MessageLog().size(), 2u);
    EXPECT_EQ(MessageLog()[1].message, static_cast<UINT>(WM_USER + 2));
}

TEST_F(MessageQueue, QuitComesAfterThePostedMessages) {
    PostMessageA(window, WM_USER, 1, 0);
    PostQuitMessage(3);
    PostMessageA(window, WM_USER, 2, 0);
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.wParam, 1u);
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.wParam, 2u);
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 3u);
    EXPECT_EQ(message.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageQueue, PaintComesAfterQuit) {
    ShowWindow(window, SW_SHOW);  // invalid now
    PostMessageA(window, WM_USER, 0, 0);
    PostQuitMessage(0);
    MSG message{};
    PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER));
    PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_PAINT));
    EXPECT_EQ(message.hwnd, window);
    // WM_PAINT stays until the window is validated.
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_PAINT));
    DispatchMessageA(&message);
    EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageQueue, NoRemoveLeavesTheMessageAndFiltersSelect) {
    PostMessageA(window, WM_USER, 0, 0);
    PostMessageA(nullptr, WM_APP, 0, 0);
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER));
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_APP, WM_APP, PM_REMOVE));
    EXPECT_EQ(message.hwnd, nullptr);
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_APP, WM_APP, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&message, window, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER));
    EXPECT_EQ(DispatchMessageA(&message), 0);
}

TEST_F(MessageQueue, WaitMessageReturnsWithoutInput) {
    EXPECT_TRUE(WaitMessage());  // headless: no user will ever act
    PostMessageA(window, WM_USER, 0, 0);
    EXPECT_TRUE(WaitMessage());
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));  // not consumed by the wait
}

TEST_F(MessageQueue, GetMessageWaitsForAnotherThreadsPost) {
    std::thread poster([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        PostMessageA(nullptr, WM_APP + 5, 0, 0);
    });
    MSG message{};
    EXPECT_TRUE(GetMessageA(&message, nullptr, 0, 0));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_APP + 5));
    poster.join();
    PostQuitMessage(0);
    EXPECT_FALSE(GetMessageA(&message, nullptr, 0, 0));
}

TEST_F(MessageQueue, OtherThreadsPostToAWindow) {
    std::thread poster([this] { EXPECT_TRUE(PostMessageA(window, WM_USER + 9, 1, 2)); });
    poster.join();
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, window, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 9));
    int other = 0;
    EXPECT_EQ(GetMessageA(&message, reinterpret_cast<HWND>(&other), 0, 0), -1);  // no such window
}

TEST_F(MessageQueue, PostingToAMissingWindowFails) {
    DestroyWindow(window);
    EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(SendMessageA(window, WM_USER, 0, 0), 0);
    window = CreateWindowExA(0, kClass, "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
}

TEST_F(MessageQueue, TranslateMessagePostsCharacters) {
    MSG key{window, WM_KEYDOWN, 'A', 0, 0, {}};
    EXPECT_TRUE(TranslateMessage(&key));
    MSG message{};
    ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(message.wParam, static_cast<WPARAM>('a'));
    MSG other{window, WM_USER, 0, 0, 0, {}};
    EXPECT_FALSE(TranslateMessage(&other));
}

}  // namespace
