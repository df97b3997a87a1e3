// The sampler's level-of-detail and anisotropy rules, on footprints given
// directly.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "devices/core/device.h"
#include "devices/software/sampler.h"

namespace quillmark::software {
namespace {

class SamplerRules : public ::testing::Test {
protected:
    void SetUp() override {
        for (std::uint32_t size = 256; size >= 1; size /= 2) texture.levels.push_back(MakeSampledLevel(size, size, size, nullptr, nullptr));
        states.fill(0);
        states[D3DSAMP_MINFILTER] = D3DTEXF_ANISOTROPIC;
        states[D3DSAMP_MAGFILTER] = D3DTEXF_LINEAR;
        states[D3DSAMP_MIPFILTER] = D3DTEXF_LINEAR;
    }
    LodChoice Choose(DWORD maxAnisotropy, Footprint footprint, float bias = 0.0f) {
        states[D3DSAMP_MAXANISOTROPY] = maxAnisotropy;
        states[D3DSAMP_MIPMAPLODBIAS] = std::bit_cast<DWORD>(bias);
        const SamplerSetup setup = MakeSamplerSetup(Sampler(), texture);
        return ChooseLod(setup, footprint);
    }

    // The states as a draw on the reference device plans them.
    SamplerDescription Sampler() const {
        return DescribeSampler(states, std::uint32_t(texture.levels.size()), CoreCaps());
    }

    SampledTexture texture;
    std::array<DWORD, D3D_SAMPLER_STATE_COUNT> states{};
};

// 16 texels across per pixel, 1 texel down.
constexpr Footprint kSixteenToOne{0.5f, 0.5f, 16.0f / 256, 0, 0, 1.0f / 256};

TEST_F(SamplerRules, ProbeCountFollowsTheFootprintAndClampsToMaxAnisotropy) {
    LodChoice lod = Choose(16, kSixteenToOne);
    EXPECT_FALSE(lod.magnify);
    EXPECT_EQ(lod.probes, 16u);
    EXPECT_FLOAT_EQ(lod.lambda, 0.0f);  // log2(16 / 16)
    lod = Choose(4, kSixteenToOne);
    EXPECT_EQ(lod.probes, 4u);
    EXPECT_FLOAT_EQ(lod.lambda, 2.0f);  // log2(16 / 4)
    EXPECT_FLOAT_EQ(lod.du, 16.0f / 256);
    EXPECT_FLOAT_EQ(lod.dv, 0.0f);
    lod = Choose(1, kSixteenToOne);
    EXPECT_EQ(lod.probes, 1u);
    EXPECT_FLOAT_EQ(lod.lambda, 4.0f);
}

TEST_F(SamplerRules, RatioIsRoundedUpAndTheMajorAxisChosen) {
    const Footprint footprint{0.5f, 0.5f, 0, 2.0f / 256, 5.0f / 256, 0};  // y axis is the longer
    const LodChoice lod = Choose(16, footprint);
    EXPECT_EQ(lod.probes, 3u);  // ceil(5 / 2)
    EXPECT_FLOAT_EQ(lod.lambda, std::log2(5.0f / 3.0f));
    EXPECT_FLOAT_EQ(lod.du, 5.0f / 256);
    EXPECT_FLOAT_EQ(lod.dv, 0.0f);
}

TEST_F(SamplerRules, MagnificationWhenLambdaIsNotPositive) {
    const Footprint oneToOne{0.5f, 0.5f, 1.0f / 256, 0, 0, 1.0f / 256};
    EXPECT_TRUE(Choose(16, oneToOne).magnify);
    const LodChoice biased = Choose(16, oneToOne, 0.5f);
    EXPECT_FALSE(biased.magnify);
    EXPECT_FLOAT_EQ(biased.lambda, 0.5f);
    EXPECT_TRUE(Choose(16, kSixteenToOne, -4.0f).magnify);
}

TEST_F(SamplerRules, UnsupportedFilterValuesFallBack) {
    states[D3DSAMP_MINFILTER] = D3DTEXF_NONE;
    states[D3DSAMP_MAGFILTER] = D3DTEXF_ANISOTROPIC;
    states[D3DSAMP_MIPFILTER] = 77;
    const SamplerSetup setup = MakeSamplerSetup(Sampler(), texture);
    EXPECT_EQ(setup.minify, TexelFilter::Point);
    EXPECT_FALSE(setup.anisotropic);
    EXPECT_EQ(setup.magnify, TexelFilter::Linear);
    EXPECT_EQ(setup.mip, MipMode::None);
    states[D3DSAMP_MAXANISOTROPY] = 0;
    EXPECT_EQ(MakeSamplerSetup(Sampler(), texture).maxAnisotropy, 1u);
}

}  // namespace
}  // namespace quillmark::software
