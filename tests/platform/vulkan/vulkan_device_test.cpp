// The Vulkan device on lavapipe against hand-worked values and against the
// reference device's frames of the same scene: pixel centres, read-back
// order, coverage, culling, depth, level choice, sampler-state mapping and
// the texture stages.
#include <bit>
#include <random>

#include "reference_direct3d.h"
#include "vulkan_fixture.h"
#include "vulkan_sampler.h"

namespace quillmark::vulkan::testing {
namespace {

std::uint32_t UniqueTexel(UINT, UINT x, UINT y) { return 0xFF000000u | (x << 12) | (y << 2) | 1u; }

// One solid colour per level, all different.
std::uint32_t LevelColor(UINT level, UINT, UINT) {
    constexpr std::uint32_t kColors[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00,
                                         0xFF00FFFF, 0xFFFF00FF, 0xFF808080, 0xFF804000};
    return kColors[level % 8];
}

std::uint32_t White(UINT, UINT, UINT) { return 0xFFFFFFFF; }

int Count(const std::vector<std::uint32_t>& frame, std::uint32_t color) {
    return int(std::count(frame.begin(), frame.end(), color));
}

using VulkanDevice = VulkanTest;

TEST_F(VulkanDevice, FacingQuadAtOneTexelPerPixelReadsEveryTexelOnceTopDown) {
    Device vulkan(kLavapipe);
    vulkan.SetTexture(256, 1, UniqueTexel);
    vulkan.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    ASSERT_EQ(vulkan.DrawQuad(100, 50, 356, 306, 0, 0, 1, 1), S_OK);
    const std::vector<std::uint32_t> frame = vulkan.Frame();
    int wrong = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool inside = x >= 100 && x < 356 && y >= 50 && y < 306;
            const std::uint32_t expected = inside ? UniqueTexel(0, UINT(x - 100), UINT(y - 50)) : 0xFF000000u;
            wrong += frame[std::size_t(y) * kWidth + x] != expected;
        }
    }
    EXPECT_EQ(wrong, 0);
}

// Triangles with vertices anywhere between pixel centres, some reaching
// beyond the target.
std::vector<gl::testing::Vertex> ScatteredTriangles() {
    std::mt19937 random(29);
    std::uniform_real_distribution<float> x(-40.0f, 840.0f), y(-40.0f, 640.0f), z(0.1f, 0.9f);
    std::vector<gl::testing::Vertex> vertices;
    for (int i = 0; i < 60; ++i) vertices.push_back(Device::At(x(random), y(random), z(random), 0, 0));
    return vertices;
}

TEST_F(VulkanDevice, TrianglesCoverTheSamePixelsAsOnTheReferenceDevice) {
    Device reference("reference"), vulkan(kLavapipe);
    for (Device* device : {&reference, &vulkan}) {
        device->SetTexture(4, 1, White);
        (*device)->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        ASSERT_EQ(device->Draw(D3DPT_TRIANGLELIST, ScatteredTriangles()), S_OK);
    }
    const std::vector<std::uint32_t> frame = vulkan.Frame();
    const int covered = Count(frame, 0xFFFFFFFFu);
    EXPECT_GT(covered, 100000);
    // Both snap vertices to 1/256 pixel with a top-left rule; the half-pixel
    // move can round a vertex to the neighbouring 1/256.
    EXPECT_LE(Differences(reference.Frame(), frame), covered / 10000);
}

TEST_F(VulkanDevice, CullModesRemoveTheSameTrianglesAsOnTheReferenceDevice) {
    for (DWORD mode : {D3DCULL_NONE, D3DCULL_CW, D3DCULL_CCW}) {
        Device reference("reference"), vulkan(kLavapipe);
        for (Device* device : {&reference, &vulkan}) {
            device->SetTexture(4, 1, White);
            (*device)->SetRenderState(D3DRS_CULLMODE, mode);
            // The first triangle is clockwise on screen, the second counter-clockwise.
            ASSERT_EQ(device->Draw(D3DPT_TRIANGLELIST, {Device::At(10, 10, 0.5f, 0, 0), Device::At(300, 10, 0.5f, 0, 0),
                                                        Device::At(10, 300, 0.5f, 0, 0), Device::At(10, 590, 0.5f, 0, 0),
                                                        Device::At(300, 590, 0.5f, 0, 0), Device::At(10, 320, 0.5f, 0, 0)}),
                      S_OK);
        }
        const std::vector<std::uint32_t> frame = vulkan.Frame();
        EXPECT_EQ(Differences(reference.Frame(), frame), 0) << "cull mode " << mode;
        EXPECT_EQ(frame[50 * kWidth + 50] == 0xFFFFFFFFu, mode != D3DCULL_CW) << "cull mode " << mode;
        EXPECT_EQ(frame[550 * kWidth + 50] == 0xFFFFFFFFu, mode != D3DCULL_CCW) << "cull mode " << mode;
    }
}

