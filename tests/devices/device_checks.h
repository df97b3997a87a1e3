// Checks that hold for every device drawing the reference device's state
// through a driver (the OpenGL and the Vulkan device), each against
// hand-worked values or the reference device's frame of the same scene:
// pixel centres, read-back order, coverage, culling, depth, level choice,
// sampler-state mapping, uploads of changed resources. Each takes the
// device's name.
#pragma once

#include <bit>
#include <cmath>
#include <random>
#include <tuple>

#include "gl/gl_fixture.h"

namespace quillmark::device_checks {

using gl::testing::Device;
using gl::testing::Differences;
using gl::testing::kHeight;
using gl::testing::kWidth;
using gl::testing::Vertex;

inline std::uint32_t UniqueTexel(UINT, UINT x, UINT y) { return 0xFF000000u | (x << 12) | (y << 2) | 1u; }

// One solid colour per level, all different.
inline std::uint32_t LevelColor(UINT level, UINT, UINT) {
    constexpr std::uint32_t kColors[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00,
                                         0xFF00FFFF, 0xFFFF00FF, 0xFF808080, 0xFF804000};
    return kColors[level % 8];
}

inline std::uint32_t White(UINT, UINT, UINT) { return 0xFFFFFFFF; }

inline int Count(const std::vector<std::uint32_t>& frame, std::uint32_t color) {
    return int(std::count(frame.begin(), frame.end(), color));
}

inline void FacingQuadAtOneTexelPerPixelReadsEveryTexelOnceTopDown(const char* name) {
    Device device(name);
    device.SetTexture(256, 1, UniqueTexel);
    device.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    ASSERT_EQ(device.DrawQuad(100, 50, 356, 306, 0, 0, 1, 1), S_OK);
    const std::vector<std::uint32_t> frame = device.Frame();
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

// One column per depth value a float step beside the halfway point between
// two D16 steps (above it in odd columns, below in even ones): a quad
// writes it, then a quad at the lower step's own depth is drawn where the
// buffer holds exactly that step. Depth reaching the driver as z itself
// rounds as on the reference device; a remap of z to [-w, w] and back
// moves some of these values across the halfway point. (Exactly halfway,
// Mesa's drivers round to the even step, the reference device up.)
inline void DepthBesideHalfwayBetweenD16StepsRoundsAsOnTheReferenceDevice(const char* name) {
    Device reference("reference"), driver(name);
    for (Device* device : {&reference, &driver}) {
        device->SetTexture(4, 1, White);
        (*device)->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
        for (int x = 0; x < kWidth; ++x) {
            const float step = float(x * 81 + 7);
            const float tie = (step + 0.5f) / 65535.0f;
            const float z = std::nextafter(tie, x % 2 ? 1.0f : 0.0f);
            ASSERT_EQ(device->DrawQuad(float(x), 0, float(x + 1), 8, 0, 0, 1, 1, z), S_OK);
        }
        (*device)->SetRenderState(D3DRS_ZFUNC, D3DCMP_EQUAL);
        device->SetTexture(4, 1, [](UINT, UINT, UINT) { return 0xFF00FF00u; });
        for (int x = 0; x < kWidth; ++x) {
            const float step = float(x * 81 + 7);
            ASSERT_EQ(device->DrawQuad(float(x), 0, float(x + 1), 8, 0, 0, 1, 1, step / 65535.0f), S_OK);
        }
    }
    EXPECT_EQ(Differences(reference.Frame(), driver.Frame()), 0);
}

// Triangles with vertices anywhere between pixel centres.
inline std::vector<Vertex> ScatteredTriangles() {
    std::mt19937 random(13);
    std::uniform_real_distribution<float> x(-40.0f, 840.0f), y(-40.0f, 640.0f), z(0.1f, 0.9f);
    std::vector<Vertex> vertices;
    for (int i = 0; i < 60; ++i) vertices.push_back(Device::At(x(random), y(random), z(random), 0, 0));
    return vertices;
}

inline void TrianglesCoverTheSamePixelsAsOnTheReferenceDevice(const char* name) {
    Device reference("reference"), driver(name);
    for (Device* device : {&reference, &driver}) {
        device->SetTexture(4, 1, White);
        (*device)->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        ASSERT_EQ(device->Draw(D3DPT_TRIANGLELIST, ScatteredTriangles()), S_OK);
    }
    const std::vector<std::uint32_t> frame = driver.Frame();
    const int covered = Count(frame, 0xFFFFFFFFu);
    EXPECT_GT(covered, 100000);
    // Both devices snap vertices to 1/256 pixel and use the top-left rule;
    // the half-pixel move can round a vertex to the neighbouring 1/256, which
    // moves a pixel centre lying almost on an edge to the other side.
    EXPECT_LE(Differences(reference.Frame(), frame), covered / 10000);
}

inline void CullModesRemoveTheSameTrianglesAsOnTheReferenceDevice(const char* name) {
    for (DWORD mode : {D3DCULL_NONE, D3DCULL_CW, D3DCULL_CCW}) {
        Device reference("reference"), driver(name);
        for (Device* device : {&reference, &driver}) {
            device->SetTexture(4, 1, White);
            (*device)->SetRenderState(D3DRS_CULLMODE, mode);
            // The first triangle is clockwise on screen, the second counter-clockwise.
            ASSERT_EQ(device->Draw(D3DPT_TRIANGLELIST, {Device::At(10, 10, 0.5f, 0, 0), Device::At(300, 10, 0.5f, 0, 0),
                                                        Device::At(10, 300, 0.5f, 0, 0), Device::At(10, 590, 0.5f, 0, 0),
                                                        Device::At(300, 590, 0.5f, 0, 0), Device::At(10, 320, 0.5f, 0, 0)}),
                      S_OK);
        }
        const std::vector<std::uint32_t> frame = driver.Frame();
        EXPECT_EQ(Differences(reference.Frame(), frame), 0) << "cull mode " << mode;
        EXPECT_EQ(frame[50 * kWidth + 50] == 0xFFFFFFFFu, mode != D3DCULL_CW) << "cull mode " << mode;
        EXPECT_EQ(frame[550 * kWidth + 50] == 0xFFFFFFFFu, mode != D3DCULL_CCW) << "cull mode " << mode;
    }
}

inline void DepthTestKeepsTheNearerQuadWhicheverComesFirst(const char* name) {
    Device device(name);
    device.SetTexture(4, 1, [](UINT, UINT, UINT) { return 0xFF00FF00u; });
    device.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    ASSERT_EQ(device.DrawQuad(100, 100, 300, 300, 0, 0, 1, 1, 0.25f), S_OK);
    device.SetTexture(4, 1, [](UINT, UINT, UINT) { return 0xFFFF0000u; });
    ASSERT_EQ(device.DrawQuad(200, 200, 400, 400, 0, 0, 1, 1, 0.75f), S_OK);
    const std::vector<std::uint32_t> frame = device.Frame();
    EXPECT_EQ(frame[250 * kWidth + 250], 0xFF00FF00u);  // both drawn here: the nearer, first one stays
    EXPECT_EQ(frame[350 * kWidth + 350], 0xFFFF0000u);
    EXPECT_EQ(frame[150 * kWidth + 150], 0xFF00FF00u);
}

// A 128-pixel quad over a 256-texel texture: level of detail 1.
inline void LodBiasMovesTheLevelByWholeLevels(const char* name) {
    const std::pair<float, UINT> cases[] = {{0.0f, 1}, {1.0f, 2}, {-1.0f, 0}, {2.0f, 3}};
    for (const auto& [bias, level] : cases) {
        Device device(name);
        device.SetTexture(256, 9, LevelColor);
        device.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, std::bit_cast<DWORD>(bias));
        ASSERT_EQ(device.DrawQuad(0, 0, 128, 128, 0, 0, 1, 1), S_OK);
        EXPECT_EQ(Count(device.Frame(), LevelColor(level, 0, 0)), 128 * 128) << "bias " << bias;
    }
}

inline void MaxMipLevelClampsTheLevelChosenFromLevelZero(const char* name) {
    // {MAXMIPLEVEL, quad side for a 256-texel texture, level expected}: a
    // 128-pixel quad is at level 1 and a 64-pixel one at level 2, whatever
    // MAXMIPLEVEL; it only keeps the level from being more detailed, also
    // where the texture is magnified (the 512-pixel quad, cut by the target).
    const std::tuple<DWORD, float, UINT> cases[] = {{0, 128, 1}, {3, 128, 3}, {1, 64, 2}, {2, 64, 2}, {3, 64, 3},
                                                    {2, 512, 2}};
    for (const auto& [maxMipLevel, side, level] : cases) {
        Device device(name);
        device.SetTexture(256, 9, LevelColor);
        device.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, maxMipLevel);
        ASSERT_EQ(device.DrawQuad(0, 0, side, side, 0, 0, 1, 1), S_OK);
        EXPECT_EQ(Count(device.Frame(), LevelColor(level, 0, 0)), int(std::min(side, float(kHeight)) * side))
            << "MAXMIPLEVEL " << maxMipLevel << ", side " << side;
    }
}

