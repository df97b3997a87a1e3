// The OpenGL device on llvmpipe against hand-worked values and against the
// reference device's frames of the same scene: pixel centres, read-back
// order, coverage, level choice, sampler-state mapping, culling, depth,
// uploads of changed resources and the Present fault switch.
#include "../device_checks.h"
#include "devices/gl/gl_context.h"
#include "gl_fixture.h"
#include "devices/gl/gl_api.h"
#include "devices/gl/sampler_mapping.h"
#include "devices/core/direct3d.h"
#include "devices/core/driver_caps.h"

namespace quillmark::gl::testing {
namespace {

using device_checks::LevelColor;

constexpr const char* kGl = "llvmpipe";

class GlDevice : public ::testing::Test {
protected:
    void SetUp() override { QUILLMARK_REQUIRE_GL(kGl); }
};

QUILLMARK_DEVICE_CHECKS(GlDevice, kGl)

TEST_F(GlDevice, MipFilterNoneSamplesOnlyTheBaseLevel) {
    Device gl(kGl);
    gl.SetTexture(256, 9, LevelColor);
    gl.SetFilters(D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_NONE);
    ASSERT_EQ(gl.DrawQuad(0, 0, 16, 16, 0, 0, 1, 1), S_OK);  // 16 texels per pixel
    const std::vector<std::uint32_t> frame = gl.Frame();
    EXPECT_EQ(std::count(frame.begin(), frame.end(), LevelColor(0, 0, 0)), 16 * 16);
}

TEST(SamplerMapping, MirrorOnceIsWrapWhereTheDriverCannotMirrorOnce) {
    std::array<DWORD, D3D_SAMPLER_STATE_COUNT> states{};
    states[D3DSAMP_ADDRESSU] = D3DTADDRESS_BORDER;
    states[D3DSAMP_ADDRESSV] = D3DTADDRESS_MIRRORONCE;
    states[D3DSAMP_BORDERCOLOR] = 0x80FF4000u;
    // What the OpenGL device's caps list: BORDER always, MIRRORONCE where the driver has mirror-clamp.
    GlSampling sampling = MapSampler(core::DescribeSampler(states, 1, core::CapsWithDriver({16, 4096, true, false})));
    EXPECT_EQ(sampling.wrapS, unsigned(GL_CLAMP_TO_BORDER));
    EXPECT_EQ(sampling.wrapT, unsigned(GL_REPEAT));
    EXPECT_EQ(sampling.borderColor, (std::array<float, 4>{1.0f, 64.0f / 255, 0.0f, 128.0f / 255}));
    sampling = MapSampler(core::DescribeSampler(states, 1, core::CapsWithDriver({16, 4096, true, true})));
    EXPECT_EQ(sampling.wrapT, unsigned(GL_MIRROR_CLAMP_TO_EDGE));
}

TEST_F(GlDevice, PresentFaultSwitchLosesTheDevice) {
    Device gl(kGl);
    core::FailNextPresents(1);
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
