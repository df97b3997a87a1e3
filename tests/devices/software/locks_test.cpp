// Lock rules, pitches and lock rectangles of the reference device's resources.
#include <cstdint>
#include <cstring>

#include "device_fixture.h"

namespace quillmark::software::testing {
namespace {

class LockTest : public DeviceTest {
protected:
    IDirect3DTexture9* MakeTexture(UINT size, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(size, size, levels, usage, format, pool, &texture, nullptr), S_OK);
        return texture;
    }
};

TEST_F(LockTest, TexturesLockByPoolAndUsage) {
    struct Case {
        D3DPOOL pool;
        DWORD usage;
        bool lockable;
    } cases[] = {
        {D3DPOOL_MANAGED, 0, true},          {D3DPOOL_SYSTEMMEM, 0, true},
        {D3DPOOL_SCRATCH, 0, true},          {D3DPOOL_DEFAULT, 0, false},
        {D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC, true}, {D3DPOOL_DEFAULT, D3DUSAGE_RENDERTARGET, false},
    };
    for (const Case& c : cases) {
        IDirect3DTexture9* texture = MakeTexture(16, 1, c.usage, D3DFMT_X8R8G8B8, c.pool);
        ASSERT_NE(texture, nullptr);
        D3DLOCKED_RECT locked{};
        const HRESULT hr = texture->LockRect(0, &locked, nullptr, 0);
        EXPECT_EQ(hr, c.lockable ? S_OK : D3DERR_INVALIDCALL) << "pool " << c.pool << " usage " << c.usage;
        if (SUCCEEDED(hr)) {
            EXPECT_EQ(texture->UnlockRect(0), S_OK);
        }
        texture->Release();
    }
}

TEST_F(LockTest, ManagedTexturesRefuseDynamicAndRenderTargetUsage) {
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture,
                                    nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
}

TEST_F(LockTest, DoubleLockFailsAndUnlockWithoutLockFails) {
    IDirect3DTexture9* texture = MakeTexture(8, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), S_OK);
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), S_OK) << "other levels lock independently";
    EXPECT_EQ(texture->UnlockRect(1), S_OK);
    EXPECT_EQ(texture->UnlockRect(0), S_OK);
    EXPECT_EQ(texture->LockRect(2, &locked, nullptr, 0), D3DERR_INVALIDCALL) << "no such level";
    texture->Release();
}

TEST_F(LockTest, PitchIsWholeBlocksRoundedToFourBytes) {
    struct Case {
        D3DFORMAT format;
        UINT width;
        INT pitch;
    } cases[] = {
        {D3DFMT_X8R8G8B8, 13, 52}, {D3DFMT_R8G8B8, 5, 16}, {D3DFMT_L8, 3, 4},
        {D3DFMT_R5G6B5, 3, 8},     {D3DFMT_DXT1, 10, 24},  {D3DFMT_DXT5, 4, 16},
        {D3DFMT_YUY2, 3, 8},       {D3DFMT_A32B32G32R32F, 2, 32},
    };
    for (const Case& c : cases) {
        IDirect3DSurface9* surface = nullptr;
        ASSERT_EQ(device->CreateOffscreenPlainSurface(c.width, 8, c.format, D3DPOOL_SCRATCH, &surface, nullptr), S_OK)
            << c.format;
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK);
        EXPECT_EQ(locked.Pitch, c.pitch) << "format " << c.format;
        surface->UnlockRect();
        surface->Release();
    }
}