// Level 0 yellow, level 2 cyan: their product is green.
inline void TwoStagesSamplingOneTextureKeepTheirOwnMaxMipLevel(const char* name) {
    Device reference("reference"), driver(name);
    for (Device* device : {&reference, &driver}) {
        device->SetTexture(64, 3, [](UINT level, UINT, UINT) { return level == 0 ? 0xFFFFFF00u : 0xFF00FFFFu; });
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
    const std::vector<std::uint32_t> frame = driver.Frame();
    EXPECT_EQ(Count(frame, 0xFF00FF00u), 64 * 64);
    EXPECT_EQ(Differences(reference.Frame(), frame), 0);
}

inline void BorderAddressingShowsTheBorderColourOutsideTheTexture(const char* name) {
    for (DWORD border : {0xFF123456u, 0xFFFFFFFFu}) {
        Device device(name);
        device.SetTexture(4, 1, UniqueTexel);
        device.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_BORDER);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_BORDER);
        device->SetSamplerState(0, D3DSAMP_BORDERCOLOR, border);
        ASSERT_EQ(device.DrawQuad(0, 0, 64, 64, -1, -1, 3, 3), S_OK);  // 4 pixels per texel, texture at 16 .. 31
        const std::vector<std::uint32_t> frame = device.Frame();
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

inline void MirrorOnceAddressingMirrorsOnceThenClamps(const char* name) {
    Device device(name);
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), S_OK);
    ASSERT_NE(caps.TextureAddressCaps & D3DPTADDRESSCAPS_MIRRORONCE, 0u) << name << " mirrors once";
    ASSERT_NE(caps.TextureAddressCaps & D3DPTADDRESSCAPS_BORDER, 0u);
    device.SetTexture(4, 1, UniqueTexel);
    device.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRRORONCE);
    ASSERT_EQ(device.DrawQuad(0, 0, 80, 16, -2, 0, 3, 1), S_OK);  // u from -2 to 3, 4 pixels per texel
    const std::vector<std::uint32_t> frame = device.Frame();
    // Texel columns, 4 pixels each: u in [-2, -1) clamps to the mirrored
    // edge (3), [-1, 0) is mirrored (3 2 1 0), [0, 1) as it is, beyond 1 the
    // edge (3).
    const UINT columns[20] = {3, 3, 3, 3, 3, 2, 1, 0, 0, 1, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3};
    int wrong = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 80; ++x)
            wrong += frame[std::size_t(y) * kWidth + x] != UniqueTexel(0, columns[x / 4], UINT(y) / 4);
    EXPECT_EQ(wrong, 0);
}

