// Which texels reach which pixels: hand-worked cases of level selection,
// filter weights, addressing and texture transforms.
#include <bit>
#include <cmath>
#include <set>

#include "draw_fixture.h"

namespace quillmark::software::testing {
namespace {

constexpr std::uint32_t kLevelColors[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};

class SamplingTest : public DrawTest {
protected:
    // 32 x 32 with six levels, each a flat colour of its own.
    void BindLevelColoredTexture() {
        IDirect3DTexture9* texture = MakeTexture(32, 32, 6, [](UINT level, UINT, UINT) { return kLevelColors[level]; });
        device->SetTexture(0, texture);
        texture->Release();
    }
    std::uint32_t PixelAt(int x, int y) { return Rgb(ReadBack()[std::size_t(y) * 800 + x]); }
    void SetBias(float bias) { device->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, std::bit_cast<DWORD>(bias)); }
};

TEST_F(SamplingTest, PointSamplingAtOneTexelPerPixelReturnsEachTexel) {
    IDirect3DTexture9* texture = MakeTexture(16, 16, 0, [](UINT level, UINT x, UINT y) {
        return level == 0 ? (x << 16 | y << 8 | 0x40) : 0xFFFFFF;
    });
    device->SetTexture(0, texture);
    texture->Release();
    SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
    ASSERT_EQ(DrawQuad(10, 20, 26, 36, 0, 0, 1, 1), S_OK);
    const auto pixels = ReadBack();
    for (UINT y = 0; y < 16; ++y) {
        for (UINT x = 0; x < 16; ++x) EXPECT_EQ(Rgb(pixels[(20 + y) * 800 + 10 + x]), x << 16 | y << 8 | 0x40);
    }
    EXPECT_EQ(pixels[19 * 800 + 10], 0xFF000000u) << "nothing above the quad";
    EXPECT_EQ(pixels[20 * 800 + 26], 0xFF000000u) << "nothing right of the quad";
}

TEST_F(SamplingTest, TwoTexelsPerPixelSamplesLevelOne) {
    BindLevelColoredTexture();
    SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
    ASSERT_EQ(DrawQuad(0, 0, 16, 16, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(PixelAt(7, 7), kLevelColors[1]);
}

TEST_F(SamplingTest, LodBiasMovesByWholeLevels) {
    BindLevelColoredTexture();
    SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
    SetBias(1.0f);
    ASSERT_EQ(DrawQuad(0, 0, 16, 16, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(PixelAt(5, 5), kLevelColors[2]);
    SetBias(-1.0f);  // lambda 0: magnification, the top level
    ASSERT_EQ(DrawQuad(0, 0, 16, 16, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(PixelAt(5, 5), kLevelColors[0]);
    SetBias(10.0f);  // clamped to the last level
    ASSERT_EQ(DrawQuad(0, 0, 16, 16, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(PixelAt(5, 5), kLevelColors[5]);
}

TEST_F(SamplingTest, MipFilterNoneAlwaysUsesLevelZero) {
    BindLevelColoredTexture();
    SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    SetBias(3.0f);
    ASSERT_EQ(DrawQuad(0, 0, 4, 4, 0, 0, 1, 1), S_OK);  // 8 texels per pixel
    EXPECT_EQ(PixelAt(1, 1), kLevelColors[0]);
}

// MAXMIPLEVEL is the largest level used: it clamps the level chosen from a
// lambda measured in level-0 texels, and does not shift the chain.
TEST_F(SamplingTest, MaxMipLevelClampsTheChosenLevel) {
    BindLevelColoredTexture();
    SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
    const std::pair<DWORD, std::uint32_t> cases[] = {{0, 2}, {1, 2}, {2, 2}, {3, 3}, {4, 4}, {9, 5}};
    for (const auto& [maxMipLevel, level] : cases) {
        device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, maxMipLevel);
        ASSERT_EQ(DrawQuad(0, 0, 8, 8, 0, 0, 1, 1), S_OK);  // 4 texels per pixel: lambda 2
        EXPECT_EQ(PixelAt(3, 3), kLevelColors[level]) << "MAXMIPLEVEL " << maxMipLevel;
    }
    SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 3);
    ASSERT_EQ(DrawQuad(0, 0, 16, 16, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(PixelAt(3, 3), kLevelColors[3]) << "mip filter NONE reads the base level";
}

TEST_F(SamplingTest, MaxMipLevelEndsTheLinearBlendAtTheBaseLevel) {
    IDirect3DTexture9* texture = MakeTexture(32, 32, 6, [](UINT level, UINT, UINT) { return level == 2 ? 0xFFu : 0u; });
    device->SetTexture(0, texture);
    texture->Release();
    SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_LINEAR);
    SetBias(0.25f);  // lambda 2.25
    device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 2);
    ASSERT_EQ(DrawQuad(0, 0, 8, 8, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(PixelAt(3, 3), 191u) << "3/4 of level 2, 1/4 of level 3";
    device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 3);
    ASSERT_EQ(DrawQuad(0, 0, 8, 8, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(PixelAt(3, 3), 0u) << "level 3 alone";
}

TEST_F(SamplingTest, LinearMipFilterBlendsNeighbouringLevels) {
    IDirect3DTexture9* texture = MakeTexture(32, 32, 6, [](UINT level, UINT, UINT) { return level == 1 ? 0xFFu : 0u; });
    device->SetTexture(0, texture);
    texture->Release();
    SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_LINEAR);
    SetBias(0.25f);  // lambda 1.25: 3/4 of level 1, 1/4 of level 2
    ASSERT_EQ(DrawQuad(0, 0, 16, 16, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(PixelAt(3, 3), 191u);  // 255 * 0.75 = 191.25
}

TEST_F(SamplingTest, AnisotropicProbesAverageAlongTheMajorAxis) {
    // 16 x 4 texels on 4 x 4 pixels, v stretched to 1.1: rho is 4 across and
    // 1.1 down, so N = ceil(4 / 1.1) = 4 probes. Level 0 holds red 16k in
    // column k, level 1 green 32k + 8, the smaller levels blue.
    IDirect3DTexture9* texture = MakeTexture(16, 4, 0, [](UINT level, UINT x, UINT) {
        return level == 0 ? (16 * x) << 16 : level == 1 ? (32 * x + 8) << 8 : 0xFFu;
    });
    device->SetTexture(0, texture);
    texture->Release();
    SetFilters(D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR, D3DTEXF_LINEAR);
    struct Case {
        DWORD maxAnisotropy;
        std::uint32_t (*expected)(int x);
    } cases[] = {
        // lambda = log2(4 / 4) = 0: probes at texel-space x 4x .. 4x + 3 of level 0.
        {16, [](int x) { return std::uint32_t(64 * x + 24) << 16; }},
        // lambda = log2(4 / 2) = 1: two probes at x 2x and 2x + 1 of level 1.
        {2, [](int x) { return std::uint32_t(64 * x + 24) << 8; }},
        // One probe at lambda = log2(4) = 2.
        {1, [](int) { return 0xFFu; }},
    };
    for (const Case& c : cases) {
        device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, c.maxAnisotropy);
        ASSERT_EQ(DrawQuad(0, 0, 4, 4, 0, 0, 1, 1.1f), S_OK);
        const auto pixels = ReadBack();
        for (int x = 0; x < 4; ++x) EXPECT_EQ(Rgb(pixels[800 + x]), c.expected(x)) << c.maxAnisotropy << " pixel " << x;
    }
}

TEST_F(SamplingTest, BilinearWeightsAndWrapAtTheEdges) {
    // Two texels, black then white, magnified to eight pixels: pixel x samples
    // texel-space x' = (x + 0.5) / 4 - 0.5, and texel -1 wraps to texel 1.
    IDirect3DTexture9* texture = MakeTexture(2, 1, 1, [](UINT, UINT x, UINT) { return x == 1 ? 0xFFFFFFu : 0u; });
    device->SetTexture(0, texture);
    texture->Release();
    SetFilters(D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_NONE);
    ASSERT_EQ(DrawQuad(0, 0, 8, 8, 0, 0, 1, 1), S_OK);
    const std::uint32_t expected[8] = {96, 32, 32, 96, 159, 223, 223, 159};
    const auto pixels = ReadBack();
    for (int x = 0; x < 8; ++x) EXPECT_EQ(pixels[4 * 800 + x] & 0xFF, expected[x]) << "pixel " << x;
}

TEST_F(SamplingTest, ClampAddressingStopsAtTheEdgeTexel) {
    IDirect3DTexture9* texture = MakeTexture(2, 1, 1, [](UINT, UINT x, UINT) { return x == 1 ? 0xFFFFFFu : 0u; });
    device->SetTexture(0, texture);
    texture->Release();
    SetFilters(D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_NONE);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    ASSERT_EQ(DrawQuad(0, 0, 8, 8, 0, 0, 1, 1), S_OK);
    const auto pixels = ReadBack();
    EXPECT_EQ(pixels[4 * 800 + 0] & 0xFF, 0u);
    EXPECT_EQ(pixels[4 * 800 + 7] & 0xFF, 255u);
}

TEST_F(SamplingTest, MirrorAddressingReflectsEveryOtherRepeat) {
    IDirect3DTexture9* texture = MakeTexture(2, 1, 1, [](UINT, UINT x, UINT) { return x == 1 ? 0xFFFFFFu : 0u; });
    device->SetTexture(0, texture);
    texture->Release();
    SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR);
    ASSERT_EQ(DrawQuad(0, 0, 8, 1, -1, 0, 3, 1), S_OK);  // u from -1 to 3: texels 1 0 | 0 1 | 1 0 | 0 1
    const auto pixels = ReadBack();
    const std::uint32_t expected[8] = {255, 0, 0, 255, 255, 0, 0, 255};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(pixels[x] & 0xFF, expected[x]) << "pixel " << x;
}

TEST_F(SamplingTest, PointSamplingWrapsCoordinatesBeyondOne) {
    IDirect3DTexture9* texture = MakeTexture(4, 4, 1, [](UINT, UINT x, UINT y) { return x << 16 | y << 8; });
    device->SetTexture(0, texture);
    texture->Release();
    SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    ASSERT_EQ(DrawQuad(0, 0, 4, 4, 1, -2, 2, -1), S_OK);  // one whole repeat, shifted
    const auto pixels = ReadBack();
    for (UINT y = 0; y < 4; ++y)
        for (UINT x = 0; x < 4; ++x) EXPECT_EQ(Rgb(pixels[y * 800 + x]), x << 16 | y << 8);
}

TEST_F(SamplingTest, TextureTransformTurnsCoordinatesAboutTheOrigin) {
    IDirect3DTexture9* texture = MakeTexture(16, 16, 1, [](UINT, UINT x, UINT y) { return x << 16 | y << 8; });
    device->SetTexture(0, texture);
    texture->Release();
    SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    const double angle = 3.14159265358979 / 4;
    const float c = float(std::cos(angle)), s = float(std::sin(angle));
    D3DMATRIX rotation{};
    rotation._11 = c, rotation._12 = s, rotation._21 = -s, rotation._22 = c, rotation._33 = 1, rotation._44 = 1;
    device->SetTransform(D3DTS_TEXTURE0, &rotation);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    ASSERT_EQ(DrawQuad(100, 100, 116, 116, 0, 0, 1, 1), S_OK);
    const auto pixels = ReadBack();
    int checked = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const double u = (x + 0.5) / 16, v = (y + 0.5) / 16;
            const double tu = (u * c - v * s) * 16, tv = (u * s + v * c) * 16;  // (u, v, 1, 0) x M
            if (std::abs(tu - std::round(tu)) < 1e-3 || std::abs(tv - std::round(tv)) < 1e-3) continue;
            const auto tx = UINT(((int(std::floor(tu)) % 16) + 16) % 16), ty = UINT(((int(std::floor(tv)) % 16) + 16) % 16);
            EXPECT_EQ(Rgb(pixels[(100 + y) * 800 + 100 + x]), tx << 16 | ty << 8) << x << "," << y;
            ++checked;
        }
    }
    EXPECT_GT(checked, 200);
}

TEST_F(SamplingTest, PointSamplingOfASlantedPlaneHitsExactlyOneTexelPerPixel) {
    IDirect3DTexture9* texture = MakeTexture(64, 64, 0, [](UINT level, UINT x, UINT y) {
        return level << 20 | x << 12 | y << 4 | 0x5;
    });
    device->SetTexture(0, texture);
    texture->Release();
    SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
    // A square whose top edge lies four times as far as its bottom (w = z).
    D3DMATRIX projection{};
    projection._11 = projection._22 = 1, projection._33 = 0.5f, projection._34 = 1;
    device->SetTransform(D3DTS_PROJECTION, &projection);
    ASSERT_EQ(DrawStrip({{-1, 1, 4, 0, 0}, {1, 1, 4, 3, 0}, {-1, -1, 1, 0, 3}, {1, -1, 1, 3, 3}}), S_OK);
    std::set<std::uint32_t> texels;
    for (UINT level = 0; level < 7; ++level) {
        const UINT size = 64 >> level;
        for (UINT y = 0; y < size; ++y)
            for (UINT x = 0; x < size; ++x) texels.insert(level << 20 | x << 12 | y << 4 | 0x5);
    }
    int drawn = 0;
    for (std::uint32_t pixel : ReadBack()) {
        if (Rgb(pixel) == 0) continue;
        ++drawn;
        EXPECT_TRUE(texels.count(Rgb(pixel))) << std::hex << pixel;
    }
    EXPECT_GT(drawn, 10000);
}

TEST_F(SamplingTest, NonNativeFormatsAreDecodedAndRefreshedAfterALock) {
    IDirect3D9* d3d = nullptr;
    device->GetDirect3D(&d3d);
    const HRESULT supported = d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_R5G6B5);
    d3d->Release();
    if (supported != S_OK) GTEST_SKIP() << "no row codec for R5G6B5 in this build";
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
    auto fill = [&](std::uint16_t value) {
        D3DLOCKED_RECT locked{};
        texture->LockRect(0, &locked, nullptr, 0);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                reinterpret_cast<std::uint16_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch)[x] = value;
        texture->UnlockRect(0);
    };
    fill(0xF800);
    device->SetTexture(0, texture);
    ASSERT_EQ(DrawQuad(0, 0, 4, 4, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(PixelAt(1, 1), 0xFF0000u);
    fill(0x001F);
    ASSERT_EQ(DrawQuad(0, 0, 4, 4, 0, 0, 1, 1), S_OK);
    EXPECT_EQ(PixelAt(1, 1), 0x0000FFu);
    texture->Release();
}

}  // namespace
}  // namespace quillmark::software::testing