TEST_F(LockTest, SubRectangleLockPointsAtItsFirstPixel) {
    IDirect3DTexture9* texture = MakeTexture(16, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED);
    D3DLOCKED_RECT whole{};
    ASSERT_EQ(texture->LockRect(0, &whole, nullptr, 0), S_OK);
    static_cast<std::uint32_t*>(whole.pBits)[3 * 16 + 5] = 0x12345678;
    texture->UnlockRect(0);
    const RECT rect{5, 3, 9, 7};
    D3DLOCKED_RECT part{};
    ASSERT_EQ(texture->LockRect(0, &part, &rect, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(part.Pitch, 64);
    EXPECT_EQ(*static_cast<std::uint32_t*>(part.pBits), 0x12345678u);
    texture->UnlockRect(0);
    texture->Release();
}

TEST_F(LockTest, BadRectanglesAreRefused) {
    IDirect3DTexture9* texture = MakeTexture(16, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED);
    const RECT bad[] = {{0, 0, 17, 4}, {4, 4, 4, 8}, {-1, 0, 4, 4}, {8, 8, 2, 2}};
    for (const RECT& rect : bad) {
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(texture->LockRect(0, &locked, &rect, 0), D3DERR_INVALIDCALL);
    }
    texture->Release();
}

TEST_F(LockTest, BlockFormatsLockInWholeBlocks) {
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(16, 10, D3DFMT_DXT1, D3DPOOL_SCRATCH, &surface, nullptr), S_OK);
    D3DLOCKED_RECT whole{}, part{};
    ASSERT_EQ(surface->LockRect(&whole, nullptr, 0), S_OK);
    surface->UnlockRect();
    const RECT aligned{4, 8, 16, 10};  // the bottom may end inside the last block row at the edge
    ASSERT_EQ(surface->LockRect(&part, &aligned, 0), S_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(part.pBits) - static_cast<std::uint8_t*>(whole.pBits), 2 * 32 + 8);
    surface->UnlockRect();
    const RECT unaligned[] = {{2, 0, 8, 4}, {0, 0, 6, 4}, {0, 1, 4, 4}};
    for (const RECT& rect : unaligned) EXPECT_EQ(surface->LockRect(&part, &rect, 0), D3DERR_INVALIDCALL);
    surface->Release();
}

TEST_F(LockTest, BackBufferLockableOnlyWhenAskedFor) {
    IDirect3DSurface9* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), S_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(back->LockRect(&locked, nullptr, 0), S_OK);
    EXPECT_EQ(locked.Pitch, 800 * 4);
    back->UnlockRect();
    back->Release();

    D3DPRESENT_PARAMETERS p = ApplicationPresentParameters();
    p.Flags = 0;
    CreateWith(p);
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), S_OK);
    EXPECT_EQ(back->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
    back->Release();
}

TEST_F(LockTest, RenderTargetsLockOnlyWhenCreatedLockable) {
    for (BOOL lockable : {FALSE, TRUE}) {
        IDirect3DSurface9* target = nullptr;
        ASSERT_EQ(device->CreateRenderTarget(32, 32, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, lockable, &target,
                                             nullptr),
                  S_OK);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(target->LockRect(&locked, nullptr, 0), lockable ? S_OK : D3DERR_INVALIDCALL);
        if (lockable) target->UnlockRect();
        target->Release();
    }
}

TEST_F(LockTest, DepthBufferD16IsNotLockable) {
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device->GetDepthStencilSurface(&depth), S_OK);
    D3DSURFACE_DESC desc{};
    depth->GetDesc(&desc);
    EXPECT_EQ(desc.Format, D3DFMT_D16);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(depth->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
    depth->Release();
}

TEST_F(LockTest, VolumeLockGivesRowAndSlicePitch) {
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device->CreateVolumeTexture(8, 4, 3, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr), S_OK);
    EXPECT_EQ(volume->GetLevelCount(), 4u);
    D3DLOCKED_BOX whole{}, part{};
    ASSERT_EQ(volume->LockBox(0, &whole, nullptr, 0), S_OK);
    EXPECT_EQ(whole.RowPitch, 32);
    EXPECT_EQ(whole.SlicePitch, 128);
    volume->UnlockBox(0);
    const D3DBOX box{1, 2, 3, 4, 2, 3};
    ASSERT_EQ(volume->LockBox(0, &part, &box, 0), S_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(part.pBits) - static_cast<std::uint8_t*>(whole.pBits), 2 * 128 + 2 * 32 + 4);
    volume->UnlockBox(0);
    const D3DBOX outside{0, 0, 8, 4, 0, 4};
    EXPECT_EQ(volume->LockBox(0, &part, &outside, 0), D3DERR_INVALIDCALL);
    D3DVOLUME_DESC desc{};
    ASSERT_EQ(volume->GetLevelDesc(2, &desc), S_OK);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_EQ(desc.Depth, 1u);
    volume->Release();
}

TEST_F(LockTest, VertexBuffersLockInTheDefaultPool) {
    IDirect3DVertexBuffer9* buffer = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(80, 0, 0, D3DPOOL_DEFAULT, &buffer, nullptr), S_OK);
    void* whole = nullptr;
    void* part = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &whole, 0), S_OK);
    ASSERT_EQ(buffer->Unlock(), S_OK);
    ASSERT_EQ(buffer->Lock(20, 40, &part, 0), S_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(part) - static_cast<std::uint8_t*>(whole), 20);
    buffer->Unlock();
    EXPECT_EQ(buffer->Lock(60, 40, &part, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Unlock(), D3DERR_INVALIDCALL);
    buffer->Release();
}

}  // namespace
}  // namespace quillmark::software::testing