// A plane running away from the camera: every footprint is anisotropic.
inline std::vector<std::uint32_t> SlantedFrame(const char* name, DWORD minFilter, DWORD maxAnisotropy) {
    Device device(name);
    device.SetTexture(256, 9, [](UINT level, UINT x, UINT y) {
        return ((x >> 2) + (y >> 2) + level) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
    });
    device.SetFilters(minFilter, D3DTEXF_LINEAR, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, maxAnisotropy);
    D3DMATRIX projection{};
    projection.m[0][0] = 1.0f;
    projection.m[1][1] = 4.0f / 3.0f;
    projection.m[2][2] = 1.0f;
    projection.m[2][3] = 1.0f;
    projection.m[3][2] = -0.1f;
    device->SetTransform(D3DTS_PROJECTION, &projection);
    EXPECT_EQ(device.Draw(D3DPT_TRIANGLESTRIP, {{-1, -0.5f, 0.2f, 0, 0}, {1, -0.5f, 0.2f, 4, 0},
                                                {-1, -0.5f, 8.0f, 0, 16}, {1, -0.5f, 8.0f, 4, 16}}),
              S_OK);
    return device.Frame();
}

inline void MaxAnisotropyCountsOnlyWithTheAnisotropicMinFilter(const char* name) {
    EXPECT_EQ(Differences(SlantedFrame(name, D3DTEXF_LINEAR, 1), SlantedFrame(name, D3DTEXF_LINEAR, 16)), 0);
    EXPECT_EQ(Differences(SlantedFrame(name, D3DTEXF_POINT, 1), SlantedFrame(name, D3DTEXF_POINT, 16)), 0);
    EXPECT_GT(Differences(SlantedFrame(name, D3DTEXF_ANISOTROPIC, 1), SlantedFrame(name, D3DTEXF_ANISOTROPIC, 16)),
              1000);
}

