// SurfaceLock and VolumeLock on the reference device: boxes, alignment of
// grouped pixels, the system-memory copy path and its write-back.
#include "device_fixture.h"
#include "texfile/surface_lock.h"

#include <gtest/gtest.h>

namespace quillmark {
namespace {

class SurfaceLockTest : public testing::DeviceTest {};

D3DBOX Box(UINT l, UINT t, UINT r, UINT b) { return D3DBOX{l, t, r, b, 0, 1}; }

void ExpectBox(const D3DBOX& actual, const D3DBOX& expected) {
    EXPECT_EQ(actual.Left, expected.Left);
    EXPECT_EQ(actual.Top, expected.Top);
    EXPECT_EQ(actual.Right, expected.Right);
    EXPECT_EQ(actual.Bottom, expected.Bottom);
    EXPECT_EQ(actual.Front, expected.Front);
    EXPECT_EQ(actual.Back, expected.Back);
}

TEST_F(SurfaceLockTest, WholeAndPartialLocksOfAPlainSurface) {
    IDirect3DSurface9* surface = Plain(16, 8, D3DFMT_X8R8G8B8);
    Fill(surface);
    SurfaceLock lock;
    SurfaceDesc desc;
    ASSERT_EQ(lock.Lock(desc, surface, nullptr, nullptr, 0x12345678, LOCK_READ_ONLY), S_OK);
    ExpectBox(desc.Box, Box(0, 0, 16, 8));
    ExpectBox(desc.Extent, Box(0, 0, 16, 8));
    EXPECT_EQ(desc.ColorKey, 0x12345678u);
    EXPECT_EQ(desc.Dither, 1u);
    EXPECT_EQ(*reinterpret_cast<DWORD*>(desc.Data), Pattern(0, 0));
    const RECT rect{3, 2, 9, 7};
    ASSERT_EQ(lock.Lock(desc, surface, nullptr, &rect, 0, LOCK_READ_ONLY), S_OK);
    // Partial: the box is relative to the locked rectangle, which starts at (3, 2).
    ExpectBox(desc.Box, Box(0, 0, 6, 5));
    ExpectBox(desc.Extent, Box(0, 0, 16, 8));
    EXPECT_EQ(*reinterpret_cast<DWORD*>(desc.Data), Pattern(3, 2));
    lock.Unlock();
    surface->Release();
}

TEST_F(SurfaceLockTest, RectanglesOutsideOrInvertedAreRefused) {
    IDirect3DSurface9* surface = Plain(16, 8, D3DFMT_X8R8G8B8);
    SurfaceLock lock;
    SurfaceDesc desc;
    for (const RECT& r : {RECT{5, 0, 4, 8}, RECT{0, 5, 16, 4}, RECT{-1, 0, 4, 4}, RECT{0, 0, 17, 8}, RECT{0, 0, 4, 9}})
        EXPECT_EQ(lock.Lock(desc, surface, nullptr, &r, 0, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(lock.Lock(desc, nullptr, nullptr, nullptr, 0, 0), D3DERR_INVALIDCALL);
    // The failed locks left the surface unlocked.
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(surface->LockRect(&locked, nullptr, 0), S_OK);
    surface->UnlockRect();
    surface->Release();
}

TEST_F(SurfaceLockTest, BlockCompressedRectanglesLockWholeBlocks) {
    IDirect3DSurface9* surface = Plain(16, 16, D3DFMT_DXT1);
    D3DLOCKED_RECT whole{};
    ASSERT_EQ(surface->LockRect(&whole, nullptr, D3DLOCK_READONLY), S_OK);
    surface->UnlockRect();
    SurfaceLock lock;
    SurfaceDesc desc;
    const RECT rect{5, 5, 10, 10};
    ASSERT_EQ(lock.Lock(desc, surface, nullptr, &rect, 0, LOCK_READ_ONLY), S_OK);
    // Locked (4, 4)-(12, 12): one block row and one 8-byte block in.
    ExpectBox(desc.Box, Box(1, 1, 6, 6));
    EXPECT_EQ(desc.Data, static_cast<BYTE*>(whole.pBits) + whole.Pitch + 8);
    const RECT corner{1, 1, 6, 6};
    ASSERT_EQ(lock.Lock(desc, surface, nullptr, &corner, 0, LOCK_READ_ONLY), S_OK);
    ExpectBox(desc.Box, Box(1, 1, 6, 6));  // locked (0, 0)-(8, 8)
    EXPECT_EQ(desc.Data, whole.pBits);
    lock.Unlock();
    surface->Release();
}

TEST_F(SurfaceLockTest, RectangleAlignedOutToTheWholeSurfaceLocksItWhole) {
    IDirect3DSurface9* surface = Plain(16, 16, D3DFMT_DXT3);
    SurfaceLock lock;
    SurfaceDesc desc;
    const RECT rect{2, 2, 16, 16};
    ASSERT_EQ(lock.Lock(desc, surface, nullptr, &rect, 0, LOCK_READ_ONLY), S_OK);
    ExpectBox(desc.Box, Box(2, 2, 16, 16));
    lock.Unlock();
    surface->Release();
}

TEST_F(SurfaceLockTest, PixelPairRectanglesStartAtAnEvenColumn) {
    IDirect3DSurface9* surface = nullptr;
    if (FAILED(device_->CreateOffscreenPlainSurface(8, 2, D3DFMT_YUY2, D3DPOOL_SYSTEMMEM, &surface, nullptr)))
        GTEST_SKIP() << "the device holds no YUY2 surfaces";
    SurfaceLock lock;
    SurfaceDesc desc;
    const RECT rect{3, 0, 5, 2};
    ASSERT_EQ(lock.Lock(desc, surface, nullptr, &rect, 0, LOCK_READ_ONLY), S_OK);
    ExpectBox(desc.Box, Box(1, 0, 3, 2));  // locked from x = 2 to 6
    lock.Unlock();
    surface->Release();
}

TEST_F(SurfaceLockTest, UnlockableRenderTargetIsReadThroughACopy) {
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(8, 4, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr),
              S_OK);
    D3DLOCKED_RECT direct{};
    ASSERT_NE(target->LockRect(&direct, nullptr, 0), S_OK);  // really not lockable
    IDirect3DSurface9* source = Plain(8, 4, D3DFMT_X8R8G8B8);
    Fill(source);
    ASSERT_EQ(device_->UpdateSurface(source, nullptr, target, nullptr), S_OK);

    SurfaceLock lock;
    SurfaceDesc desc;
    const RECT rect{1, 1, 5, 3};
    ASSERT_EQ(lock.Lock(desc, target, nullptr, &rect, 0, LOCK_READ_ONLY), S_OK);
    EXPECT_NE(lock.LockedSurface(), target);
    ExpectBox(desc.Box, Box(0, 0, 4, 2));
    EXPECT_EQ(*reinterpret_cast<DWORD*>(desc.Data), Pattern(1, 1));
    lock.Unlock();
    source->Release();
    target->Release();
}

TEST_F(SurfaceLockTest, WritingThroughACopyIsSentBackOnUnlock) {
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(4, 4, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr),
              S_OK);
    SurfaceLock lock;
    SurfaceDesc desc;
    const RECT rect{2, 2, 3, 3};
    ASSERT_EQ(lock.Lock(desc, target, nullptr, &rect, 0, 0), S_OK);
    *reinterpret_cast<DWORD*>(desc.Data) = 0xFFABCDEF;
    lock.Unlock();

    IDirect3DSurface9* readBack = Plain(4, 4, D3DFMT_X8R8G8B8);
    ASSERT_EQ(device_->GetRenderTargetData(target, readBack), S_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(readBack->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    EXPECT_EQ(*reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + 2 * locked.Pitch + 8), 0xFFABCDEFu);
    readBack->UnlockRect();
    readBack->Release();
    target->Release();
}

TEST_F(SurfaceLockTest, UnlockableBlockCompressedSurfacesUseAnExactLevelOfALargerCopy) {
    for (UINT size : {6u, 5u}) {
        // A 6x6 level is level 1 of a 12x12 texture, a 5x5 one level 2 of 20x20.
        const UINT levelIndex = size == 6 ? 1 : 2;
        IDirect3DTexture9* texture = nullptr;
        if (FAILED(device_->CreateTexture(size << levelIndex, size << levelIndex, levelIndex + 1, 0, D3DFMT_DXT1,
                                          D3DPOOL_DEFAULT, &texture, nullptr)))
            GTEST_SKIP() << "the device holds no DXT1 textures in D3DPOOL_DEFAULT";
        IDirect3DSurface9* level = nullptr;
        ASSERT_EQ(texture->GetSurfaceLevel(levelIndex, &level), S_OK);
        SurfaceLock lock;
        SurfaceDesc desc;
        // A whole-level write: a default-pool level has nothing to read back from.
        ASSERT_EQ(lock.Lock(desc, level, nullptr, nullptr, 0, 0), S_OK) << size;
        D3DSURFACE_DESC copy{};
        lock.LockedSurface()->GetDesc(&copy);
        EXPECT_EQ(copy.Width, size);
        EXPECT_EQ(copy.Pool, D3DPOOL_SYSTEMMEM);
        IDirect3DTexture9* container = nullptr;
        ASSERT_EQ(lock.LockedSurface()->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&container)),
                  S_OK);
        D3DSURFACE_DESC top{};
        container->GetLevelDesc(0, &top);
        EXPECT_EQ(top.Width, size == 6 ? 12u : 20u);
        EXPECT_EQ(container->GetLevelCount(), size == 6 ? 2u : 3u);
        container->Release();
        lock.Unlock();
        level->Release();
        texture->Release();
    }
}

TEST_F(SurfaceLockTest, CopySurfaceRowsNeedsTheSameFormatAndSize) {
    IDirect3DSurface9* a = Plain(4, 3, D3DFMT_X8R8G8B8);
    IDirect3DSurface9* b = Plain(4, 3, D3DFMT_X8R8G8B8);
    IDirect3DSurface9* c = Plain(5, 3, D3DFMT_X8R8G8B8);
    Fill(a);
    ASSERT_EQ(CopySurfaceRows(a, b), S_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(b->LockRect(&locked, nullptr, 0), S_OK);
    EXPECT_EQ(*reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + 2 * locked.Pitch + 12), Pattern(3, 2));
    b->UnlockRect();
    EXPECT_EQ(CopySurfaceRows(a, c), D3DERR_INVALIDCALL);
    a->Release(), b->Release(), c->Release();
}

TEST_F(SurfaceLockTest, VolumeLocksCheckBoxesAndPools) {
    IDirect3DVolumeTexture9* texture = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(8, 8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
    IDirect3DVolume9* volume = nullptr;
    ASSERT_EQ(texture->GetVolumeLevel(0, &volume), S_OK);
    VolumeLock lock;
    SurfaceDesc desc;
    const D3DBOX box{1, 2, 5, 6, 1, 3};
    ASSERT_EQ(lock.Lock(desc, volume, nullptr, &box, 0, LOCK_READ_ONLY), S_OK);
    EXPECT_EQ(desc.Box.Right, 4u);
    EXPECT_EQ(desc.Box.Back, 2u);
    EXPECT_EQ(desc.Extent.Back, 4u);
    EXPECT_GT(desc.SlicePitch, 0);
    const D3DBOX outside{0, 0, 8, 8, 0, 5};
    EXPECT_EQ(lock.Lock(desc, volume, nullptr, &outside, 0, 0), D3DERR_INVALIDCALL);
    volume->Release();
    texture->Release();

    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture, nullptr), S_OK);
    ASSERT_EQ(texture->GetVolumeLevel(0, &volume), S_OK);
    EXPECT_EQ(lock.Lock(desc, volume, nullptr, nullptr, 0, LOCK_READ_ONLY), D3DERR_INVALIDCALL);
    volume->Release();
    texture->Release();
}

}  // namespace
}  // namespace quillmark
