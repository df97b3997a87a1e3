// The OpenGL device on llvmpipe against hand-worked values and against the
// reference device's frames of the same scene: pixel centres, read-back
// order, coverage, level choice, sampler-state mapping, culling, depth,
// uploads of changed resources and the Present fault switch.
#include <cmath>
#include <random>

#include "gl_context.h"
#include "gl_fixture.h"
#include "sampler_mapping.h"
#include "reference_direct3d.h"

namespace quillmark::gl::testing {
namespace {

constexpr const char* kGl = "llvmpipe";

std::uint32_t UniqueTexel(UINT, UINT x, UINT y) { return 0xFF000000u | (x << 12) | (y << 2) | 1u; }

// One solid colour per level, all different.
std::uint32_t LevelColor(UINT level, UINT, UINT) {
    constexpr std::uint32_t kColors[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00,
                                         0xFF00FFFF, 0xFFFF00FF, 0xFF808080, 0xFF804000};
    return kColors[level % 8];
}

std::uint32_t White(UINT, UINT, UINT) { return 0xFFFFFFFF; }

class GlDevice : public ::testing::Test {
protected:
    void SetUp() override { QUILLMARK_REQUIRE_GL(kGl); }
};

TEST_F(GlDevice, FacingQuadAtOneTexelPerPixelReadsEveryTexelOnceTopDown) {
    Device gl(kGl);
    gl.SetTexture(256, 1, UniqueTexel);
    gl.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    ASSERT_EQ(gl.DrawQuad(100, 50, 356, 306, 0, 0, 1, 1), S_OK);
    const std::vector<std::uint32_t> frame = gl.Frame();
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
// buffer holds exactly that step. Depth reaches the driver as z itself, so
// it rounds as on the reference device; a remap of z to [-w, w] and back
// moves some of these values across the halfway point. (Exactly halfway,
// llvmpipe rounds to the even step, the reference device up.)
TEST_F(GlDevice, DepthBesideHalfwayBetweenD16StepsRoundsAsOnTheReferenceDevice) {
    Device reference("reference"), gl(kGl);
    for (Device* device : {&reference, &gl}) {
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
    EXPECT_EQ(Differences(reference.Frame(), gl.Frame()), 0);
}

// Triangles with vertices anywhere between pixel centres.
std::vector<Vertex> ScatteredTriangles() {
    std::mt19937 random(13);
    std::uniform_real_distribution<float> x(-40.0f, 840.0f), y(-40.0f, 640.0f), z(0.1f, 0.9f);
    std::vector<Vertex> vertices;
    for (int i = 0; i < 60; ++i) vertices.push_back(Device::At(x(random), y(random), z(random), 0, 0));
    return vertices;
}

TEST_F(GlDevice, TrianglesCoverTheSamePixelsAsOnTheReferenceDevice) {
    Device reference("reference"), gl(kGl);
    for (Device* device : {&reference, &gl}) {
        device->SetTexture(4, 1, White);
        (*device)->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        ASSERT_EQ(device->Draw(D3DPT_TRIANGLELIST, ScatteredTriangles()), S_OK);
    }
    const std::vector<std::uint32_t> frame = gl.Frame();
    const auto covered = std::count(frame.begin(), frame.end(), 0xFFFFFFFFu);
    EXPECT_GT(covered, 100000);
    // Both devices snap vertices to 1/256 pixel and use the top-left rule;
    // the half-pixel move can round a vertex to the neighbouring 1/256, which
    // moves a pixel centre lying almost on an edge to the other side.
    EXPECT_LE(Differences(reference.Frame(), frame), covered / 10000);
}

TEST_F(GlDevice, CullModesRemoveTheSameTrianglesAsOnTheReferenceDevice) {
    for (DWORD mode : {D3DCULL_NONE, D3DCULL_CW, D3DCULL_CCW}) {
        Device reference("reference"), gl(kGl);
        for (Device* device : {&reference, &gl}) {
            device->SetTexture(4, 1, White);
            (*device)->SetRenderState(D3DRS_CULLMODE, mode);
            // The first triangle is clockwise on screen, the second counter-clockwise.
            ASSERT_EQ(device->Draw(D3DPT_TRIANGLELIST, {Device::At(10, 10, 0.5f, 0, 0), Device::At(300, 10, 0.5f, 0, 0),
                                                        Device::At(10, 300, 0.5f, 0, 0), Device::At(10, 590, 0.5f, 0, 0),
                                                        Device::At(300, 590, 0.5f, 0, 0), Device::At(10, 320, 0.5f, 0, 0)}),
                      S_OK);
        }
        const std::vector<std::uint32_t> frame = gl.Frame();
        EXPECT_EQ(Differences(reference.Frame(), frame), 0) << "cull mode " << mode;
        EXPECT_EQ(frame[50 * kWidth + 50] == 0xFFFFFFFFu, mode != D3DCULL_CW) << "cull mode " << mode;
        EXPECT_EQ(frame[550 * kWidth + 50] == 0xFFFFFFFFu, mode != D3DCULL_CCW) << "cull mode " << mode;
    }
}

TEST_F(GlDevice, DepthTestKeepsTheNearerQuadWhicheverComesFirst) {
    Device gl(kGl);
    gl.SetTexture(4, 1, [](UINT, UINT, UINT) { return 0xFF00FF00u; });
    gl.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    ASSERT_EQ(gl.DrawQuad(100, 100, 300, 300, 0, 0, 1, 1, 0.25f), S_OK);
    gl.SetTexture(4, 1, [](UINT, UINT, UINT) { return 0xFFFF0000u; });
    ASSERT_EQ(gl.DrawQuad(200, 200, 400, 400, 0, 0, 1, 1, 0.75f), S_OK);
    const std::vector<std::uint32_t> frame = gl.Frame();
    EXPECT_EQ(frame[250 * kWidth + 250], 0xFF00FF00u);  // both drawn here: the nearer, first one stays
    EXPECT_EQ(frame[350 * kWidth + 350], 0xFFFF0000u);
    EXPECT_EQ(frame[150 * kWidth + 150], 0xFF00FF00u);
}

// A quad covering 2 x 2 texels of level 0 per pixel: level of detail 1.
void DrawAtLevelOne(Device& device) { ASSERT_EQ(device.DrawQuad(0, 0, 128, 128, 0, 0, 1, 1), S_OK); }

TEST_F(GlDevice, LodBiasMovesTheLevelByWholeLevels) {
    const std::pair<float, UINT> cases[] = {{0.0f, 1}, {1.0f, 2}, {-1.0f, 0}, {2.0f, 3}};
    for (const auto& [bias, level] : cases) {
        Device gl(kGl);
        gl.SetTexture(256, 9, LevelColor);
        gl.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
        gl->SetSamplerState(0, D3DSAMP_MIPMAPLODBIAS, std::bit_cast<DWORD>(bias));
        DrawAtLevelOne(gl);
        const std::vector<std::uint32_t> frame = gl.Frame();
        EXPECT_EQ(std::count(frame.begin(), frame.end(), LevelColor(level, 0, 0)), 128 * 128) << "bias " << bias;
    }
}

TEST_F(GlDevice, MipFilterNoneSamplesOnlyTheBaseLevel) {
    Device gl(kGl);
    gl.SetTexture(256, 9, LevelColor);
    gl.SetFilters(D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_NONE);
    ASSERT_EQ(gl.DrawQuad(0, 0, 16, 16, 0, 0, 1, 1), S_OK);  // 16 texels per pixel
    const std::vector<std::uint32_t> frame = gl.Frame();
    EXPECT_EQ(std::count(frame.begin(), frame.end(), LevelColor(0, 0, 0)), 16 * 16);
}

TEST_F(GlDevice, MaxMipLevelClampsTheLevelChosenFromLevelZero) {
    // {MAXMIPLEVEL, quad side for a 256-texel texture, level expected}: a
    // 128-pixel quad is at level 1 and a 64-pixel one at level 2, whatever
    // MAXMIPLEVEL; it only keeps the level from being more detailed.
    const std::tuple<DWORD, float, UINT> cases[] = {{0, 128, 1}, {3, 128, 3}, {1, 64, 2}, {2, 64, 2}, {3, 64, 3}};
    for (const auto& [maxMipLevel, side, level] : cases) {
        Device gl(kGl);
        gl.SetTexture(256, 9, LevelColor);
        gl.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
        gl->SetSamplerState(0, D3DSAMP_MAXMIPLEVEL, maxMipLevel);
        ASSERT_EQ(gl.DrawQuad(0, 0, side, side, 0, 0, 1, 1), S_OK);
        const std::vector<std::uint32_t> frame = gl.Frame();
        EXPECT_EQ(std::count(frame.begin(), frame.end(), LevelColor(level, 0, 0)), int(side * side))
            << "MAXMIPLEVEL " << maxMipLevel << ", side " << side;
    }
}

// Level 0 yellow, level 2 cyan: their product is green.
std::uint32_t YellowOverCyan(UINT level, UINT, UINT) { return level == 0 ? 0xFFFFFF00u : 0xFF00FFFFu; }

TEST_F(GlDevice, TwoStagesSamplingOneTextureKeepTheirOwnMaxMipLevel) {
    Device reference("reference"), gl(kGl);
    for (Device* device : {&reference, &gl}) {
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
    const std::vector<std::uint32_t> frame = gl.Frame();
    EXPECT_EQ(std::count(frame.begin(), frame.end(), 0xFF00FF00u), 64 * 64);
    EXPECT_EQ(Differences(reference.Frame(), frame), 0);
}

TEST_F(GlDevice, BorderAddressingShowsTheBorderColourOutsideTheTexture) {
    Device gl(kGl);
    gl.SetTexture(4, 1, UniqueTexel);
    gl.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    gl->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_BORDER);
    gl->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_BORDER);
    gl->SetSamplerState(0, D3DSAMP_BORDERCOLOR, 0xFF123456u);
    ASSERT_EQ(gl.DrawQuad(0, 0, 64, 64, -1, -1, 3, 3), S_OK);  // 4 pixels per texel, texture at 16 .. 31
    const std::vector<std::uint32_t> frame = gl.Frame();
    int wrong = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const bool inside = x >= 16 && x < 32 && y >= 16 && y < 32;
            const std::uint32_t expected = inside ? UniqueTexel(0, UINT(x - 16) / 4, UINT(y - 16) / 4) : 0xFF123456u;
            wrong += frame[std::size_t(y) * kWidth + x] != expected;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(SamplerMapping, MirrorOnceIsRefusedWhereTheDriverCannotMirrorOnce) {
    std::array<DWORD, D3D_SAMPLER_STATE_COUNT> states{};
    states[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
    states[D3DSAMP_ADDRESSV] = D3DTADDRESS_MIRRORONCE;
    GlSampling sampling;
    EXPECT_FALSE(MapSamplerStates(states, 1, GlSamplerSupport{16, false}, &sampling));
    EXPECT_TRUE(MapSamplerStates(states, 1, GlSamplerSupport{16, true}, &sampling));
    states[D3DSAMP_ADDRESSV] = D3DTADDRESS_BORDER;
    EXPECT_TRUE(MapSamplerStates(states, 1, GlSamplerSupport{16, false}, &sampling));
}

TEST_F(GlDevice, MirrorOnceAddressingMirrorsOnceThenClamps) {
    Device gl(kGl);
    D3DCAPS9 caps{};
    ASSERT_EQ(gl->GetDeviceCaps(&caps), S_OK);
    ASSERT_NE(caps.TextureAddressCaps & D3DPTADDRESSCAPS_MIRRORONCE, 0u) << "llvmpipe mirrors once";
    ASSERT_NE(caps.TextureAddressCaps & D3DPTADDRESSCAPS_BORDER, 0u);
    gl.SetTexture(4, 1, UniqueTexel);
    gl.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
    gl->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRRORONCE);
    ASSERT_EQ(gl.DrawQuad(0, 0, 80, 16, -2, 0, 3, 1), S_OK);  // u from -2 to 3, 4 pixels per texel
    const std::vector<std::uint32_t> frame = gl.Frame();
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
void DrawSlantedPlane(Device& device) {
    D3DMATRIX projection{};
    projection.m[0][0] = 1.0f;
    projection.m[1][1] = 4.0f / 3.0f;
    projection.m[2][2] = 1.0f;
    projection.m[2][3] = 1.0f;
    projection.m[3][2] = -0.1f;
    device->SetTransform(D3DTS_PROJECTION, &projection);
    ASSERT_EQ(device.Draw(D3DPT_TRIANGLESTRIP, {{-1, -0.5f, 0.2f, 0, 0}, {1, -0.5f, 0.2f, 4, 0},
                                                 {-1, -0.5f, 8.0f, 0, 16}, {1, -0.5f, 8.0f, 4, 16}}),
              S_OK);
}

std::uint32_t Checker(UINT level, UINT x, UINT y) {
    return ((x >> 2) + (y >> 2) + level) % 2 ? 0xFFFFFFFFu : 0xFF000000u;
}

std::vector<std::uint32_t> SlantedFrame(DWORD minFilter, DWORD maxAnisotropy) {
    Device gl(kGl);
    gl.SetTexture(256, 9, Checker);
    gl.SetFilters(minFilter, D3DTEXF_LINEAR, D3DTEXF_LINEAR);
    gl->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, maxAnisotropy);
    DrawSlantedPlane(gl);
    return gl.Frame();
}

TEST_F(GlDevice, MaxAnisotropyCountsOnlyWithTheAnisotropicMinFilter) {
    EXPECT_EQ(Differences(SlantedFrame(D3DTEXF_LINEAR, 1), SlantedFrame(D3DTEXF_LINEAR, 16)), 0);
    EXPECT_EQ(Differences(SlantedFrame(D3DTEXF_POINT, 1), SlantedFrame(D3DTEXF_POINT, 16)), 0);
    EXPECT_GT(Differences(SlantedFrame(D3DTEXF_ANISOTROPIC, 1), SlantedFrame(D3DTEXF_ANISOTROPIC, 16)), 1000);
}

// X8R8G8B8 goes up as stored, A4L4 decoded: both again after each lock.
TEST_F(GlDevice, TexturesAreUploadedAgainAfterALock) {
    for (const auto& [format, bytesPerTexel] : {std::pair{D3DFMT_X8R8G8B8, 4}, std::pair{D3DFMT_A4L4, 1}}) {
        Device reference("reference"), gl(kGl);
        for (Device* device : {&reference, &gl}) {
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
        const std::vector<std::uint32_t> frame = gl.Frame();
        EXPECT_NE(frame[10], frame[110]) << format;  // the second pass drew other texels
        EXPECT_EQ(Differences(reference.Frame(), frame), 0) << format;
    }
}

TEST_F(GlDevice, TextureTransformMovesCoordinatesAsOnTheReferenceDevice) {
    Device reference("reference"), gl(kGl);
    D3DMATRIX shift{};
    shift.m[0][0] = shift.m[1][1] = shift.m[2][2] = shift.m[3][3] = 1.0f;
    shift.m[2][0] = 0.25f;  // u' = u + 1/4: 64 texels of 256
    for (Device* device : {&reference, &gl}) {
        device->SetTexture(256, 1, UniqueTexel);
        device->SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
        (*device)->SetTransform(D3DTS_TEXTURE0, &shift);
        (*device)->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
        ASSERT_EQ(device->DrawQuad(0, 0, 256, 256, 0, 0, 1, 1), S_OK);
    }
    const std::vector<std::uint32_t> frame = gl.Frame();
    EXPECT_EQ(frame[0], UniqueTexel(0, 64, 0));
    EXPECT_EQ(Differences(reference.Frame(), frame), 0);
}

TEST_F(GlDevice, WritesIntoTheLockedBackBufferSurviveLaterDrawing) {
    Device gl(kGl);
    gl.SetTexture(4, 1, White);
    ASSERT_EQ(gl.DrawQuad(0, 0, 10, 10, 0, 0, 1, 1), S_OK);
    IDirect3DSurface9* back = nullptr;
    gl->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(back->LockRect(&locked, nullptr, 0), S_OK);
    EXPECT_EQ(static_cast<std::uint32_t*>(locked.pBits)[0], 0xFFFFFFFFu);  // the quad, read back
    static_cast<std::uint32_t*>(locked.pBits)[799] = 0xFF123456u;
    back->UnlockRect();
    back->Release();
    ASSERT_EQ(gl.DrawQuad(20, 20, 30, 30, 0, 0, 1, 1), S_OK);
    const std::vector<std::uint32_t> frame = gl.Frame();
    EXPECT_EQ(frame[799], 0xFF123456u);
    EXPECT_EQ(frame[25 * kWidth + 25], 0xFFFFFFFFu);
    EXPECT_EQ(frame[5 * kWidth + 5], 0xFFFFFFFFu);
}

TEST_F(GlDevice, PresentFaultSwitchLosesTheDevice) {
    Device gl(kGl);
    reference::FailNextPresents(1);
    EXPECT_EQ(gl->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(gl->Present(nullptr, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(GlDevice, AnUnopenableDriverIsRefusedWithItsReason) {
    std::string error;
    {
        Device gl(kGl);
        EXPECT_EQ(CreateNamedDirect3D("softpipe", &error), nullptr);
        EXPECT_NE(error.find("only one OpenGL driver"), std::string::npos) << error;
    }
    QUILLMARK_EXPECT_IN_CHILD([] {
        std::string reason;
        setenv("LIBGL_DRIVERS_PATH", "/nonexistent", 1);
        const bool refused = CreateNamedDirect3D("softpipe", &reason) == nullptr;
        std::fprintf(stderr, "%s\n", reason.c_str());
        return refused && reason.find("no usable OpenGL driver") != std::string::npos;
    });
    // "gl" tries every EGL device, then the surfaceless and the default display.
    QUILLMARK_EXPECT_IN_CHILD([] {
        std::string reason;
        setenv("LIBGL_DRIVERS_PATH", "/nonexistent", 1);
        const bool refused = CreateNamedDirect3D("gl", &reason) == nullptr;
        std::fprintf(stderr, "%s\n", reason.c_str());
        return refused && reason.find("EGL device 0") != std::string::npos &&
               reason.find("the surfaceless display: eglInitialize failed") != std::string::npos &&
               reason.find("the default display: ") != std::string::npos;
    });
}

TEST(GlChoice, NamesReadAsADriverADeviceIndexOrARendererSubstring) {
    GlChoice choice;
    ASSERT_TRUE(ParseGlChoice("gl", &choice));
    EXPECT_EQ(choice.kind, GlChoice::Kind::First);
    ASSERT_TRUE(ParseGlChoice("gl:12", &choice));
    EXPECT_EQ(choice.kind, GlChoice::Kind::Device);
    EXPECT_EQ(choice.device, 12);
    ASSERT_TRUE(ParseGlChoice("gl:Radeon RX", &choice));
    EXPECT_EQ(choice.kind, GlChoice::Kind::Renderer);
    EXPECT_EQ(choice.renderer, "Radeon RX");
    ASSERT_TRUE(ParseGlChoice("gl:3a", &choice));
    EXPECT_EQ(choice.kind, GlChoice::Kind::Renderer);
    ASSERT_TRUE(ParseGlChoice("softpipe", &choice));
    EXPECT_EQ(choice.kind, GlChoice::Kind::Softpipe);
    for (const char* name : {"gl:", "glx", "GL", "reference", "gl0"})
        EXPECT_FALSE(ParseGlChoice(name, &choice)) << name;
}

TEST_F(GlDevice, ARendererSubstringPicksTheDriverInAnyCase) {
    const auto check = [] {
        std::string description, error;
        const bool found = DescribeDevice("gl:LLVMPIPE", &description, &error);
        std::fprintf(stderr, "%s%s\n", description.c_str(), error.c_str());
        return found && description.starts_with("llvmpipe");
    };
    QUILLMARK_EXPECT_IN_CHILD(check);
}

TEST_F(GlDevice, ARendererNoDisplayOffersIsRefusedNamingEveryDisplayTried) {
    const auto check = [] {
        std::string error;
        const bool refused = CreateNamedDirect3D("gl:no such renderer", &error) == nullptr;
        std::fprintf(stderr, "%s\n", error.c_str());
        return refused && error.find("no usable OpenGL driver") != std::string::npos &&
               error.find("the surfaceless display: its renderer \"llvmpipe") != std::string::npos &&
               error.find("is not no such renderer") != std::string::npos &&
               error.find("the default display: ") != std::string::npos;
    };
    QUILLMARK_EXPECT_IN_CHILD(check);
}

TEST_F(GlDevice, EachEglDeviceIsNamedByItsIndexAndOneBeyondIsRefused) {
    const auto check = [] {
        const std::vector<std::string> names = GlDeviceNames();
        bool all = !names.empty();
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::string description, error;
            all = all && names[i] == "gl:" + std::to_string(i);
            // A device that opens says so through itself; one that does not gives its reason.
            if (DescribeDevice(names[i], &description, &error))
                all = all && description.find("through EGL device " + std::to_string(i)) != std::string::npos;
            else
                all = all && error.find("EGL device " + std::to_string(i)) != std::string::npos;
        }
        std::string error;
        const std::string beyond = "gl:" + std::to_string(names.size());
        all = all && CreateNamedDirect3D(beyond, &error) == nullptr &&
              error.find("there is no EGL device " + std::to_string(names.size())) != std::string::npos;
        std::fprintf(stderr, "%s\n", error.c_str());
        return all;
    };
    QUILLMARK_EXPECT_IN_CHILD(check);
}

TEST_F(GlDevice, CapsReportTheDriversAnisotropy) {
    Device gl(kGl);
    D3DCAPS9 caps{};
    ASSERT_EQ(gl->GetDeviceCaps(&caps), S_OK);
    EXPECT_GE(caps.MaxAnisotropy, 1u);
    EXPECT_EQ((caps.TextureFilterCaps & D3DPTFILTERCAPS_MINFANISOTROPIC) != 0, caps.MaxAnisotropy > 1);
}

}  // namespace
}  // namespace quillmark::gl::testing
