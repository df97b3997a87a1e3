// Devices by name (the reference device and the OpenGL devices) with the
// application's present parameters, and helpers that draw the same thing
// on each and read the frames back, for comparing the devices.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "../software/device_fixture.h"
#include "self_child.h"
#include "platform/d3d9/d3d9.h"
#include "devices/select/d3d9_select.h"

namespace quillmark::gl::testing {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

struct Vertex {
    float x, y, z, u, v;
};

// DescribeDevice in a child process: whether the device opens here, and why
// not. The driver is never loaded into this process, so that a command the
// test runs may fork its own children for devices (a driver's threads do not
// survive a fork, and a child of a process that has them can hang).
inline bool DeviceOpensApart(const std::string& name, std::string* error) {
    int ends[2];
    if (pipe(ends) != 0) {
        *error = "no pipe to a child process for the check of the device";
        return false;
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        std::string description, why;
        const bool opens = DescribeDevice(name, &description, &why);
        const std::string answer = (opens ? "1" : "0") + why;
        const ssize_t written = write(ends[1], answer.data(), answer.size());
        std::_Exit(written == ssize_t(answer.size()) ? 0 : 1);
    }
    close(ends[1]);
    std::string answer;
    char buffer[512];
    for (ssize_t got; child > 0 && (got = read(ends[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, std::size_t(got));
    close(ends[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    if (answer.empty()) {
        *error = "the check of the device in a child process gave no answer";
        return false;
    }
    *error = answer.substr(1);
    return answer[0] == '1';
}

// Skips the test when the OpenGL device cannot be opened on this machine.
#define QUILLMARK_REQUIRE_GL(name)                                                        \
    do {                                                                                  \
        std::string error_;                                                               \
        if (!::quillmark::gl::testing::DeviceOpensApart(name, &error_))                   \
            GTEST_SKIP() << "no OpenGL context through EGL here (" << error_ << ")";      \
    } while (0)

// Runs `check` in a child process of its own and expects it to return true
// (for what opens one driver after another; see ExpectInChild).
#define QUILLMARK_EXPECT_IN_CHILD(check) ::quillmark::test::ExpectInChild(check)

class Device {
public:
    explicit Device(const std::string& name) {
        std::string error;
        direct3d_ = CreateNamedDirect3D(name, &error);
        EXPECT_NE(direct3d_, nullptr) << error;
        if (!direct3d_) return;
        D3DPRESENT_PARAMETERS p = software::testing::ApplicationPresentParameters();
        EXPECT_EQ(direct3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                          D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &device_),
                  S_OK);
        if (!device_) return;
        device_->SetRenderState(D3DRS_LIGHTING, FALSE);
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device_->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
        device_->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    }
    ~Device() {
        if (device_) {
            device_->SetTexture(0, nullptr);
            device_->SetStreamSource(0, nullptr, 0, 0);
            EXPECT_EQ(device_->Release(), 0u);
        }
        if (direct3d_) direct3d_->Release();
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    IDirect3DDevice9* operator->() const { return device_; }
    IDirect3DDevice9* get() const { return device_; }

    // A clip-space vertex at screen position (sx, sy), pixel centres at integers.
    static Vertex At(float sx, float sy, float z, float u, float v) {
        return {sx / (kWidth / 2.0f) - 1.0f, 1.0f - sy / (kHeight / 2.0f), z, u, v};
    }

    HRESULT Draw(D3DPRIMITIVETYPE type, const std::vector<Vertex>& vertices) {
        IDirect3DVertexBuffer9* buffer = nullptr;
        const UINT bytes = UINT(vertices.size() * sizeof(Vertex));
        EXPECT_EQ(device_->CreateVertexBuffer(bytes, 0, 0, D3DPOOL_DEFAULT, &buffer, nullptr), S_OK);
        void* data = nullptr;
        buffer->Lock(0, 0, &data, 0);
        std::memcpy(data, vertices.data(), bytes);
        buffer->Unlock();
        device_->SetStreamSource(0, buffer, 0, sizeof(Vertex));
        buffer->Release();
        device_->BeginScene();
        const UINT primitives = type == D3DPT_TRIANGLELIST ? UINT(vertices.size() / 3) : UINT(vertices.size() - 2);
        const HRESULT hr = device_->DrawPrimitive(type, 0, primitives);
        device_->EndScene();
        return hr;
    }

    // A quad whose pixel edges are [left, right) x [top, bottom), texture
    // coordinates (u0, v0) at its top-left edge and (u1, v1) at its bottom-right.
    HRESULT DrawQuad(float left, float top, float right, float bottom, float u0, float v0, float u1, float v1,
                     float z = 0.5f) {
        const float l = left - 0.5f, t = top - 0.5f, r = right - 0.5f, b = bottom - 0.5f;
        return Draw(D3DPT_TRIANGLESTRIP, {At(l, t, z, u0, v0), At(r, t, z, u1, v0), At(l, b, z, u0, v1),
                                          At(r, b, z, u1, v1)});
    }

    // A managed 32-bit texture whose level l texel (x, y) is texel(l, x, y),
    // set on stage 0.
    void SetTexture(UINT size, UINT levels, const std::function<std::uint32_t(UINT, UINT, UINT)>& texel,
                    D3DFORMAT format = D3DFMT_X8R8G8B8) {
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(device_->CreateTexture(size, size, levels, 0, format, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
        for (UINT level = 0; level < levels; ++level) {
            D3DLOCKED_RECT locked{};
            ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), S_OK);
            const UINT side = std::max(1u, size >> level);
            for (UINT y = 0; y < side; ++y) {
                auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                             std::size_t(y) * locked.Pitch);
                for (UINT x = 0; x < side; ++x) row[x] = texel(level, x, y);
            }
            texture->UnlockRect(level);
        }
        device_->SetTexture(0, texture);
        texture->Release();
    }

    void SetFilters(DWORD min, DWORD mag, DWORD mip) {
        device_->SetSamplerState(0, D3DSAMP_MINFILTER, min);
        device_->SetSamplerState(0, D3DSAMP_MAGFILTER, mag);
        device_->SetSamplerState(0, D3DSAMP_MIPFILTER, mip);
    }

    // The back buffer, row after row, red in bits 16 to 23.
    std::vector<std::uint32_t> Frame() {
        std::vector<std::uint32_t> pixels(std::size_t(kWidth) * kHeight);
        IDirect3DSurface9* back = nullptr;
        device_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(back->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
        for (int y = 0; y < kHeight; ++y)
            std::memcpy(&pixels[std::size_t(y) * kWidth], static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch,
                        kWidth * 4);
        back->UnlockRect();
        back->Release();
        return pixels;
    }

private:
    IDirect3D9* direct3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

// Pixels on which two frames differ.
inline int Differences(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    int count = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) count += a[i] != b[i];
    return count;
}

}  // namespace quillmark::gl::testing
