// Drawing helpers for the reference device tests: screen-aligned quads with
// exact pixel positions, textures filled from functions, back-buffer reads.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "device_fixture.h"

namespace quillmark::software::testing {

struct TexturedVertex {
    float x, y, z, u, v;
};

class DrawTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(device->SetRenderState(D3DRS_LIGHTING, FALSE), S_OK);
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), S_OK);
        ASSERT_EQ(device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1), S_OK);
    }
    void TearDown() override {
        device->SetTexture(0, nullptr);
        device->SetStreamSource(0, nullptr, 0, 0);
        DeviceTest::TearDown();
    }

    // A clip-space vertex for screen position (sx, sy) of the 800 x 600 target.
    static TexturedVertex At(float sx, float sy, float z, float u, float v) {
        return {sx / 400.0f - 1.0f, 1.0f - sy / 300.0f, z, u, v};
    }

    // Sets a new vertex buffer holding the vertices as stream 0.
    void SetVertices(const std::vector<TexturedVertex>& vertices) {
        IDirect3DVertexBuffer9* buffer = nullptr;
        const UINT bytes = UINT(vertices.size() * sizeof(TexturedVertex));
        EXPECT_EQ(device->CreateVertexBuffer(bytes, 0, 0, D3DPOOL_DEFAULT, &buffer, nullptr), S_OK);
        void* data = nullptr;
        buffer->Lock(0, 0, &data, 0);
        std::memcpy(data, vertices.data(), bytes);
        buffer->Unlock();
        device->SetStreamSource(0, buffer, 0, sizeof(TexturedVertex));
        buffer->Release();
    }

    // Draws the vertices as one primitive of the type, in a scene of its own.
    HRESULT Draw(D3DPRIMITIVETYPE type, const std::vector<TexturedVertex>& vertices) {
        SetVertices(vertices);
        device->BeginScene();
        const auto count = UINT(type == D3DPT_TRIANGLELIST ? vertices.size() / 3 : vertices.size() - 2);
        const HRESULT hr = device->DrawPrimitive(type, 0, count);
        device->EndScene();
        return hr;
    }

    HRESULT DrawStrip(const std::vector<TexturedVertex>& vertices) { return Draw(D3DPT_TRIANGLESTRIP, vertices); }

    // Quad whose pixel edges are [left, right) x [top, bottom), texture
    // coordinates (u0, v0) at its top-left edge and (u1, v1) at its bottom-right.
    HRESULT DrawQuad(float left, float top, float right, float bottom, float u0, float v0, float u1, float v1,
                     float z = 0.5f) {
        const float l = left - 0.5f, t = top - 0.5f, r = right - 0.5f, b = bottom - 0.5f;
        return DrawStrip({At(l, t, z, u0, v0), At(r, t, z, u1, v0), At(l, b, z, u0, v1), At(r, b, z, u1, v1)});
    }

    // A managed texture whose level l texel (x, y) is texel(l, x, y).
    IDirect3DTexture9* MakeTexture(UINT width, UINT height, UINT levels,
                                   const std::function<std::uint32_t(UINT, UINT, UINT)>& texel,
                                   D3DFORMAT format = D3DFMT_X8R8G8B8) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(width, height, levels, 0, format, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
        for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
            D3DSURFACE_DESC desc{};
            texture->GetLevelDesc(level, &desc);
            D3DLOCKED_RECT locked{};
            texture->LockRect(level, &locked, nullptr, 0);
            for (UINT y = 0; y < desc.Height; ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                             std::size_t(y) * locked.Pitch);
                for (UINT x = 0; x < desc.Width; ++x) row[x] = texel(level, x, y);
            }
            texture->UnlockRect(level);
        }
        return texture;
    }

    void SetFilters(DWORD min, DWORD mag, DWORD mip, DWORD stage = 0) {
        device->SetSamplerState(stage, D3DSAMP_MINFILTER, min);
        device->SetSamplerState(stage, D3DSAMP_MAGFILTER, mag);
        device->SetSamplerState(stage, D3DSAMP_MIPFILTER, mip);
    }

    // The back buffer's pixels, row-major, a row its width (800 for the
    // application's target).
    std::vector<std::uint32_t> ReadBack() {
        IDirect3DSurface9* back = nullptr;
        device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        D3DSURFACE_DESC desc{};
        back->GetDesc(&desc);
        D3DLOCKED_RECT locked{};
        back->LockRect(&locked, nullptr, D3DLOCK_READONLY);
        std::vector<std::uint32_t> pixels(std::size_t(desc.Width) * desc.Height);
        for (UINT y = 0; y < desc.Height; ++y) {
            std::memcpy(&pixels[std::size_t(y) * desc.Width], static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch,
                        desc.Width * 4);
        }
        back->UnlockRect();
        back->Release();
        return pixels;
    }
};

inline std::uint32_t Rgb(std::uint32_t pixel) { return pixel & 0xFFFFFF; }

}  // namespace quillmark::software::testing