// Depth reaches the driver as z itself, in Direct3D's range: quads at depths
// a float step either side of the halfway point between two D16 steps leave
// the buffer as on the reference device, which an EQUAL test at the lower
// step's own depth shows.
TEST_F(VulkanDevice, DepthBesideHalfwayBetweenD16StepsRoundsAsOnTheReferenceDevice) {
    Device reference("reference"), vulkan(kLavapipe);
    for (Device* device : {&reference, &vulkan}) {
        device->SetTexture(4, 1, White);
        (*device)->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
        for (int x = 0; x < kWidth; x += 4) {
            const float tie = (float(x * 81 + 7) + 0.5f) / 65535.0f;
            const float z = std::nextafter(tie, x % 8 ? 1.0f : 0.0f);
            ASSERT_EQ(device->DrawQuad(float(x), 0, float(x + 4), 8, 0, 0, 1, 1, z), S_OK);
        }
        (*device)->SetRenderState(D3DRS_ZFUNC, D3DCMP_EQUAL);
        device->SetTexture(4, 1, [](UINT, UINT, UINT) { return 0xFF00FF00u; });
        for (int x = 0; x < kWidth; x += 4)
            ASSERT_EQ(device->DrawQuad(float(x), 0, float(x + 4), 8, 0, 0, 1, 1, float(x * 81 + 7) / 65535.0f), S_OK);
    }
    const std::vector<std::uint32_t> frame = vulkan.Frame();
    EXPECT_GT(Count(frame, 0xFF00FF00u), 0);
    EXPECT_EQ(Differences(reference.Frame(), frame), 0);
}

TEST_F(VulkanDevice, DepthTestKeepsTheNearerQuadWhicheverComesFirst) {
    Device vulkan(kLavapipe);
    vulkan.SetTexture(4, 1, [](UINT, UINT, UINT) { return 0xFF00FF00u; });
    vulkan.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    ASSERT_EQ(vulkan.DrawQuad(100, 100, 300, 300, 0, 0, 1, 1, 0.25f), S_OK);
    vulkan.SetTexture(4, 1, [](UINT, UINT, UINT) { return 0xFFFF0000u; });
    ASSERT_EQ(vulkan.DrawQuad(200, 200, 400, 400, 0, 0, 1, 1, 0.75f), S_OK);
    const std::vector<std::uint32_t> frame = vulkan.Frame();
    EXPECT_EQ(frame[250 * kWidth + 250], 0xFF00FF00u);  // both drawn here: the nearer, first one stays
    EXPECT_EQ(frame[350 * kWidth + 350], 0xFFFF0000u);
    EXPECT_EQ(frame[150 * kWidth + 150], 0xFF00FF00u);
}

TEST_F(VulkanDevice, AClearOfPartOfTheTargetKeepsTheRest) {
    Device vulkan(kLavapipe);
    vulkan.SetTexture(4, 1, White);
    ASSERT_EQ(vulkan.DrawQuad(0, 0, 100, 100, 0, 0, 1, 1), S_OK);
    const D3DRECT rect{50, 50, 150, 150};
    ASSERT_EQ(vulkan->Clear(1, &rect, D3DCLEAR_TARGET, 0xFF102030u, 1.0f, 0), S_OK);
    const std::vector<std::uint32_t> frame = vulkan.Frame();
    EXPECT_EQ(Count(frame, 0xFFFFFFFFu), 100 * 100 - 50 * 50);
    EXPECT_EQ(Count(frame, 0xFF102030u), 100 * 100);
}

// A 128-pixel quad over a 256-texel texture: level of detail 1.
TEST_F(VulkanDevice, LodBiasMovesTheLevelByWholeLevels) {
    const std::pair<float, UINT> cases[] = {{0.0f, 1}, {1.0f, 2}, {-1.0f, 0}, {2.0f, 3}};
    for (const auto& [bias, level] : cases) {
        Device vulkan(kLavapipe);
        vulkan.SetTexture(256, 9, LevelColor);
        vulkan.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
        vulkan->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, std::bit_cast<DWORD>(bias));
        ASSERT_EQ(vulkan.DrawQuad(0, 0, 128, 128, 0, 0, 1, 1), S_OK);
        EXPECT_EQ(Count(vulkan.Frame(), LevelColor(level, 0, 0)), 128 * 128) << "bias " << bias;
    }
}

