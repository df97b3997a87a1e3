// Creation, capabilities, format checks, copies and presentation of the
// reference device.
#include <bit>
#include <cstdint>
#include <cstring>

#include "device_fixture.h"

namespace quillmark::software::testing {
namespace {

using ReferenceDeviceTest = DeviceTest;

TEST_F(ReferenceDeviceTest, PresentParametersAreResolvedAsForAWindow) {
    EXPECT_EQ(presentation.BackBufferWidth, 800u);
    EXPECT_EQ(presentation.BackBufferHeight, 600u);
    EXPECT_EQ(presentation.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(presentation.BackBufferCount, 1u);
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &back), S_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 800u);
    EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(desc.Usage, DWORD{D3DUSAGE_RENDERTARGET});
    back->Release();
}

TEST_F(ReferenceDeviceTest, CreateDeviceRefusesWhatItCannotDo) {
    IDirect3DDevice9* other = nullptr;
    D3DPRESENT_PARAMETERS p = ApplicationPresentParameters();
    p.Windowed = FALSE;
    EXPECT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &other),
              D3DERR_NOTAVAILABLE);
    p = ApplicationPresentParameters();
    p.AutoDepthStencilFormat = D3DFMT_D24S8;
    EXPECT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &other),
              D3DERR_NOTAVAILABLE);
    p = ApplicationPresentParameters();
    EXPECT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &p, &other), D3DERR_INVALIDCALL);
    EXPECT_EQ(direct3d->CreateDevice(1, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &other),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(other, nullptr);
}

TEST_F(ReferenceDeviceTest, CapsDescribeAModernDevice) {
    D3DCAPS9 caps{}, adapterCaps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), S_OK);
    ASSERT_EQ(direct3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &adapterCaps), S_OK);
    EXPECT_EQ(std::memcmp(&caps, &adapterCaps, sizeof caps), 0);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(caps.MaxAnisotropy, 16u);
    EXPECT_EQ(caps.MaxTextureBlendStages, 8u);
    EXPECT_EQ(caps.MaxSimultaneousTextures, 8u);
    EXPECT_EQ(caps.MaxTextureWidth, 8192u);
    EXPECT_EQ(caps.MaxVolumeExtent, 2048u);
    EXPECT_EQ(caps.TextureCaps & D3DPTEXTURECAPS_POW2, 0u);
    EXPECT_TRUE(caps.TextureCaps & D3DPTEXTURECAPS_MIPMAP);
    EXPECT_TRUE(caps.TextureFilterCaps & D3DPTFILTERCAPS_MINFANISOTROPIC);
    EXPECT_TRUE(caps.TextureAddressCaps & D3DPTADDRESSCAPS_WRAP);
}

TEST_F(ReferenceDeviceTest, DisplayModeAndCreationParameters) {
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(device->GetDisplayMode(0, &mode), S_OK);
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);
    D3DDEVICE_CREATION_PARAMETERS creation{};
    ASSERT_EQ(device->GetCreationParameters(&creation), S_OK);
    EXPECT_EQ(creation.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_EQ(creation.BehaviorFlags, DWORD{D3DCREATE_SOFTWARE_VERTEXPROCESSING});
    IDirect3D9* owner = nullptr;
    ASSERT_EQ(device->GetDirect3D(&owner), S_OK);
    EXPECT_EQ(owner, direct3d);
    owner->Release();
}

