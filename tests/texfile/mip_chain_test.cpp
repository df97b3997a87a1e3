// Filling textures, volume textures and cube textures from decoded images
// built in the test, and rebuilding mip levels: what each level holds,
// worked out by hand or from the level above.
#include "imagecodec/decoded_image.h"
#include "texfile/mip_chain.h"
#include "pixel/surface_desc.h"
#include "texfile/surface_load.h"
#include "texfile/texture_constants.h"
#include "texture_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace quillmark {
namespace {

using testing::LevelTexels;

// A decoded X8R8G8B8 image over pixels the test keeps.
struct BuiltImage {
    std::vector<std::uint32_t> pixels;
    std::unique_ptr<DecodedImage> record = std::make_unique<DecodedImage>();

    BuiltImage(UINT width, UINT height, UINT depth, const std::function<std::uint32_t(UINT, UINT, UINT)>& texel) {
        pixels.resize(static_cast<std::size_t>(width) * height * depth);
        for (UINT z = 0; z < depth; ++z)
            for (UINT y = 0; y < height; ++y)
                for (UINT x = 0; x < width; ++x) pixels[(z * height + y) * width + x] = texel(x, y, z);
        DecodedImage& r = *record;
        r.format = D3DFMT_X8R8G8B8;
        r.pixels = reinterpret_cast<BYTE*>(pixels.data());
        r.width = width, r.height = height, r.depth = depth;
        r.rowPitch = width * 4;
        r.slicePitch = width * height * 4;
        r.box = D3DBOX{0, 0, width, height, 0, depth};
    }
};

// Columns 0, 0, 255, 255, ... in red: a 2:1 box halving gives 0, 255, ...
// exactly, any wider filter blurs them.
std::uint32_t PairedColumns(UINT x, UINT, UINT) { return (x / 2) % 2 == 0 ? 0xFF000000u : 0xFFFF0000u; }

bool IsBoxHalvingOfPairedColumns(const std::vector<std::uint32_t>& level, UINT width) {
    for (std::size_t i = 0; i < level.size(); ++i)
        if ((level[i] & 0xFFFFFF) != ((i % width) % 2 == 0 ? 0u : 0xFF0000u)) return false;
    return true;
}

class MipChainTest : public testing::DeviceTest {
protected:
    IDirect3DTexture9* Texture(UINT width, UINT height, UINT levels) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device_->CreateTexture(width, height, levels, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture,
                                         nullptr),
                  S_OK);
        return texture;
    }
    static MipChainSource Source(const DecodedImage& image, UINT levels, DWORD mipFilter = RESAMPLE_BOX) {
        MipChainSource source;
        source.image = &image;
        source.imageLevels = levels;
        source.filter = RESAMPLE_TRIANGLE | RESAMPLE_DITHER;
        source.mipFilter = mipFilter;
        source.imagePalette = palette_;
        return source;
    }
    static inline PALETTEENTRY palette_[256] = {};
};

TEST_F(MipChainTest, MissingLevelsComeFromTheLevelAboveOrFromTheImageAsTheMipFilterSays) {
    BuiltImage image(16, 16, 1, PairedColumns);
    IDirect3DTexture9* chained = Texture(16, 16, 0);
    ASSERT_EQ(LoadMipChain(chained, Source(*image.record, 1)), S_OK);
    EXPECT_TRUE(IsBoxHalvingOfPairedColumns(LevelTexels(chained, 1), 8));

    // A triangle mip filter is not used: each level is the image resampled
    // with the level filter, as a single load of the image into it gives.
    IDirect3DTexture9* direct = Texture(16, 16, 0);
    ASSERT_EQ(LoadMipChain(direct, Source(*image.record, 1, RESAMPLE_TRIANGLE)), S_OK);
    IDirect3DTexture9* expected = Texture(4, 4, 1);
    IDirect3DSurface9* surface = nullptr;
    expected->GetSurfaceLevel(0, &surface);
    const RECT whole{0, 0, 16, 16};
    ASSERT_EQ(CopyMemoryToSurface(surface, nullptr, nullptr, image.pixels.data(), D3DFMT_X8R8G8B8, 64, palette_,
                                  &whole, RESAMPLE_TRIANGLE | RESAMPLE_DITHER, 0),
              S_OK);
    surface->Release();
    EXPECT_EQ(LevelTexels(direct, 2), LevelTexels(expected, 0));
    EXPECT_FALSE(IsBoxHalvingOfPairedColumns(LevelTexels(direct, 1), 8));
    for (auto* t : {chained, direct, expected}) t->Release();
}

TEST_F(MipChainTest, ImageLevelsFillTheirOwnLevelsAndSurplusImageLevelsAreIgnored) {
    // Three levels of solid red, green, blue; a 5-level texture regenerates
    // levels 3 and 4 from blue level 2, a 2-level texture takes two.
    BuiltImage top(16, 16, 1, [](UINT, UINT, UINT) { return 0xFFFF0000u; });
    auto* green = new BuiltImage(8, 8, 1, [](UINT, UINT, UINT) { return 0xFF00FF00u; });
    auto* blue = new BuiltImage(4, 4, 1, [](UINT, UINT, UINT) { return 0xFF0000FFu; });
    top.record->nextLevel = green->record.release();
    top.record->nextLevel->nextLevel = blue->record.release();
    for (UINT levels : {5u, 2u}) {
        IDirect3DTexture9* texture = Texture(16, 16, levels);
        ASSERT_EQ(LoadMipChain(texture, Source(*top.record, 3)), S_OK);
        const std::uint32_t expected[5] = {0xFF0000, 0x00FF00, 0x0000FF, 0x0000FF, 0x0000FF};
        for (UINT level = 0; level < levels; ++level)
            for (const std::uint32_t texel : LevelTexels(texture, level))
                ASSERT_EQ(texel & 0xFFFFFF, expected[level]) << "level " << level;
        texture->Release();
    }
    delete green;
    delete blue;
}

