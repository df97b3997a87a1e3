// Odd sampler states drawn on every device this machine has (the reference
// device, OpenGL on llvmpipe and softpipe, Vulkan on lavapipe; a device
// that cannot be opened here is skipped, saying why): each follows the one
// rule of the draw plan. An odd value draws the very frame of the value the
// rule makes of it, on the same device; where the frames of solid-coloured
// levels can be worked out by hand, they are, and the reference device
// draws the same. Each test opens one device (and the reference device),
// so that one process never loads two drivers.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "../gl/gl_fixture.h"
#include "devices/select/d3d9_select.h"

namespace quillmark {
namespace {

using gl::testing::Device;
using gl::testing::Differences;
using gl::testing::kWidth;

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// 128 x 128, 8 levels, one colour per level, all different.
constexpr UINT kSize = 128;
constexpr UINT kLevels = 8;
constexpr std::uint32_t kLevelColors[kLevels] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00,
                                                 0xFF00FFFF, 0xFFFF00FF, 0xFF808080, 0xFF804000};

std::uint32_t LevelColor(UINT level, UINT, UINT) { return kLevelColors[level]; }
std::uint32_t UniqueTexel(UINT, UINT x, UINT y) { return 0xFF000000u | (x << 12) | (y << 2) | 1u; }

// One sampler state set on top of a scene's own.
struct State {
    D3DSAMPLERSTATETYPE type;
    DWORD value;
};

DWORD Bits(float value) { return std::bit_cast<DWORD>(value); }

// The pixels of [0, width) x [0, height), row by row.
std::vector<std::uint32_t> Corner(const std::vector<std::uint32_t>& frame, int width, int height) {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) pixels.push_back(frame[std::size_t(y) * kWidth + x]);
    return pixels;
}

std::vector<std::uint32_t> Solid(std::uint32_t color, std::size_t pixels) {
    return std::vector<std::uint32_t>(pixels, color);
}

class OddSamplerStates : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        std::string description, error;
        if (!DescribeDevice(GetParam(), &description, &error))
            GTEST_SKIP() << GetParam() << " cannot be opened here (" << error << ")";
    }

    static D3DCAPS9 CapsOf(const char* name) {
        Device device(name);
        D3DCAPS9 caps{};
        EXPECT_EQ(device->GetDeviceCaps(&caps), S_OK);
        return caps;
    }

    // A 64 x 64 quad showing the whole level-colour texture (level 1 at
    // λ = 1) with point filters, after `states`; the quad's pixels.
    static std::vector<std::uint32_t> LevelQuad(const char* name, std::vector<State> states) {
        Device device(name);
        device.SetTexture(kSize, kLevels, LevelColor);
        device.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
        for (const State& state : states) device->SetSamplerState(0, state.type, state.value);
        EXPECT_EQ(device.DrawQuad(0, 0, 64, 64, 0, 0, 1, 1), S_OK);
        return Corner(device.Frame(), 64, 64);
    }

    // A 64 x 16 quad showing the whole level-colour texture: two texels
    // per pixel across, eight down, so a footprint of ratio 4; the min
    // filter ANISOTROPIC with `maxAnisotropy`, mip filter POINT.
    static std::vector<std::uint32_t> SquashedQuad(const char* name, DWORD maxAnisotropy) {
        Device device(name);
        device.SetTexture(kSize, kLevels, LevelColor);
        device.SetFilters(D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR, D3DTEXF_POINT);
        device->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, maxAnisotropy);
        EXPECT_EQ(device.DrawQuad(0, 0, 64, 16, 0, 0, 1, 1), S_OK);
        return Corner(device.Frame(), 64, 16);
    }

    // A 64 x 64 quad over u, v in [-1, 3) of a 4 x 4 texture with point
    // filters and the address mode `mode` on both axes (border colour
    // opaque orange).
    static std::vector<std::uint32_t> AddressedQuad(const char* name, DWORD mode) {
        Device device(name);
        device.SetTexture(4, 1, UniqueTexel);
        device.SetFilters(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE);
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, mode);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, mode);
        device->SetSamplerState(0, D3DSAMP_BORDERCOLOR, 0xFFFF8000);
        EXPECT_EQ(device.DrawQuad(0, 0, 64, 64, -1, -1, 3, 3), S_OK);
        return Corner(device.Frame(), 64, 64);
    }
};

TEST_P(OddSamplerStates, LodBiasNaNIsNoBiasAndInfinitiesAreTheEndsOfTheRange) {
    const char* name = GetParam();
    const std::vector<std::uint32_t> unbiased = LevelQuad(name, {});
    EXPECT_EQ(unbiased, Solid(kLevelColors[1], 64 * 64)) << "λ = 1 shows level 1";
    EXPECT_EQ(LevelQuad(name, {{D3DSAMP_MIPMAPLODBIAS, Bits(kNaN)}}), unbiased);
    EXPECT_EQ(LevelQuad(name, {{D3DSAMP_MIPMAPLODBIAS, Bits(-kNaN)}}), unbiased);

    // Far beyond the chain either way: the last level, and magnification of level 0.
    const std::vector<std::uint32_t> coarsest = LevelQuad(name, {{D3DSAMP_MIPMAPLODBIAS, Bits(16.0f)}});
    EXPECT_EQ(coarsest, Solid(kLevelColors[kLevels - 1], 64 * 64));
    EXPECT_EQ(LevelQuad(name, {{D3DSAMP_MIPMAPLODBIAS, Bits(kInfinity)}}), coarsest);
    EXPECT_EQ(LevelQuad(name, {{D3DSAMP_MIPMAPLODBIAS, Bits(1.0e30f)}}), coarsest);
    const std::vector<std::uint32_t> finest = LevelQuad(name, {{D3DSAMP_MIPMAPLODBIAS, Bits(-16.0f)}});
    EXPECT_EQ(finest, Solid(kLevelColors[0], 64 * 64));
    EXPECT_EQ(LevelQuad(name, {{D3DSAMP_MIPMAPLODBIAS, Bits(-kInfinity)}}), finest);
}