TEST_F(ReferenceDeviceTest, CheckDeviceFormatByUsage) {
    auto check = [&](DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) {
        return direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, type, format);
    };
    EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8), S_OK);
    EXPECT_EQ(check(D3DUSAGE_QUERY_FILTER, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8), S_OK);
    EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, D3DFMT_A8R8G8B8), S_OK);
    EXPECT_EQ(check(D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE, D3DFMT_R5G6B5), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(check(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D16), S_OK);
    EXPECT_EQ(check(0, D3DRTYPE_SURFACE, D3DFMT_D16), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(check(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_X8R8G8B8), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(check(0, D3DRTYPE_TEXTURE, D3DFMT_W11V11U10), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(check(D3DUSAGE_QUERY_SRGBREAD, D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, 0, D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8),
              D3DERR_NOTAVAILABLE);
}

TEST_F(ReferenceDeviceTest, EveryFormatReportedForTexturesCanBeCreatedAndLocked) {
    for (DWORD id = 1; id < 200; ++id) {
        const auto format = static_cast<D3DFORMAT>(id);
        if (direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, format) != S_OK)
            continue;
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(device->CreateTexture(8, 8, 0, 0, format, D3DPOOL_MANAGED, &texture, nullptr), S_OK) << id;
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(texture->LockRect(3, &locked, nullptr, 0), S_OK) << id;
        texture->UnlockRect(3);
        texture->Release();
    }
}

TEST_F(ReferenceDeviceTest, UpdateTextureCopiesMatchingLevels) {
    IDirect3DTexture9* staging = nullptr;
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 4, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &staging, nullptr), S_OK);
    ASSERT_EQ(device->CreateTexture(4, 4, 3, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr), S_OK);
    for (UINT level = 0; level < 4; ++level) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(staging->LockRect(level, &locked, nullptr, 0), S_OK);
        *static_cast<std::uint32_t*>(locked.pBits) = 0xA0 + level;
        staging->UnlockRect(level);
    }
    ASSERT_EQ(device->UpdateTexture(staging, target), S_OK);
    IDirect3DSurface9* level1 = nullptr;
    IDirect3DSurface9* copy = nullptr;
    ASSERT_EQ(target->GetSurfaceLevel(1, &level1), S_OK);
    ASSERT_EQ(device->CreateOffscreenPlainSurface(2, 2, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &copy, nullptr), S_OK);
    ASSERT_EQ(device->StretchRect(level1, nullptr, copy, nullptr, D3DTEXF_NONE), S_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(*static_cast<std::uint32_t*>(locked.pBits), 0xA2u) << "target level 1 is source level 2";
    copy->UnlockRect();
    copy->Release();
    level1->Release();
    EXPECT_EQ(device->UpdateTexture(target, staging), D3DERR_INVALIDCALL) << "only system memory to default";
    staging->Release();
    target->Release();
}

TEST_F(ReferenceDeviceTest, UpdateSurfaceAndGetRenderTargetData) {
    IDirect3DSurface9* source = nullptr;
    IDirect3DSurface9* target = nullptr;
    IDirect3DSurface9* readBack = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(4, 4, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &source, nullptr), S_OK);
    ASSERT_EQ(device->CreateRenderTarget(8, 8, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr),
              S_OK);
    ASSERT_EQ(device->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &readBack, nullptr),
              S_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(source->LockRect(&locked, nullptr, 0), S_OK);
    static_cast<std::uint32_t*>(locked.pBits)[1 * 4 + 2] = 0xCAFE;
    source->UnlockRect();
    const RECT from{2, 1, 4, 3};
    const POINT to{5, 6};
    ASSERT_EQ(device->UpdateSurface(source, &from, target, &to), S_OK);
    const POINT outside{7, 6};
    EXPECT_EQ(device->UpdateSurface(source, &from, target, &outside), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->GetRenderTargetData(target, readBack), S_OK);
    ASSERT_EQ(readBack->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(static_cast<std::uint32_t*>(locked.pBits)[6 * 8 + 5], 0xCAFEu);
    readBack->UnlockRect();
    EXPECT_EQ(device->GetRenderTargetData(target, source), D3DERR_INVALIDCALL) << "sizes differ";
    source->Release();
    target->Release();
    readBack->Release();
}

TEST_F(ReferenceDeviceTest, StretchRectScalesWithPointAndLinear) {
    IDirect3DSurface9* source = nullptr;
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(2, 1, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &source, nullptr), S_OK);
    ASSERT_EQ(device->CreateRenderTarget(4, 1, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, TRUE, &target, nullptr), S_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(source->LockRect(&locked, nullptr, 0), S_OK);
    static_cast<std::uint32_t*>(locked.pBits)[0] = 0x00000000;
    static_cast<std::uint32_t*>(locked.pBits)[1] = 0x000000FF;
    source->UnlockRect();
    auto read = [&](int x) {
        D3DLOCKED_RECT l{};
        target->LockRect(&l, nullptr, D3DLOCK_READONLY);
        const std::uint32_t value = static_cast<std::uint32_t*>(l.pBits)[x];
        target->UnlockRect();
        return value;
    };
    ASSERT_EQ(device->StretchRect(source, nullptr, target, nullptr, D3DTEXF_POINT), S_OK);
    EXPECT_EQ(read(0), 0u);
    EXPECT_EQ(read(1), 0u);
    EXPECT_EQ(read(2), 0xFFu);
    ASSERT_EQ(device->StretchRect(source, nullptr, target, nullptr, D3DTEXF_LINEAR), S_OK);
    // Destination centres 0.5, 1.5, 2.5, 3.5 map to source x 0.25 - 0.5 ... : weights 0, 1/4, 3/4, 1.
    EXPECT_EQ(read(0), 0u);
    EXPECT_EQ(read(1), 64u);  // 255 / 4 = 63.75
    EXPECT_EQ(read(2), 191u);
    EXPECT_EQ(read(3), 0xFFu);
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), S_OK);
    IDirect3DSurface9* level = nullptr;
    texture->GetSurfaceLevel(0, &level);
    EXPECT_EQ(device->StretchRect(source, nullptr, level, nullptr, D3DTEXF_NONE), D3DERR_INVALIDCALL)
        << "a plain texture is no StretchRect destination";
    level->Release();
    texture->Release();
    source->Release();
    target->Release();
}