// X8R8G8B8 goes up as stored, A4L4 decoded: both again after each lock.
inline void TexturesAreUploadedAgainAfterALock(const char* name) {
    for (const auto& [format, bytesPerTexel] : {std::pair{D3DFMT_X8R8G8B8, 4}, std::pair{D3DFMT_A4L4, 1}}) {
        Device reference("reference"), driver(name);
        for (Device* device : {&reference, &driver}) {
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
        const std::vector<std::uint32_t> frame = driver.Frame();
        EXPECT_NE(frame[10], frame[110]) << format;  // the second pass drew other texels
        EXPECT_EQ(Differences(reference.Frame(), frame), 0) << format;
    }
}

// u' = u + 1/4 (64 texels of 256); projected, q = 2 halves both.
inline void TextureTransformMovesCoordinatesAsOnTheReferenceDevice(const char* name) {
    for (bool projected : {false, true}) {
        Device reference("reference"), driver(name);
        D3DMATRIX transform{};
        transform.m[0][0] = transform.m[1][1] = transform.m[2][2] = transform.m[3][3] = 1.0f;
        transform.m[2][0] = 0.25f;
        if (projected) transform.m[2][2] = 2.0f;
        for (Device* device : {&reference, &driver}) {
            device->SetTexture(256, 1, UniqueTexel);
            device->SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
            (*device)->SetTransform(D3DTS_TEXTURE0, &transform);
            (*device)->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS,
                                            projected ? D3DTTFF_COUNT3 | D3DTTFF_PROJECTED : D3DTTFF_COUNT2);
            ASSERT_EQ(device->DrawQuad(0, 0, 256, 256, 0, 0, 1, 1), S_OK);
        }
        const std::vector<std::uint32_t> frame = driver.Frame();
        EXPECT_EQ(frame[0], UniqueTexel(0, projected ? 32 : 64, 0)) << "projected " << projected;
        EXPECT_EQ(Differences(reference.Frame(), frame), 0) << "projected " << projected;
    }
}

inline void WritesIntoTheLockedBackBufferSurviveLaterDrawing(const char* name) {
    Device device(name);
    device.SetTexture(4, 1, White);
    ASSERT_EQ(device.DrawQuad(0, 0, 10, 10, 0, 0, 1, 1), S_OK);
    IDirect3DSurface9* back = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(back->LockRect(&locked, nullptr, 0), S_OK);
    EXPECT_EQ(static_cast<std::uint32_t*>(locked.pBits)[0], 0xFFFFFFFFu);  // the quad, read back
    static_cast<std::uint32_t*>(locked.pBits)[799] = 0xFF123456u;
    back->UnlockRect();
    back->Release();
    ASSERT_EQ(device.DrawQuad(20, 20, 30, 30, 0, 0, 1, 1), S_OK);
    const std::vector<std::uint32_t> frame = device.Frame();
    EXPECT_EQ(frame[799], 0xFF123456u);
    EXPECT_EQ(frame[25 * kWidth + 25], 0xFFFFFFFFu);
    EXPECT_EQ(frame[5 * kWidth + 5], 0xFFFFFFFFu);
}

}  // namespace quillmark::device_checks

// Registers every check above as a test of `Fixture` on the device `name`.
#define QUILLMARK_DEVICE_CHECK(Fixture, Check, name) \
    TEST_F(Fixture, Check) { ::quillmark::device_checks::Check(name); }
#define QUILLMARK_DEVICE_CHECKS(Fixture, name)                                                          \
    QUILLMARK_DEVICE_CHECK(Fixture, FacingQuadAtOneTexelPerPixelReadsEveryTexelOnceTopDown, name)        \
    QUILLMARK_DEVICE_CHECK(Fixture, DepthBesideHalfwayBetweenD16StepsRoundsAsOnTheReferenceDevice, name) \
    QUILLMARK_DEVICE_CHECK(Fixture, TrianglesCoverTheSamePixelsAsOnTheReferenceDevice, name)             \
    QUILLMARK_DEVICE_CHECK(Fixture, CullModesRemoveTheSameTrianglesAsOnTheReferenceDevice, name)         \
    QUILLMARK_DEVICE_CHECK(Fixture, DepthTestKeepsTheNearerQuadWhicheverComesFirst, name)                \
    QUILLMARK_DEVICE_CHECK(Fixture, LodBiasMovesTheLevelByWholeLevels, name)                             \
    QUILLMARK_DEVICE_CHECK(Fixture, MaxMipLevelClampsTheLevelChosenFromLevelZero, name)                  \
    QUILLMARK_DEVICE_CHECK(Fixture, TwoStagesSamplingOneTextureKeepTheirOwnMaxMipLevel, name)            \
    QUILLMARK_DEVICE_CHECK(Fixture, BorderAddressingShowsTheBorderColourOutsideTheTexture, name)         \
    QUILLMARK_DEVICE_CHECK(Fixture, MirrorOnceAddressingMirrorsOnceThenClamps, name)                     \
    QUILLMARK_DEVICE_CHECK(Fixture, MaxAnisotropyCountsOnlyWithTheAnisotropicMinFilter, name)            \
    QUILLMARK_DEVICE_CHECK(Fixture, TexturesAreUploadedAgainAfterALock, name)                            \
    QUILLMARK_DEVICE_CHECK(Fixture, TextureTransformMovesCoordinatesAsOnTheReferenceDevice, name)        \
    QUILLMARK_DEVICE_CHECK(Fixture, WritesIntoTheLockedBackBufferSurviveLaterDrawing, name)
