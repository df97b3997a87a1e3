// FitTextureToDevice against the worked examples.
#include "fake_device.h"
#include "texfile/texture_constants.h"
#include "texfile/texture_fit.h"

#include <gtest/gtest.h>

namespace quillmark {
namespace {

struct Fit {
    UINT width, height, depth, levels;
    D3DFORMAT format;
};

HRESULT FitRequest(testing::FakeDevice& device, Fit& fit, DWORD usage = 0, D3DPOOL pool = D3DPOOL_MANAGED,
            D3DRESOURCETYPE type = D3DRTYPE_TEXTURE) {
    return FitTextureToDevice(&device, &fit.width, &fit.height, &fit.depth, &fit.levels, usage, &fit.format, pool,
                              type);
}

TEST(FitTextureToDevice, EverythingDefaulted) {
    testing::FakeDevice device;
    UINT width = TEX_AUTO, height = TEX_AUTO, levels = TEX_AUTO, depth = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    ASSERT_EQ(FitTextureToDevice(&device, &width, &height, &depth, &levels, TEX_AUTO, &format, D3DPOOL_MANAGED,
                                 D3DRTYPE_TEXTURE),
              S_OK);
    EXPECT_EQ(width, 256u);
    EXPECT_EQ(height, 256u);
    EXPECT_EQ(depth, 1u);
    EXPECT_EQ(levels, 9u);
    EXPECT_EQ(format, D3DFMT_A8R8G8B8);
    ASSERT_EQ(FitTextureToDevice(&device, nullptr, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED,
                                 D3DRTYPE_TEXTURE),
              S_OK);
}

TEST(FitTextureToDevice, PowerOfTwoRules) {
    testing::FakeDevice device;
    device.caps.TextureCaps |= D3DPTEXTURECAPS_POW2;
    Fit fit{100, 60, 1, TEX_AUTO, D3DFMT_X8R8G8B8};
    ASSERT_EQ(FitRequest(device, fit), S_OK);
    EXPECT_EQ(fit.width, 128u);
    EXPECT_EQ(fit.height, 64u);
    EXPECT_EQ(fit.levels, 8u);

    device.caps.TextureCaps |= D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
    Fit single{100, 60, 1, 1, D3DFMT_X8R8G8B8};
    ASSERT_EQ(FitRequest(device, single), S_OK);
    EXPECT_EQ(single.width, 100u);
    EXPECT_EQ(single.height, 60u);
    EXPECT_EQ(single.levels, 1u);
    Fit chain{100, 60, 1, TEX_AUTO, D3DFMT_X8R8G8B8};
    ASSERT_EQ(FitRequest(device, chain), S_OK);
    EXPECT_EQ(chain.width, 128u);
    EXPECT_EQ(chain.height, 64u);
    EXPECT_EQ(chain.levels, 8u);
}

TEST(FitTextureToDevice, AspectRatioLimit) {
    testing::FakeDevice device;
    device.caps.MaxTextureAspectRatio = 8;
    Fit fit{300, 20, 1, 1, D3DFMT_X8R8G8B8};
    ASSERT_EQ(FitRequest(device, fit), S_OK);
    EXPECT_EQ(fit.width, 160u);
    EXPECT_EQ(fit.height, 20u);
}

TEST(FitTextureToDevice, BlockCompressedSizesAreWholeBlocks) {
    testing::FakeDevice device;
    Fit fit{6, 6, 1, TEX_AUTO, D3DFMT_DXT1};
    ASSERT_EQ(FitRequest(device, fit), S_OK);
    EXPECT_EQ(fit.width, 8u);
    EXPECT_EQ(fit.height, 8u);
    EXPECT_EQ(fit.format, D3DFMT_DXT1);
    EXPECT_EQ(fit.levels, 4u);
}

TEST(FitTextureToDevice, ScratchPoolIgnoresCaps) {
    testing::FakeDevice device;
    device.caps.MaxTextureWidth = device.caps.MaxTextureHeight = 2048;
    device.direct3d.supports = [](DWORD, D3DRESOURCETYPE, D3DFORMAT) { return false; };
    Fit fit{5000, 5000, 1, TEX_AUTO, D3DFMT_UNKNOWN};
    ASSERT_EQ(FitRequest(device, fit, 0, D3DPOOL_SCRATCH), S_OK);
    EXPECT_EQ(fit.width, 5000u);
    EXPECT_EQ(fit.height, 5000u);
    EXPECT_EQ(fit.levels, 13u);
    EXPECT_EQ(fit.format, D3DFMT_A8R8G8B8);
}

TEST(FitTextureToDevice, LevelsCubesVolumesAndAutogen) {
    testing::FakeDevice device;
    Fit requested{64, 16, 1, 3, D3DFMT_X8R8G8B8};
    ASSERT_EQ(FitRequest(device, requested), S_OK);
    EXPECT_EQ(requested.levels, 3u);
    Fit autogen{64, 16, 1, 0, D3DFMT_X8R8G8B8};
    ASSERT_EQ(FitRequest(device, autogen, D3DUSAGE_AUTOGENMIPMAP), S_OK);
    EXPECT_EQ(autogen.levels, 0u);
    Fit cube{64, 16, 1, 0, D3DFMT_X8R8G8B8};
    ASSERT_EQ(FitRequest(device, cube, 0, D3DPOOL_MANAGED, D3DRTYPE_CUBETEXTURE), S_OK);
    EXPECT_EQ(cube.width, 64u);
    EXPECT_EQ(cube.height, 64u);
    Fit volume{100, 4, 5000, 0, D3DFMT_X8R8G8B8};
    ASSERT_EQ(FitRequest(device, volume, 0, D3DPOOL_MANAGED, D3DRTYPE_VOLUMETEXTURE), S_OK);
    EXPECT_EQ(volume.depth, 2048u);
    EXPECT_EQ(volume.levels, 12u);
    device.caps.TextureCaps &= ~DWORD{D3DPTEXTURECAPS_MIPMAP};
    Fit noMips{64, 64, 1, 0, D3DFMT_X8R8G8B8};
    ASSERT_EQ(FitRequest(device, noMips), S_OK);
    EXPECT_EQ(noMips.levels, 1u);
}

TEST(FitTextureToDevice, RefusalsWriteNothing) {
    testing::FakeDevice device;
    Fit fit{7, 7, 1, 1, D3DFMT_X8R8G8B8};
    EXPECT_EQ(FitTextureToDevice(nullptr, &fit.width, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED,
                                 D3DRTYPE_TEXTURE),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(FitRequest(device, fit, D3DUSAGE_WRITEONLY), D3DERR_INVALIDCALL);
    EXPECT_EQ(FitRequest(device, fit, 0, static_cast<D3DPOOL>(4)), D3DERR_INVALIDCALL);
    device.direct3d.supports = [](DWORD, D3DRESOURCETYPE, D3DFORMAT) { return false; };
    EXPECT_EQ(FitRequest(device, fit), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(fit.width, 7u);
    EXPECT_EQ(fit.format, D3DFMT_X8R8G8B8);
}

}  // namespace
}  // namespace quillmark
