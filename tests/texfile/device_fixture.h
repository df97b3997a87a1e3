// A device created as the application creates it (Direct3DCreate9, a HAL
// device without a window, windowed present parameters), and small helpers
// to fill and read surfaces in tests.
#pragma once

#include "platform/d3d9/d3d9.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace quillmark::testing {

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        direct3d_ = Direct3DCreate9(31);
        ASSERT_NE(direct3d_, nullptr);
        D3DPRESENT_PARAMETERS p{};
        p.BackBufferFormat = D3DFMT_UNKNOWN;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.Windowed = TRUE;
        p.Flags = 0;  // the back buffer is not lockable
        ASSERT_EQ(direct3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                          D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device_),
                  S_OK);
    }
    void TearDown() override {
        if (device_ != nullptr) {
            EXPECT_EQ(device_->Release(), 0u);
        }
        if (direct3d_ != nullptr) direct3d_->Release();
    }

    IDirect3DSurface9* Plain(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool = D3DPOOL_SYSTEMMEM) {
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(device_->CreateOffscreenPlainSurface(width, height, format, pool, &surface, nullptr), S_OK);
        return surface;
    }

    // Fills a lockable 32-bit surface with Pattern(x, y).
    static void Fill(IDirect3DSurface9* surface) {
        D3DSURFACE_DESC desc{};
        surface->GetDesc(&desc);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK);
        for (UINT y = 0; y < desc.Height; ++y) {
            auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch);
            for (UINT x = 0; x < desc.Width; ++x) row[x] = Pattern(x, y);
        }
        surface->UnlockRect();
    }
    static DWORD Pattern(UINT x, UINT y) { return 0xFF000000u | (x * 7 % 256) << 16 | (y * 13 % 256) << 8 | 0x40; }

    IDirect3D9* direct3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

}  // namespace quillmark::testing
