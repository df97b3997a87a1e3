// The device and its window: back-buffer size from the client area, and
// Present showing the back buffer in the window.
#include "device_fixture.h"
#include "platform/win32/window_image.h"
#include "platform/win32/windows.h"

namespace quillmark::software::testing {
namespace {

constexpr const char* kClass = "QmReferenceDeviceWindow";

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = kClass;
        ASSERT_NE(RegisterClassA(&windowClass), 0);
        window = CreateWindowExA(0, kClass, "", WS_OVERLAPPED, 0, 0, 320, 200, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        direct3d = CreateReferenceDirect3D();
    }
    void TearDown() override {
        if (device) device->Release();
        direct3d->Release();
        DestroyWindow(window);
        UnregisterClassA(kClass, nullptr);
    }

    HWND window = nullptr;
    IDirect3D9* direct3d = nullptr;
    IDirect3DDevice9* device = nullptr;
};

TEST_F(WindowTest, BackBufferTakesTheClientAreaAndPresentShowsIt) {
    RECT client{};
    ASSERT_TRUE(GetClientRect(window, &client));
    ASSERT_GT(client.right, 0);
    D3DPRESENT_PARAMETERS p = ApplicationPresentParameters();
    ASSERT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device), S_OK);
    EXPECT_EQ(p.BackBufferWidth, UINT(client.right - client.left));
    EXPECT_EQ(p.BackBufferHeight, UINT(client.bottom - client.top));
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060, 1.0f, 0), S_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
    const win32::WindowImage image = win32::GetWindowImage(window);
    ASSERT_EQ(image.width, int(p.BackBufferWidth));
    ASSERT_EQ(image.height, int(p.BackBufferHeight));
    EXPECT_EQ(image.pixels[5] & 0xFFFFFF, 0x204060u);
}

}  // namespace
}  // namespace quillmark::software::testing