TEST_F(VulkanDevice, MipFilterNoneSamplesOnlyTheBaseLevelWithTheMinFilter) {
    Device vulkan(kLavapipe);
    // Level 0 a checkerboard of single texels: a linear min filter at 16
    // texels per pixel averages it to grey, a point one picks black or white.
    vulkan.SetTexture(256, 9, [](UINT level, UINT x, UINT y) {
        return level ? 0xFF0000FFu : (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
    });
    vulkan.SetFilters(D3DTEXF_LINEAR, D3DTEXF_POINT, D3DTEXF_NONE);
    ASSERT_EQ(vulkan.DrawQuad(0, 0, 16, 16, 0.5f / 256, 0, 1 + 0.5f / 256, 1), S_OK);
    const std::vector<std::uint32_t> frame = vulkan.Frame();
    int grey = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) grey += (frame[std::size_t(y) * kWidth + x] & 0xFF) == 0x80 ||
                                             (frame[std::size_t(y) * kWidth + x] & 0xFF) == 0x7F;
    EXPECT_EQ(grey, 16 * 16);
}

TEST_F(VulkanDevice, MaxMipLevelClampsTheLevelChosenFromLevelZero) {
    // {MAXMIPLEVEL, quad side for a 256-texel texture, level expected}: the
    // level is never more detailed than MAXMIPLEVEL, and otherwise as chosen.
    const std::tuple<DWORD, float, UINT> cases[] = {{0, 128, 1}, {3, 128, 3}, {1, 64, 2}, {2, 64, 2}, {3, 64, 3},
                                                    {2, 512, 2}};
    for (const auto& [maxMipLevel, side, level] : cases) {
        Device vulkan(kLavapipe);
        vulkan.SetTexture(256, 9, LevelColor);
        vulkan.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
        vulkan->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, maxMipLevel);
        ASSERT_EQ(vulkan.DrawQuad(0, 0, side, side, 0, 0, 1, 1), S_OK);
        const int visible = int(std::min(side, float(kHeight)) * side);
        EXPECT_EQ(Count(vulkan.Frame(), LevelColor(level, 0, 0)), visible)
            << "MAXMIPLEVEL " << maxMipLevel << ", side " << side;
    }
}

// Level 0 yellow, level 2 cyan: their product is green.
std::uint32_t YellowOverCyan(UINT level, UINT, UINT) { return level == 0 ? 0xFFFFFF00u : 0xFF00FFFFu; }

TEST_F(VulkanDevice, TwoStagesSamplingOneTextureKeepTheirOwnSamplers) {
    Device reference("reference"), vulkan(kLavapipe);
    for (Device* device : {&reference, &vulkan}) {
        device->SetTexture(64, 3, YellowOverCyan);
        device->SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
        IDirect3DBaseTexture9* texture = nullptr;
        (*device)->GetTexture(0, &texture);
        (*device)->SetTexture(1, texture);
        texture->Release();
        (*device)->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, 2);
        (*device)->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        (*device)->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
        (*device)->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
        ASSERT_EQ(device->DrawQuad(0, 0, 64, 64, 0, 0, 1, 1), S_OK);
    }
    const std::vector<std::uint32_t> frame = vulkan.Frame();
    EXPECT_EQ(Count(frame, 0xFF00FF00u), 64 * 64);
    EXPECT_EQ(Differences(reference.Frame(), frame), 0);
}