TEST_F(MipChainTest, RegenerationChoosesTheBoxFilterOnlyForPowerOfTwoSizes) {
    BuiltImage image(16, 16, 1, PairedColumns);
    BuiltImage odd(20, 16, 1, PairedColumns);
    IDirect3DTexture9* square = Texture(16, 16, 0);
    IDirect3DTexture9* wide = Texture(20, 16, 0);
    ASSERT_EQ(LoadMipChain(square, Source(*image.record, 1, RESAMPLE_NONE)), S_OK);
    ASSERT_EQ(LoadMipChain(wide, Source(*odd.record, 1, RESAMPLE_NONE)), S_OK);
    ASSERT_EQ(RegenerateMipLevels(square, nullptr, TEX_AUTO, TEX_AUTO), S_OK);
    ASSERT_EQ(RegenerateMipLevels(wide, nullptr, TEX_AUTO, TEX_AUTO), S_OK);
    EXPECT_TRUE(IsBoxHalvingOfPairedColumns(LevelTexels(square, 1), 8));
    EXPECT_FALSE(IsBoxHalvingOfPairedColumns(LevelTexels(wide, 1), 10));

    const UINT last = square->GetLevelCount() - 1;
    EXPECT_EQ(RegenerateMipLevels(square, nullptr, last, TEX_AUTO), S_OK);
    EXPECT_EQ(RegenerateMipLevels(square, nullptr, last + 1, TEX_AUTO), D3DERR_INVALIDCALL);
    EXPECT_EQ(RegenerateMipLevels(nullptr, nullptr, 0, TEX_AUTO), D3DERR_INVALIDCALL);
    square->Release();
    wide->Release();
}

// A white left column: with wrapped edges the triangle filter carries it
// into the right edge of the next level; mirrored in U it cannot.
TEST_F(MipChainTest, MirrorBitsKeepTheFilterFromWrappingAcrossTheEdge) {
    BuiltImage image(8, 8, 1, [](UINT x, UINT, UINT) { return x == 0 ? 0xFFFFFFFFu : 0xFF000000u; });
    std::uint32_t rightEdge[2] = {};
    const DWORD filters[2] = {RESAMPLE_TRIANGLE, RESAMPLE_TRIANGLE | RESAMPLE_MIRROR_U};
    for (int i = 0; i < 2; ++i) {
        IDirect3DTexture9* texture = Texture(8, 8, 2);
        ASSERT_EQ(LoadMipChain(texture, Source(*image.record, 1, RESAMPLE_NONE)), S_OK);
        ASSERT_EQ(RegenerateMipLevels(texture, nullptr, 0, filters[i]), S_OK);
        rightEdge[i] = LevelTexels(texture, 1)[3] & 0xFF;
        texture->Release();
    }
    EXPECT_GT(rightEdge[0], 0u);
    EXPECT_EQ(rightEdge[1], 0u);
}

TEST_F(MipChainTest, VolumeLevelsAverageTheirSlicesPairwise) {
    // Slices of red 0, 40, 80, 120: level 1 holds 20 and 100, level 2 60.
    BuiltImage image(4, 4, 4, [](UINT, UINT, UINT z) { return 0xFF000000u | (z * 40) << 16; });
    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device_->CreateVolumeTexture(4, 4, 4, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr), S_OK);
    ASSERT_EQ(LoadMipChain(volume, Source(*image.record, 1)), S_OK);
    const auto redAt = [&](UINT level, UINT z) {
        D3DLOCKED_BOX locked{};
        EXPECT_EQ(volume->LockBox(level, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        const std::uint32_t texel =
            *reinterpret_cast<const std::uint32_t*>(static_cast<const BYTE*>(locked.pBits) + z * locked.SlicePitch);
        volume->UnlockBox(level);
        return texel >> 16 & 0xFF;
    };
    EXPECT_EQ(redAt(0, 3), 120u);
    EXPECT_EQ(redAt(1, 0), 20u);
    EXPECT_EQ(redAt(1, 1), 100u);
    EXPECT_EQ(redAt(2, 0), 60u);
    volume->Release();
}

TEST_F(MipChainTest, CubeFacesAreFilledInFaceOrderDownToTheLastLevel) {
    std::vector<std::unique_ptr<BuiltImage>> faces;
    for (std::uint32_t f = 0; f < 6; ++f)
        faces.push_back(std::make_unique<BuiltImage>(4, 4, 1, [f](UINT, UINT, UINT) { return 0xFF000000u | f * 30; }));
    for (std::size_t f = 5; f > 0; --f) faces[f - 1]->record->nextFace = faces[f]->record.release();
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device_->CreateCubeTexture(4, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), S_OK);
    MipChainSource source = Source(*faces[0]->record, 1);
    source.faceCount = 6;
    ASSERT_EQ(LoadMipChain(cube, source), S_OK);
    for (UINT f = 0; f < 6; ++f) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(cube->LockRect(static_cast<D3DCUBEMAP_FACES>(f), 2, &locked, nullptr, D3DLOCK_READONLY), S_OK);
        EXPECT_EQ(*static_cast<const std::uint32_t*>(locked.pBits) & 0xFF, f * 30) << "face " << f;
        cube->UnlockRect(static_cast<D3DCUBEMAP_FACES>(f), 2);
    }
    cube->Release();
}

}  // namespace
}  // namespace quillmark
