// The Vulkan device on lavapipe: the checks every driver-backed device
// passes (device_checks.h), and against hand-worked values and the
// reference device's frames what is its own: partial clears, mip NONE with
// a linear min filter, the texture stages as specialised shaders, sampler
// states the driver lacks (drawn as WRAP), many draws between read-backs.
#include <bit>
#include <cmath>
#include <limits>

#include "../device_checks.h"
#include "vulkan_fixture.h"
#include "devices/core/driver_caps.h"
#include "devices/vulkan/vulkan_sampler.h"

namespace quillmark::vulkan::testing {
namespace {

using device_checks::Count;
using device_checks::White;

using VulkanDevice = VulkanTest;

QUILLMARK_DEVICE_CHECKS(VulkanDevice, kLavapipe)

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

// The sampler a stage gets on a Vulkan device whose driver has these
// features.
VkSamplerCreateInfo SamplerOn(const std::array<DWORD, D3D_SAMPLER_STATE_COUNT>& states, bool customBorder,
                              bool mirrorOnce, float maxLodBias, VkSamplerCustomBorderColorCreateInfoEXT* border) {
    const D3DCAPS9 caps = core::CapsWithDriver({16, 4096, customBorder, mirrorOnce});
    VkSamplerCreateInfo info;
    MapSampler(core::DescribeSampler(states, 1, caps), VulkanSamplerLimits{16, maxLodBias}, &info, border);
    return info;
}

TEST(VulkanSampler, AddressModesTheDriverLacksAreWrap) {
    std::array<DWORD, D3D_SAMPLER_STATE_COUNT> states{};
    states[D3DSAMP_ADDRESSU] = D3DTADDRESS_MIRRORONCE;
    states[D3DSAMP_ADDRESSV] = D3DTADDRESS_BORDER;
    states[D3DSAMP_BORDERCOLOR] = 0xFF336699u;
    VkSamplerCustomBorderColorCreateInfoEXT border;
    VkSamplerCreateInfo info = SamplerOn(states, false, false, 16, &border);
    EXPECT_EQ(info.addressModeU, VK_SAMPLER_ADDRESS_MODE_REPEAT);
    EXPECT_EQ(info.addressModeV, VK_SAMPLER_ADDRESS_MODE_REPEAT);
    info = SamplerOn(states, true, true, 16, &border);
    EXPECT_EQ(info.addressModeU, VK_SAMPLER_ADDRESS_MODE_MIRROR_CLAMP_TO_EDGE);
    EXPECT_EQ(info.addressModeV, VK_SAMPLER_ADDRESS_MODE_CLAMP_TO_BORDER);
    EXPECT_EQ(info.borderColor, VK_BORDER_COLOR_FLOAT_CUSTOM_EXT);
    EXPECT_EQ(border.customBorderColor.float32[0], 0x33 / 255.0f);
    EXPECT_EQ(border.customBorderColor.float32[2], 0x99 / 255.0f);
    states[D3DSAMP_BORDERCOLOR] = 0xFF000000u;  // one of the driver's own border colours
    info = SamplerOn(states, true, true, 16, &border);
    EXPECT_EQ(info.borderColor, VK_BORDER_COLOR_FLOAT_OPAQUE_BLACK);
}

TEST(VulkanSampler, LodBiasIsKeptWithinTheDriversRange) {
    std::array<DWORD, D3D_SAMPLER_STATE_COUNT> states{};
    VkSamplerCustomBorderColorCreateInfoEXT border;
    const float infinity = std::numeric_limits<float>::infinity();
    for (const auto& [bias, expected] : {std::pair{20.0f, 15.0f}, std::pair{-20.0f, -15.0f}, std::pair{2.5f, 2.5f},
                                         std::pair{std::nanf(""), 0.0f}, std::pair{infinity, 15.0f},
                                         std::pair{-infinity, -15.0f}}) {
        states[D3DSAMP_MIPMAPLODBIAS] = std::bit_cast<DWORD>(bias);
        EXPECT_EQ(SamplerOn(states, true, true, 15, &border).mipLodBias, expected) << bias;
    }
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