// Stage arguments the shaders pick from their specialisation: TFACTOR,
// DIFFUSE, complements and alpha replication, over two stages.
TEST_F(VulkanDevice, StageArgumentsCombineAsOnTheReferenceDevice) {
    const DWORD arguments[][4] = {
        {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_TFACTOR, D3DTOP_SELECTARG2},
        {D3DTOP_SELECTARG1, D3DTA_TFACTOR | D3DTA_COMPLEMENT, D3DTA_CURRENT, D3DTOP_MODULATE},
        {D3DTOP_MODULATE, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1},
        {D3DTOP_SELECTARG2, D3DTA_CURRENT, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTOP_DISABLE}};
    for (const auto& [op, arg1, arg2, secondOp] : arguments) {
        Device reference("reference"), vulkan(kLavapipe);
        for (Device* device : {&reference, &vulkan}) {
            device->SetTexture(16, 1, [](UINT, UINT x, UINT y) { return (x * 16u) << 24 | (y * 15u) << 8 | 0x40u; },
                               D3DFMT_A8R8G8B8);
            device->SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
            (*device)->SetRenderState(D3DRS_TEXTUREFACTOR, 0x80C04020u);
            (*device)->SetTextureStageState(0, D3DTSS_COLOROP, op);
            (*device)->SetTextureStageState(0, D3DTSS_COLORARG1, arg1);
            (*device)->SetTextureStageState(0, D3DTSS_COLORARG2, arg2);
            (*device)->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
            (*device)->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
            (*device)->SetTextureStageState(1, D3DTSS_COLOROP, secondOp);
            (*device)->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TFACTOR);
            (*device)->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
            (*device)->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
            ASSERT_EQ(device->DrawQuad(0, 0, 16, 16, 0, 0, 1, 1), S_OK);
        }
        const std::vector<std::uint32_t> frame = vulkan.Frame();
        EXPECT_NE(frame[0], frame[17 * kWidth + 15]) << "op " << op;
        // Products of 8-bit values round to the nearest 255th on both sides,
        // but the reference device multiplies in float before rounding.
        int far = 0;
        const std::vector<std::uint32_t> expected = reference.Frame();
        for (std::size_t i = 0; i < frame.size(); ++i)
            for (int shift = 0; shift < 32; shift += 8)
                far += std::abs(int((frame[i] >> shift) & 0xFF) - int((expected[i] >> shift) & 0xFF)) > 1;
        EXPECT_EQ(far, 0) << "op " << op << ", arguments " << arg1 << ", " << arg2;
    }
}

TEST_F(VulkanDevice, BorderAddressingShowsTheBorderColourOutsideTheTexture) {
    for (DWORD border : {0xFF123456u, 0xFFFFFFFFu}) {
        Device vulkan(kLavapipe);
        vulkan.SetTexture(4, 1, UniqueTexel);
        vulkan.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
        vulkan->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_BORDER);
        vulkan->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_BORDER);
        vulkan->SetSamplerState(0, D3DSAMP_BORDERCOLOR, border);
        ASSERT_EQ(vulkan.DrawQuad(0, 0, 64, 64, -1, -1, 3, 3), S_OK);  // 4 pixels per texel, texture at 16 .. 31
        const std::vector<std::uint32_t> frame = vulkan.Frame();
        int wrong = 0;
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                const bool inside = x >= 16 && x < 32 && y >= 16 && y < 32;
                const std::uint32_t expected = inside ? UniqueTexel(0, UINT(x - 16) / 4, UINT(y - 16) / 4) : border;
                wrong += frame[std::size_t(y) * kWidth + x] != expected;
            }
        }
        EXPECT_EQ(wrong, 0) << std::hex << border;
    }
}

