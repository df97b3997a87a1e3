#include "platform/win32/commdlg.h"
#include "platform/win32/headless_dialogs.h"
#include "platform/win32/window_image.h"
#include "platform/win32/windows.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using namespace quillmark::win32;

TEST(MessageBox, RecordedAndAnsweredWithTheFirstButton) {
    ClearMessageBoxes();
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "Could not generate Texture", "Quillmark", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "TT", "TT", MB_YESNO), IDYES);
    MessageBoxA(nullptr, nullptr, nullptr, MB_OK);
    const std::string printed = testing::internal::GetCapturedStderr();
    ASSERT_EQ(MessageBoxesShown().size(), 3u);
    EXPECT_EQ(MessageBoxesShown()[0].caption, "Quillmark");
    EXPECT_EQ(MessageBoxesShown()[0].text, "Could not generate Texture");
    EXPECT_EQ(MessageBoxesShown()[1].type, static_cast<UINT>(MB_YESNO));
    // On stderr each box is one line in the program's message form: "caption:
    // text", lower case first, without the closing full stop.
    EXPECT_EQ(printed, "quillmark: could not generate Texture\ntt: TT\nerror: \n");
    EXPECT_EQ(MessageBoxesShown()[2].caption, "Error");
    ClearMessageBoxes();
    EXPECT_TRUE(MessageBoxesShown().empty());
}

OPENFILENAMEA Request(char* buffer, DWORD size) {
    OPENFILENAMEA request{};
    request.lStructSize = sizeof request;
    request.lpstrFile = buffer;
    request.nMaxFile = size;
    return request;
}

TEST(OpenFileDialog, AnswersQueuedPathsThenCancels) {
    ClearOpenFileAnswers();
    QueueOpenFileAnswer("/data/textures/brick.dds");
    char name[260] = "";
    OPENFILENAMEA request = Request(name, sizeof name);
    ASSERT_TRUE(GetOpenFileNameA(&request));
    EXPECT_STREQ(name, "/data/textures/brick.dds");
    EXPECT_EQ(request.nFileOffset, 15);
    EXPECT_EQ(request.nFileExtension, 21);
    QueueOpenFileAnswer("/data.d/README");
    ASSERT_TRUE(GetOpenFileNameA(&request));
    EXPECT_EQ(request.nFileOffset, 8);
    EXPECT_EQ(request.nFileExtension, 14);  // no extension: the terminating zero
    EXPECT_FALSE(GetOpenFileNameA(&request));
    EXPECT_EQ(CommDlgExtendedError(), 0u);  // cancelled
}

TEST(OpenFileDialog, ReportsSmallBuffersAndBadRequests) {
    ClearOpenFileAnswers();
    QueueOpenFileAnswer("/a/very/long/name.png");
    char small[8] = "";
    OPENFILENAMEA request = Request(small, sizeof small);
    EXPECT_FALSE(GetOpenFileNameA(&request));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
    WORD needed = 0;
    std::memcpy(&needed, small, sizeof needed);
    EXPECT_EQ(needed, 22);
    request.lStructSize = 12;
    EXPECT_FALSE(GetOpenFileNameA(&request));
    EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(CDERR_STRUCTSIZE));
}

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(WindowImage, KeepsACopyOfTheLastImage) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = PlainProc;
    windowClass.lpszClassName = "QmImageWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "QmImageWindow", "", 0, 0, 0, 4, 4, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(GetWindowImage(window).width, 0);
    // Two rows of three pixels, pitch of four pixels.
    const std::uint32_t pixels[8] = {1, 2, 3, 0xDEAD, 4, 5, 6, 0xBEEF};
    ShowWindowImage(window, pixels, 3, 2, 16);
    WindowImage image = GetWindowImage(window);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.pixels, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(image.presentCount, 1u);
    ShowWindowImage(window, pixels, 3, 2, 8);  // pitch too small: ignored
    EXPECT_EQ(GetWindowImage(window).presentCount, 1u);
    DestroyWindow(window);
    EXPECT_EQ(GetWindowImage(window).width, 0);
    UnregisterClassA("QmImageWindow", nullptr);
}

}  // namespace
