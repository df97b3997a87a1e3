// DXT textures filled through the surface loader draw on the reference
// device exactly as the same pixels decoded to A8R8G8B8 do, in the managed
// and the default pool.
#include "../devices/software/draw_fixture.h"
#include "pixel/resample.h"
#include "texfile/surface_load.h"

namespace quillmark {
namespace {

class BlockTextureDraw : public software::testing::DrawTest {
protected:
    // A 64 x 64 picture with smooth and sharp changes and varying alpha.
    static std::uint32_t Picture(UINT x, UINT y) {
        const std::uint32_t alpha = (x * 4) & 0xFF, red = (x * 4 + y) & 0xFF, green = ((x / 8 + y / 8) % 2) * 200;
        return alpha << 24 | red << 16 | green << 8 | ((y * 4) & 0xFF);
    }

    // The texture filled from the picture through the surface loader.
    IDirect3DTexture9* Loaded(D3DFORMAT format, D3DPOOL pool) {
        std::vector<std::uint32_t> picture(64 * 64);
        for (UINT y = 0; y < 64; ++y)
            for (UINT x = 0; x < 64; ++x) picture[y * 64 + x] = Picture(x, y);
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(64, 64, 1, 0, format, pool, &texture, nullptr), S_OK) << format;
        if (texture == nullptr) return nullptr;
        IDirect3DSurface9* level = nullptr;
        texture->GetSurfaceLevel(0, &level);
        const RECT whole{0, 0, 64, 64};
        EXPECT_EQ(CopyMemoryToSurface(level, nullptr, nullptr, picture.data(), D3DFMT_A8R8G8B8, 64 * 4, nullptr, &whole,
                                      RESAMPLE_NONE, 0),
                  S_OK);
        level->Release();
        return texture;
    }

    // The texture's pixels decoded to A8R8G8B8, read through a managed copy.
    std::vector<std::uint32_t> Decoded(D3DFORMAT format) {
        IDirect3DTexture9* managed = Loaded(format, D3DPOOL_MANAGED);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(managed->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        std::vector<std::uint32_t> argb(64 * 64);
        SurfaceDesc from, to;
        from.Data = static_cast<BYTE*>(locked.pBits), from.Format = format, from.RowPitch = locked.Pitch;
        to.Data = reinterpret_cast<BYTE*>(argb.data()), to.Format = D3DFMT_A8R8G8B8, to.RowPitch = 64 * 4;
        from.Box = from.Extent = to.Box = to.Extent = {0, 0, 64, 64, 0, 1};
        EXPECT_EQ(RunConversion(to, from, RESAMPLE_NONE), S_OK);
        managed->UnlockRect(0);
        managed->Release();
        return argb;
    }

    // A slanted, magnified quad under linear filtering.
    std::vector<std::uint32_t> Frame(IDirect3DTexture9* texture) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        SetFilters(D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_NONE);
        device->SetTexture(0, texture);
        EXPECT_EQ(DrawStrip({At(100, 50, 0.5f, 0, 0), At(700, 120, 0.5f, 1.3f, 0), At(60, 560, 0.5f, 0, 1.1f),
                             At(740, 500, 0.5f, 1.3f, 1.1f)}),
                  S_OK);
        device->SetTexture(0, nullptr);
        return ReadBack();
    }
};

TEST_F(BlockTextureDraw, FramesEqualThoseOfTheDecodedPixels) {
    for (const D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT5}) {
        EXPECT_EQ(direct3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0,
                                              D3DRTYPE_TEXTURE, format),
                  S_OK);
        const std::vector<std::uint32_t> decoded = Decoded(format);
        IDirect3DTexture9* reference = MakeTexture(64, 64, 1, [&](UINT, UINT x, UINT y) { return decoded[y * 64 + x]; },
                                                   D3DFMT_A8R8G8B8);
        const std::vector<std::uint32_t> expected = Frame(reference);
        reference->Release();
        for (const D3DPOOL pool : {D3DPOOL_MANAGED, D3DPOOL_DEFAULT}) {
            IDirect3DTexture9* texture = Loaded(format, pool);
            ASSERT_NE(texture, nullptr);
            EXPECT_TRUE(Frame(texture) == expected) << format << " in pool " << pool;
            texture->Release();
        }
    }
}

}  // namespace
}  // namespace quillmark