TEST_F(ReferenceDeviceTest, SceneNestingIsChecked) {
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->BeginScene(), S_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), S_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), S_OK);
}

TEST_F(ReferenceDeviceTest, ClearFillsTheViewportOnly) {
    const D3DVIEWPORT9 viewport{10, 20, 30, 40, 0.0f, 1.0f};
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), S_OK);
    ASSERT_EQ(device->SetViewport(&viewport), S_OK);
    const D3DRECT rect{0, 0, 15, 25};
    ASSERT_EQ(device->Clear(1, &rect, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF123456, 0.5f, 0), S_OK);
    IDirect3DSurface9* back = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(back->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    auto at = [&](int x, int y) { return static_cast<std::uint32_t*>(locked.pBits)[y * 800 + x]; };
    EXPECT_EQ(at(10, 20), 0xFF123456u);
    EXPECT_EQ(at(14, 24), 0xFF123456u);
    EXPECT_EQ(at(15, 24), 0xFF000000u);
    EXPECT_EQ(at(9, 20), 0xFF000000u);
    back->UnlockRect();
    back->Release();
    EXPECT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
}

TEST_F(ReferenceDeviceTest, StatesStartAtTheirDirect3DDefaults) {
    DWORD value = 0;
    device->GetSamplerState(5, D3DSAMP_ADDRESSV, &value);
    EXPECT_EQ(value, DWORD{D3DTADDRESS_WRAP});
    device->GetSamplerState(0, D3DSAMP_MINFILTER, &value);
    EXPECT_EQ(value, DWORD{D3DTEXF_POINT});
    device->GetSamplerState(0, D3DSAMP_MIPFILTER, &value);
    EXPECT_EQ(value, DWORD{D3DTEXF_NONE});
    device->GetSamplerState(7, D3DSAMP_MAXANISOTROPY, &value);
    EXPECT_EQ(value, 1u);
    device->GetTextureStageState(0, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, DWORD{D3DTOP_MODULATE});
    device->GetTextureStageState(0, D3DTSS_ALPHAOP, &value);
    EXPECT_EQ(value, DWORD{D3DTOP_SELECTARG1});
    device->GetTextureStageState(1, D3DTSS_COLOROP, &value);
    EXPECT_EQ(value, DWORD{D3DTOP_DISABLE});
    device->GetTextureStageState(6, D3DTSS_TEXCOORDINDEX, &value);
    EXPECT_EQ(value, 6u);
    device->GetRenderState(D3DRS_ZENABLE, &value);
    EXPECT_EQ(value, DWORD{D3DZB_TRUE});
    device->GetRenderState(D3DRS_CULLMODE, &value);
    EXPECT_EQ(value, DWORD{D3DCULL_CCW});
    EXPECT_EQ(device->SetSamplerState(8, D3DSAMP_MINFILTER, 1), D3DERR_INVALIDCALL);
    const float bias = -2.5f;
    ASSERT_EQ(device->SetSamplerState(2, D3DSAMP_MIPMAPLODBIAS, std::bit_cast<DWORD>(bias)), S_OK);
    device->GetSamplerState(2, D3DSAMP_MIPMAPLODBIAS, &value);
    EXPECT_EQ(std::bit_cast<float>(value), bias);
}

TEST_F(ReferenceDeviceTest, FaultSwitchFailsTheNextPresents) {
    const unsigned long long before = PresentCount();
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
    FailNextPresents(2);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    CreateWith(ApplicationPresentParameters());  // the switch outlives the device
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(PresentCount(), before + 2);
}

}  // namespace
}  // namespace quillmark::software::testing
