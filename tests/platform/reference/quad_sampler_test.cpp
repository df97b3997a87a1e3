// The quad sampler for native, wrapped, power-of-two textures against the
// general per-pixel sampler: the same texture read with every filter
// setting must give bit-identical colours through both paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "processor_features.h"
#include "sampler.h"

namespace quillmark::reference {
namespace {

class QuadSampler : public ::testing::Test {
protected:
    void SetUp() override {
        std::mt19937 random(7);
        for (std::uint32_t size = 64; size >= 1; size /= 2) {
            std::vector<std::uint32_t>& texels = storage.emplace_back(std::size_t{size} * size);
            for (std::uint32_t& texel : texels) texel = random();
        }
        for (std::uint32_t level = 0, size = 64; size >= 1; ++level, size /= 2) {
            texture.levels.push_back(MakeSampledLevel(size, size, size, storage[level].data(), nullptr));
        }
        texture.native = true;
        texture.opaque = true;
        states.fill(0);
    }

    void TearDown() override { StartUpFeatures(); }

    static void StartUpFeatures() {
        processor::Disallow(processor::kEveryFeature);
        processor::Allow(processor::Preferred());
    }

    // The quad through the quad path (power of two) in scalar, 128-bit and,
    // where the processor has them, 256-bit steps (texels fetched by gathers
    // and by loads), and through the general path.
    // Both for X8R8G8B8 (alpha reads as opaque) and A8R8G8B8.
    void ExpectSamePaths(const float* u, const float* v, float dudx, float dvdx, float dudy, float dvdy) {
        for (bool opaque : {true, false}) {
            SCOPED_TRACE(opaque ? "X8R8G8B8" : "A8R8G8B8");
            texture.opaque = opaque;
            ExpectSamePathsOfTexture(u, v, dudx, dvdx, dudy, dvdy);
        }
    }

    void ExpectSamePathsOfTexture(const float* u, const float* v, float dudx, float dvdx, float dudy, float dvdy) {
        Color4 general[4] = {};
        texture.powerOfTwo = false;
        SampleQuad(MakeSamplerSetup(states, texture), u, v, dudx, dvdx, dudy, dvdy, 0xF, general);
        texture.powerOfTwo = true;
        struct Path {
            const char* name;
            std::uint32_t features;
        };
        constexpr std::uint32_t kAvx2 = processor::kSse2 | processor::kAvx2;
        for (const Path& path : {Path{"scalar", 0}, Path{"128-bit", processor::kSse2}, Path{"256-bit loads", kAvx2},
                                 Path{"256-bit gathers", kAvx2 | processor::kGather}}) {
            processor::Disallow(processor::kEveryFeature);
            if (!processor::Allow(path.features)) continue;  // not on this processor
            Color4 quad[4] = {};
            SampleQuad(MakeSamplerSetup(states, texture), u, v, dudx, dvdx, dudy, dvdy, 0xF, quad);
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(std::memcmp(&quad[i], &general[i], sizeof(Color4)), 0)
                    << path.name << ", pixel " << i << " at (" << u[i] << ", " << v[i] << "): " << quad[i].r << " "
                    << general[i].r;
            }
        }
        StartUpFeatures();
    }

    void SetFilters(DWORD min, DWORD mag, DWORD mip, DWORD anisotropy) {
        states[D3DSAMP_MINFILTER] = min;
        states[D3DSAMP_MAGFILTER] = mag;
        states[D3DSAMP_MIPFILTER] = mip;
        states[D3DSAMP_MAXANISOTROPY] = anisotropy;
    }

    std::vector<std::vector<std::uint32_t>> storage;
    SampledTexture texture;
    std::array<DWORD, D3D_SAMPLER_STATE_COUNT> states{};
};

TEST_F(QuadSampler, EveryFilterMatchesTheGeneralPathOnRandomQuads) {
    const DWORD filters[] = {D3DTEXF_POINT, D3DTEXF_LINEAR, D3DTEXF_ANISOTROPIC};
    const DWORD mips[] = {D3DTEXF_NONE, D3DTEXF_POINT, D3DTEXF_LINEAR};
    std::mt19937 random(11);
    std::uniform_real_distribution<float> position(-3.0f, 3.0f), scale(-6.0f, 3.0f);
    for (DWORD min : filters) {
        for (DWORD mag : filters) {
            for (DWORD mip : mips) {
                for (DWORD anisotropy : {1u, 4u, 16u}) {
                    SetFilters(min, mag, mip, anisotropy);
                    for (int trial = 0; trial < 20; ++trial) {
                        const float dudx = std::exp2(scale(random)) * (trial % 2 ? 1 : -0.3f);
                        const float dvdy = std::exp2(scale(random));
                        const float dvdx = dvdy * 0.25f, dudy = -dudx * 0.5f;
                        const float u0 = position(random), v0 = position(random);
                        const float u[4] = {u0, u0 + dudx, u0 + dudy, u0 + dudx + dudy};
                        const float v[4] = {v0, v0 + dvdx, v0 + dvdy, v0 + dvdx + dvdy};
                        ExpectSamePaths(u, v, dudx, dvdx, dudy, dvdy);
                    }
                }
            }
        }
    }
}

TEST_F(QuadSampler, RightNeighboursWrapToTheRowStartOnEveryLevel) {
    // Pixels whose left texel is a level's last column (its right neighbour
    // the row's first), next to pixels that stay inside the row, in both
    // lanes of a pixel pair and at the last row; minified onto each level
    // and magnified onto the first.
    SetFilters(D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_POINT, 1);
    for (std::uint32_t level = 0, size = 64; size >= 1; ++level, size /= 2) {
        const float texel = 1.0f / float(size), step = std::exp2(float(level)) / 64.0f;
        for (float derivative : {step * 1.2f, step / 8.0f}) {
            const float last = 1.0f - 0.25f * texel;  // x between the last column and the first
            const float u[4] = {last, 0.5f * texel, 1.0f - 1.5f * texel, last + 2.0f};
            const float v[4] = {last, last, 0.5f, -texel};
            ExpectSamePaths(u, v, derivative, 0.0f, 0.0f, derivative);
        }
    }
}

TEST_F(QuadSampler, NonFiniteAndHugeCoordinatesStayInsideTheTexture) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float u[4] = {nan, 1.0e30f, -inf, -1.0e12f};
    const float v[4] = {0.5f, -1.0e30f, inf, 3.0e9f};
    for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
        SetFilters(filter, filter, D3DTEXF_LINEAR, 1);
        ExpectSamePaths(u, v, 0.1f, 0.0f, 0.0f, 0.1f);  // minification
        ExpectSamePaths(u, v, 0.001f, 0.0f, 0.0f, 0.001f);  // magnification
    }
}

}  // namespace
}  // namespace quillmark::reference
