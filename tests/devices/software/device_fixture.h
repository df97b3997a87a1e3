// A reference device created as the application creates it, for tests.
#pragma once

#include <gtest/gtest.h>

#include "platform/d3d9/d3d9.h"
#include "devices/core/direct3d.h"
#include "devices/software/software_direct3d.h"

namespace quillmark::software::testing {

using namespace core;

inline D3DPRESENT_PARAMETERS ApplicationPresentParameters() {
    D3DPRESENT_PARAMETERS p{};
    p.BackBufferFormat = D3DFMT_UNKNOWN;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.Windowed = TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return p;
}

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override { CreateWith(ApplicationPresentParameters()); }
    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (direct3d) {
            EXPECT_EQ(direct3d->Release(), 0u);
        }
    }

    void CreateWith(D3DPRESENT_PARAMETERS parameters) {
        if (device) device->Release();
        device = nullptr;
        if (!direct3d) direct3d = CreateReferenceDirect3D();
        presentation = parameters;
        ASSERT_EQ(direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                         D3DCREATE_SOFTWARE_VERTEXPROCESSING, &presentation, &device),
                  S_OK);
    }

    IDirect3D9* direct3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DPRESENT_PARAMETERS presentation{};
};

// Current reference count of an object (AddRef then Release).
inline ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

}  // namespace quillmark::software::testing