TEST(VulkanSampler, WhatTheDriverLacksIsRefused) {
    std::array<DWORD, D3D_SAMPLER_STATE_COUNT> states{};
    states[D3DSAMP_ADDRESSU] = D3DTADDRESS_MIRRORONCE;
    states[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
    states[D3DSAMP_BORDERCOLOR] = 0xFF123456u;
    VkSamplerCreateInfo info;
    VkSamplerCustomBorderColorCreateInfoEXT border;
    EXPECT_FALSE(MapSamplerStates(states, 1, VulkanSamplerSupport{16, 16, true, false}, &info, &border));
    EXPECT_TRUE(MapSamplerStates(states, 1, VulkanSamplerSupport{16, 16, true, true}, &info, &border));
    // A border colour matters only where an address mode is BORDER.
    states[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
    EXPECT_TRUE(MapSamplerStates(states, 1, VulkanSamplerSupport{16, 16, false, false}, &info, &border));
    states[D3DSAMP_ADDRESSV] = D3DTADDRESS_BORDER;
    EXPECT_FALSE(MapSamplerStates(states, 1, VulkanSamplerSupport{16, 16, false, false}, &info, &border));
    states[D3DSAMP_BORDERCOLOR] = 0xFF000000u;  // one of the driver's own border colours
    EXPECT_TRUE(MapSamplerStates(states, 1, VulkanSamplerSupport{16, 16, false, false}, &info, &border));
    EXPECT_EQ(info.borderColor, VK_BORDER_COLOR_FLOAT_OPAQUE_BLACK);
}

TEST(VulkanSampler, LodBiasIsKeptWithinTheDriversRange) {
    std::array<DWORD, D3D_SAMPLER_STATE_COUNT> states{};
    VkSamplerCreateInfo info;
    VkSamplerCustomBorderColorCreateInfoEXT border;
    for (const auto& [bias, expected] : {std::pair{20.0f, 15.0f}, std::pair{-20.0f, -15.0f}, std::pair{2.5f, 2.5f},
                                         std::pair{std::nanf(""), 0.0f}}) {
        states[D3DSAMP_MIPMAPLODBIAS] = std::bit_cast<DWORD>(bias);
        ASSERT_TRUE(MapSamplerStates(states, 1, VulkanSamplerSupport{16, 15, true, true}, &info, &border));
        EXPECT_EQ(info.mipLodBias, expected) << bias;
    }
}

TEST_F(VulkanDevice, MirrorOnceAddressingMirrorsOnceThenClamps) {
    Device vulkan(kLavapipe);
    D3DCAPS9 caps{};
    ASSERT_EQ(vulkan->GetDeviceCaps(&caps), S_OK);
    ASSERT_NE(caps.TextureAddressCaps & D3DPTADDRESSCAPS_MIRRORONCE, 0u) << "lavapipe mirrors once";
    vulkan.SetTexture(4, 1, UniqueTexel);
    vulkan.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    vulkan->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRRORONCE);
    ASSERT_EQ(vulkan.DrawQuad(0, 0, 80, 16, -2, 0, 3, 1), S_OK);  // u from -2 to 3, 4 pixels per texel
    const std::vector<std::uint32_t> frame = vulkan.Frame();
    // Texel columns, 4 pixels each: u in [-2, -1) clamps to the mirrored
    // edge (3), [-1, 0) is mirrored (3 2 1 0), [0, 1) as it is, beyond 1 the edge (3).
    const UINT columns[20] = {3, 3, 3, 3, 3, 2, 1, 0, 0, 1, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3};
    int wrong = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 80; ++x) wrong += frame[std::size_t(y) * kWidth + x] != UniqueTexel(0, columns[x / 4], UINT(y) / 4);
    EXPECT_EQ(wrong, 0);
}

// A plane running away from the camera: every footprint is anisotropic.
std::vector<std::uint32_t> SlantedFrame(DWORD minFilter, DWORD maxAnisotropy) {
    Device vulkan(kLavapipe);
    vulkan.SetTexture(256, 9, [](UINT level, UINT x, UINT y) {
        return ((x >> 2) + (y >> 2) + level) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
    });
    vulkan.SetFilters(minFilter, D3DTEXF_LINEAR, D3DTEXF_LINEAR);
    vulkan->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, maxAnisotropy);
    D3DMATRIX projection{};
    projection.m[0][0] = 1.0f;
    projection.m[1][1] = 4.0f / 3.0f;
    projection.m[2][2] = 1.0f;
    projection.m[2][3] = 1.0f;
    projection.m[3][2] = -0.1f;
    vulkan->SetTransform(D3DTS_PROJECTION, &projection);
    EXPECT_EQ(vulkan.Draw(D3DPT_TRIANGLESTRIP, {{-1, -0.5f, 0.2f, 0, 0}, {1, -0.5f, 0.2f, 4, 0},
                                                {-1, -0.5f, 8.0f, 0, 16}, {1, -0.5f, 8.0f, 4, 16}}),
              S_OK);
    return vulkan.Frame();
}

TEST_F(VulkanDevice, MaxAnisotropyCountsOnlyWithTheAnisotropicMinFilter) {
    EXPECT_EQ(Differences(SlantedFrame(D3DTEXF_LINEAR, 1), SlantedFrame(D3DTEXF_LINEAR, 16)), 0);
    EXPECT_EQ(Differences(SlantedFrame(D3DTEXF_POINT, 1), SlantedFrame(D3DTEXF_POINT, 16)), 0);
    EXPECT_GT(Differences(SlantedFrame(D3DTEXF_ANISOTROPIC, 1), SlantedFrame(D3DTEXF_ANISOTROPIC, 16)), 1000);
}