TEST_P(OddSamplerStates, MaxMipLevelBeyondTheChainIsTheLastLevel) {
    const char* name = GetParam();
    const std::vector<std::uint32_t> last = LevelQuad(name, {{D3DSAMP_MAXMIPLEVEL, kLevels - 1}});
    EXPECT_EQ(last, Solid(kLevelColors[kLevels - 1], 64 * 64));
    for (DWORD beyond : {DWORD{kLevels}, DWORD{100}, DWORD{0xFFFFFFFF}})
        EXPECT_EQ(LevelQuad(name, {{D3DSAMP_MAXMIPLEVEL, beyond}}), last) << beyond;
    // With the mip filter NONE the first level alone is sampled: the last one.
    EXPECT_EQ(LevelQuad(name, {{D3DSAMP_MIPFILTER, D3DTEXF_NONE}, {D3DSAMP_MAXMIPLEVEL, 100}}), last);
}

TEST_P(OddSamplerStates, OddFramesOfSolidLevelsAreTheReferenceDevicesFrames) {
    const char* name = GetParam();
    for (const std::vector<State>& states :
         {std::vector<State>{{D3DSAMP_MIPMAPLODBIAS, Bits(kNaN)}}, {{D3DSAMP_MIPMAPLODBIAS, Bits(kInfinity)}},
          {{D3DSAMP_MIPMAPLODBIAS, Bits(-kInfinity)}}, {{D3DSAMP_MAXMIPLEVEL, 100}},
          {{D3DSAMP_MIPFILTER, 77}, {D3DSAMP_MINFILTER, 99}}}) {
        EXPECT_EQ(Differences(LevelQuad(name, states), LevelQuad("reference", states)), 0)
            << "state " << states[0].type << " = " << std::hex << states[0].value;
    }
}

TEST_P(OddSamplerStates, MaxAnisotropyZeroIsOneAndBeyondTheCapIsTheCap) {
    const char* name = GetParam();
    const D3DCAPS9 caps = CapsOf(name);
    ASSERT_GE(caps.MaxAnisotropy, 1u);
    const std::vector<std::uint32_t> one = SquashedQuad(name, 1);
    EXPECT_EQ(SquashedQuad(name, 0), one);
    const std::vector<std::uint32_t> cap = SquashedQuad(name, caps.MaxAnisotropy);
    EXPECT_EQ(SquashedQuad(name, caps.MaxAnisotropy + 1), cap);
    EXPECT_EQ(SquashedQuad(name, 0xFFFFFFFF), cap);
    // On the reference device anisotropy moves this footprint's level (from
    // 3 to 1), so the frames compared above are not all alike; drivers need
    // not show it (softpipe's frames stay the same).
    if (std::string(name) == "reference") {
        EXPECT_EQ(one, Solid(kLevelColors[3], 64 * 16));
        EXPECT_EQ(SquashedQuad(name, 4), Solid(kLevelColors[1], 64 * 16));
    }
}

TEST_P(OddSamplerStates, AddressModesTheCapsLackAndUnknownModesAreWrap) {
    const char* name = GetParam();
    const D3DCAPS9 caps = CapsOf(name);
    const std::vector<std::uint32_t> wrap = AddressedQuad(name, D3DTADDRESS_WRAP);
    // Hand-worked: 16 pixels per texture, 4 per texel, repeated.
    int wrong = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) wrong += wrap[std::size_t(y) * 64 + x] != UniqueTexel(0, (x % 16) / 4, (y % 16) / 4);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(AddressedQuad(name, 0), wrap);
    EXPECT_EQ(AddressedQuad(name, 77), wrap);
    EXPECT_EQ(AddressedQuad(name, 0xFFFFFFFF), wrap);
    for (auto [mode, cap] : {std::pair{DWORD{D3DTADDRESS_BORDER}, DWORD{D3DPTADDRESSCAPS_BORDER}},
                             std::pair{DWORD{D3DTADDRESS_MIRRORONCE}, DWORD{D3DPTADDRESSCAPS_MIRRORONCE}}}) {
        const std::vector<std::uint32_t> frame = AddressedQuad(name, mode);
        if (caps.TextureAddressCaps & cap) {
            EXPECT_NE(Differences(frame, wrap), 0) << "mode " << mode << " is drawn as itself";
        } else {
            EXPECT_EQ(frame, wrap) << "mode " << mode << " is not in the caps";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryDevice, OddSamplerStates,
                         ::testing::Values("reference", "llvmpipe", "softpipe", "lavapipe"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
}  // namespace quillmark
