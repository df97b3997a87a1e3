// The load operations on the reference device: conversions from memory and
// between surfaces and volumes, and the refusals of bad rectangles.
#include "device_fixture.h"
#include "pixel/surface_desc.h"
#include "texfile/surface_load.h"
#include "texfile/texture_constants.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillmark {
namespace {

class SurfaceLoadTest : public testing::DeviceTest {
protected:
    static DWORD At(IDirect3DSurface9* surface, UINT x, UINT y) {
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), S_OK);
        const DWORD value = *reinterpret_cast<const DWORD*>(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + 4 * x);
        surface->UnlockRect();
        return value;
    }
};

TEST_F(SurfaceLoadTest, MemoryToSurfaceConvertsTheFormat) {
    IDirect3DSurface9* surface = Plain(2, 2, D3DFMT_X8R8G8B8);
    // R5G6B5: pure red, pure green, pure blue, white.
    const WORD source[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
    const RECT rect{0, 0, 2, 2};
    ASSERT_EQ(CopyMemoryToSurface(surface, nullptr, nullptr, source, D3DFMT_R5G6B5, 4, nullptr, &rect,
                                  RESAMPLE_NONE, 0),
              S_OK);
    EXPECT_EQ(At(surface, 0, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(At(surface, 1, 0) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(At(surface, 0, 1) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(At(surface, 1, 1) & 0xFFFFFF, 0xFFFFFFu);
    surface->Release();
}

TEST_F(SurfaceLoadTest, SourceRectangleAddressesTheMemoryImage) {
    IDirect3DSurface9* surface = Plain(1, 1, D3DFMT_X8R8G8B8);
    std::vector<DWORD> image(4 * 3);
    for (DWORD i = 0; i < image.size(); ++i) image[i] = 0xFF000000 | i;
    const RECT rect{2, 1, 3, 2};
    ASSERT_EQ(CopyMemoryToSurface(surface, nullptr, nullptr, image.data(), D3DFMT_A8R8G8B8, 16, nullptr, &rect,
                                  TEX_AUTO, 0),
              S_OK);
    EXPECT_EQ(At(surface, 0, 0) & 0xFFFFFF, 6u);
    surface->Release();
}

TEST_F(SurfaceLoadTest, InvertedSourceRectanglesFailAndLeaveTheSurfaceAlone) {
    IDirect3DSurface9* surface = Plain(2, 2, D3DFMT_X8R8G8B8);
    Fill(surface);
    const DWORD source[4] = {};
    for (const RECT& bad : {RECT{2, 0, 1, 2}, RECT{0, 2, 2, 1}, RECT{-1, 0, 1, 1}}) {
        EXPECT_EQ(CopyMemoryToSurface(surface, nullptr, nullptr, source, D3DFMT_X8R8G8B8, 8, nullptr, &bad,
                                      RESAMPLE_NONE, 0),
                  D3DERR_INVALIDCALL);
    }
    EXPECT_EQ(CopyMemoryToSurface(surface, nullptr, nullptr, source, D3DFMT_X8R8G8B8, 8, nullptr, nullptr,
                                  RESAMPLE_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(At(surface, 1, 1), Pattern(1, 1));
    surface->Release();
}

TEST_F(SurfaceLoadTest, EmptyDestinationIsDoneWithoutWork) {
    IDirect3DSurface9* surface = Plain(2, 2, D3DFMT_X8R8G8B8);
    Fill(surface);
    const DWORD source[4] = {};
    const RECT empty{1, 1, 1, 2};
    const RECT rect{0, 0, 2, 2};
    EXPECT_EQ(CopyMemoryToSurface(surface, nullptr, &empty, source, D3DFMT_X8R8G8B8, 8, nullptr, &rect,
                                  RESAMPLE_NONE, 0),
              S_OK);
    EXPECT_EQ(At(surface, 1, 1), Pattern(1, 1));
    surface->Release();
}

TEST_F(SurfaceLoadTest, SurfaceToSurfaceWithAndWithoutDeviceCopy) {
    IDirect3DSurface9* source = Plain(4, 4, D3DFMT_X8R8G8B8);
    Fill(source);
    IDirect3DSurface9* target = nullptr;
    ASSERT_EQ(device_->CreateRenderTarget(4, 4, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr),
              S_OK);
    // System memory to the default pool: a device copy.
    ASSERT_EQ(CopySurfaceToSurface(target, nullptr, nullptr, source, nullptr, nullptr, RESAMPLE_NONE, 0), S_OK);
    IDirect3DSurface9* back = Plain(4, 4, D3DFMT_X8R8G8B8);
    // Default pool to system memory, halved with the box filter: through locks and copies.
    const RECT half{0, 0, 2, 2};
    ASSERT_EQ(CopySurfaceToSurface(back, nullptr, &half, target, nullptr, nullptr, RESAMPLE_BOX, 0), S_OK);
    const DWORD expectedRed = (Pattern(0, 0) >> 16 & 0xFF) / 2 + (Pattern(1, 0) >> 16 & 0xFF) / 2;
    EXPECT_NEAR(static_cast<double>(At(back, 0, 0) >> 16 & 0xFF), expectedRed, 1.0);
    EXPECT_EQ(At(back, 0, 0) & 0xFF, 0x40u);
    back->Release();
    target->Release();
    source->Release();
}

TEST_F(SurfaceLoadTest, SurfaceOntoItselfReadsFromASnapshot) {
    IDirect3DSurface9* surface = Plain(4, 1, D3DFMT_X8R8G8B8);
    Fill(surface);
    const RECT from{0, 0, 3, 1};
    const RECT to{1, 0, 4, 1};
    ASSERT_EQ(CopySurfaceToSurface(surface, nullptr, &to, surface, nullptr, &from, RESAMPLE_POINT, 0), S_OK);
    EXPECT_EQ(At(surface, 1, 0), Pattern(0, 0));
    EXPECT_EQ(At(surface, 2, 0), Pattern(1, 0));
    EXPECT_EQ(At(surface, 3, 0), Pattern(2, 0));
    surface->Release();
}

TEST_F(SurfaceLoadTest, VolumesFromMemoryAndFromVolumes) {
    IDirect3DVolumeTexture9* a = nullptr;
    IDirect3DVolumeTexture9* b = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(2, 2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &a, nullptr), S_OK);
    ASSERT_EQ(device_->CreateVolumeTexture(2, 2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &b, nullptr), S_OK);
    IDirect3DVolume9 *va = nullptr, *vb = nullptr;
    a->GetVolumeLevel(0, &va);
    b->GetVolumeLevel(0, &vb);
    DWORD source[8];
    for (DWORD i = 0; i < 8; ++i) source[i] = 0xFF000000 | (i * 0x111111);
    const D3DBOX box{0, 0, 2, 2, 0, 2};
    ASSERT_EQ(CopyMemoryToVolume(va, nullptr, nullptr, source, D3DFMT_A8R8G8B8, 8, 16, nullptr, &box, RESAMPLE_NONE,
                                 0),
              S_OK);
    ASSERT_EQ(CopyVolumeToVolume(vb, nullptr, nullptr, va, nullptr, nullptr, RESAMPLE_NONE, 0), S_OK);
    D3DLOCKED_BOX locked{};
    ASSERT_EQ(vb->LockBox(&locked, nullptr, D3DLOCK_READONLY), S_OK);
    const auto* slice1 = static_cast<const BYTE*>(locked.pBits) + locked.SlicePitch;
    EXPECT_EQ(*reinterpret_cast<const DWORD*>(slice1 + locked.RowPitch + 4), source[7]);
    vb->UnlockBox();
    const D3DBOX inverted{1, 0, 0, 2, 0, 2};
    EXPECT_EQ(CopyMemoryToVolume(va, nullptr, nullptr, source, D3DFMT_A8R8G8B8, 8, 16, nullptr, &inverted,
                                 RESAMPLE_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(CopyVolumeToVolume(nullptr, nullptr, nullptr, va, nullptr, nullptr, RESAMPLE_NONE, 0),
              D3DERR_INVALIDCALL);
    va->Release(), vb->Release(), a->Release(), b->Release();
}

}  // namespace
}  // namespace quillmark