// X8R8G8B8 goes up as stored, A4L4 decoded: both again after each lock.
TEST_F(VulkanDevice, TexturesAreUploadedAgainAfterALock) {
    for (const auto& [format, bytesPerTexel] : {std::pair{D3DFMT_X8R8G8B8, 4}, std::pair{D3DFMT_A4L4, 1}}) {
        Device reference("reference"), vulkan(kLavapipe);
        for (Device* device : {&reference, &vulkan}) {
            IDirect3DTexture9* texture = nullptr;
            ASSERT_EQ((*device)->CreateTexture(64, 64, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr), S_OK);
            for (int pass = 0; pass < 2; ++pass) {
                D3DLOCKED_RECT locked{};
                ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), S_OK);
                for (int y = 0; y < 64; ++y)
                    for (int i = 0; i < 64 * bytesPerTexel; ++i)
                        static_cast<std::uint8_t*>(locked.pBits)[y * locked.Pitch + i] =
                            std::uint8_t(i * 31 + y * 7 + pass * 50);
                texture->UnlockRect(0);
                (*device)->SetTexture(0, texture);
                device->SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
                ASSERT_EQ(device->DrawQuad(pass * 100.0f, 0, pass * 100.0f + 64, 64, 0, 0, 1, 1), S_OK);
            }
            texture->Release();
        }
        const std::vector<std::uint32_t> frame = vulkan.Frame();
        EXPECT_NE(frame[10], frame[110]) << format;  // the second pass drew other texels
        EXPECT_EQ(Differences(reference.Frame(), frame), 0) << format;
    }
}

TEST_F(VulkanDevice, ProjectedTextureTransformMovesCoordinatesAsOnTheReferenceDevice) {
    Device reference("reference"), vulkan(kLavapipe);
    D3DMATRIX transform{};
    transform.m[0][0] = transform.m[1][1] = transform.m[2][2] = transform.m[3][3] = 1.0f;
    transform.m[2][0] = 0.25f;  // u' = u + 1/4: 64 texels of 256
    transform.m[2][2] = 2.0f;   // q = 2: the coordinates halved
    for (Device* device : {&reference, &vulkan}) {
        device->SetTexture(256, 1, UniqueTexel);
        device->SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
        (*device)->SetTransform(D3DTS_TEXTURE0, &transform);
        (*device)->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3 | D3DTTFF_PROJECTED);
        ASSERT_EQ(device->DrawQuad(0, 0, 256, 256, 0, 0, 1, 1), S_OK);
    }
    const std::vector<std::uint32_t> frame = vulkan.Frame();
    EXPECT_EQ(frame[0], UniqueTexel(0, 32, 0));
    EXPECT_EQ(Differences(reference.Frame(), frame), 0);
}

TEST_F(VulkanDevice, WritesIntoTheLockedBackBufferSurviveLaterDrawing) {
    Device vulkan(kLavapipe);
    vulkan.SetTexture(4, 1, White);
    ASSERT_EQ(vulkan.DrawQuad(0, 0, 10, 10, 0, 0, 1, 1), S_OK);
    IDirect3DSurface9* back = nullptr;
    vulkan->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(back->LockRect(&locked, nullptr, 0), S_OK);
    EXPECT_EQ(static_cast<std::uint32_t*>(locked.pBits)[0], 0xFFFFFFFFu);  // the quad, read back
    static_cast<std::uint32_t*>(locked.pBits)[799] = 0xFF123456u;
    back->UnlockRect();
    back->Release();
    ASSERT_EQ(vulkan.DrawQuad(20, 20, 30, 30, 0, 0, 1, 1), S_OK);
    const std::vector<std::uint32_t> frame = vulkan.Frame();
    EXPECT_EQ(frame[799], 0xFF123456u);
    EXPECT_EQ(frame[25 * kWidth + 25], 0xFFFFFFFFu);
    EXPECT_EQ(frame[0], 0xFFFFFFFFu);
}

// More draws than one pool of descriptor sets holds between two read-backs.
TEST_F(VulkanDevice, ManyDrawsBetweenReadBacksAllLand) {
    Device vulkan(kLavapipe);
    vulkan.SetTexture(4, 1, White);
    for (int i = 0; i < 600; ++i)
        ASSERT_EQ(vulkan.DrawQuad(float(i % 800), float(i / 800), float(i % 800 + 1), float(i / 800 + 1), 0, 0, 1, 1),
                  S_OK);
    EXPECT_EQ(Count(vulkan.Frame(), 0xFFFFFFFFu), 600);
}

}  // namespace
}  // namespace quillmark::vulkan::testing
