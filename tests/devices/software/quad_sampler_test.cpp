// The quad sampler for native, wrapped, power-of-two textures against the
// general per-pixel sampler: the same texture read with every filter
// setting must give bit-identical colours through both paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "platform/processor/processor_features.h"
#include "platform/processor/scoped_allowance.h"
#include "devices/software/draw_key.h"
#include "devices/software/sampler.h"

namespace quillmark::software {
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

    // The setup of the states with the kernels of its key allowed now.
    SamplerSetup Sampler() const {
        SamplerSetup setup = MakeSamplerSetup(states, texture);
        setup.kernel = AllowedSamplerKernels(setup).quad;
        return setup;
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
        SampleQuad(Sampler(), u, v, dudx, dvdx, dudy, dvdy, 0xF, general);
        texture.powerOfTwo = true;
        struct Path {
            const char* name;
            std::uint32_t features;
        };
        constexpr std::uint32_t kAvx2 = processor::kSse2 | processor::kAvx2;
        for (const Path& path : {Path{"scalar", 0}, Path{"128-bit", processor::kSse2}, Path{"256-bit loads", kAvx2},
                                 Path{"256-bit gathers", kAvx2 | processor::kGather}}) {
            const processor::ScopedAllowance allowance(path.features);
            if (!allowance.Granted()) continue;  // not on this processor
            Color4 quad[4] = {};
            SampleQuad(Sampler(), u, v, dudx, dvdx, dudy, dvdy, 0xF, quad);
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(std::memcmp(&quad[i], &general[i], sizeof(Color4)), 0)
                    << path.name << ", pixel " << i << " at (" << u[i] << ", " << v[i] << "): " << quad[i].r << " "
                    << general[i].r;
            }
        }
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

// The chunk kernel (two quads side by side, each with its own level of
// detail) against the general per-pixel sampler, quad by quad.
class ChunkSampler : public QuadSampler {
protected:
    // A quad at (u0, v0) whose pixels step by `across` in u and `down` in
    // v (by `across` when 0).
    struct Quad {
        float u0, v0, across, down = 0.0f;
    };

    // Samples the chunk of quads a and b through each fetch.
    void ExpectChunkMatchesQuads(const Quad& a, const Quad& b) {
        float u[8], v[8];
        const Quad quads[2] = {a, b};
        for (int q = 0; q < 2; ++q) {
            for (int i = 0; i < 4; ++i) {
                const float down = quads[q].down > 0.0f ? quads[q].down : quads[q].across;
                u[4 * q + i] = quads[q].u0 + float(i & 1) * quads[q].across;
                v[4 * q + i] = quads[q].v0 + float(i >> 1) * down;
            }
        }
        Color4 expected[8];
        texture.powerOfTwo = false;  // the general path
        const SamplerSetup general = Sampler();
        for (int q = 0; q < 2; ++q) {
            const float* qu = u + 4 * q;
            const float* qv = v + 4 * q;
            SampleQuad(general, qu, qv, qu[1] - qu[0], qv[1] - qv[0], qu[2] - qu[0], qv[2] - qv[0], 0xF, expected + 4 * q);
        }
        texture.powerOfTwo = true;
        constexpr std::uint32_t kAvx2 = processor::kSse2 | processor::kAvx2;
        for (std::uint32_t features : {kAvx2, kAvx2 | processor::kGather}) {
            SCOPED_TRACE(features & processor::kGather ? "gathers" : "loads");
            const processor::ScopedAllowance allowance(features);
            if (!allowance.Granted()) continue;  // no gathers on this processor
            ExpectChunkMatches(u, v, expected);
        }
    }

    // The chunk through the kernel allowed now against the expected colours.
    void ExpectChunkMatches(const float* u, const float* v, const Color4* expected) {
        const SamplerSetup setup = MakeSamplerSetup(states, texture);
        const InPlaceChunkKernel kernel = AllowedSamplerKernels(setup).chunk;
        if (!kernel) {
            ADD_FAILURE() << "no chunk kernel for linear filters with AVX2";
            return;
        }
        ChunkTexels chunk;
        kernel(setup, u, v, &chunk);
        for (int l = 0; l < 8; ++l) {
            const Color4 got = {chunk.channels[2][l] * kByteScale, chunk.channels[1][l] * kByteScale,
                                chunk.channels[0][l] * kByteScale, chunk.channels[3][l] * kByteScale};
            EXPECT_EQ(std::memcmp(&got, &expected[l], sizeof got), 0)
                << "pixel " << l << ": " << got.r << " " << got.g << " "
                << got.b << " " << got.a << " against " << expected[l].r << " " << expected[l].g << " "
                << expected[l].b << " " << expected[l].a;
        }
    }

    static bool HasAvx2() { return (processor::Available() & processor::kAvx2) != 0; }
};

TEST_F(ChunkSampler, QuadsOnDifferentLevelPairsMatchTheirOwnSamples) {
    if (!HasAvx2()) GTEST_SKIP() << "the processor has no AVX2";
    SetFilters(D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_LINEAR, 1);
    // Steps of 4 and 16 level-0 texels give lambda 2 and 4 exactly: no
    // second level. 5.3 and 2.7 texels blend levels 2-3 and 1-2; 0.4
    // magnifies.
    const float texel = 1.0f / 64.0f;
    const Quad blending{0.13f, 0.71f, 5.3f * texel}, single{0.52f, 0.07f, 4.0f * texel};
    const Quad other{0.91f, 0.33f, 2.7f * texel}, far{0.27f, 0.49f, 16.0f * texel};
    const Quad magnified{0.6f, 0.2f, 0.4f * texel};
    for (bool opaque : {true, false}) {
        SCOPED_TRACE(opaque ? "X8R8G8B8" : "A8R8G8B8");
        texture.opaque = opaque;
        ExpectChunkMatchesQuads(blending, single);  // one blends, the other not
        ExpectChunkMatchesQuads(single, blending);
        ExpectChunkMatchesQuads(blending, other);  // different pairs, both blending
        ExpectChunkMatchesQuads(far, single);  // neither blends
        ExpectChunkMatchesQuads(magnified, blending);
        ExpectChunkMatchesQuads(other, magnified);
    }
}

TEST_F(ChunkSampler, EveryMipModeAndAnisotropyMatchesOnRandomChunks) {
    if (!HasAvx2()) GTEST_SKIP() << "the processor has no AVX2";
    std::mt19937 random(23);
    std::uniform_real_distribution<float> position(-3.0f, 3.0f), scale(-10.0f, -2.0f);
    for (DWORD mip : {D3DTEXF_NONE, D3DTEXF_POINT, D3DTEXF_LINEAR}) {
        for (DWORD anisotropy : {1u, 16u}) {
            SetFilters(D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR, mip, anisotropy);
            for (int trial = 0; trial < 40; ++trial) {
                const Quad a{position(random), position(random), std::exp2(scale(random))};
                const Quad b{position(random), position(random), std::exp2(scale(random))};
                ExpectChunkMatchesQuads(a, b);
            }
        }
    }
}

TEST_F(ChunkSampler, QuadsWithDifferentProbeCountsSumOnlyTheirOwn) {
    if (!HasAvx2()) GTEST_SKIP() << "the processor has no AVX2";
    SetFilters(D3DTEXF_ANISOTROPIC, D3DTEXF_LINEAR, D3DTEXF_LINEAR, 16);
    const float texel = 1.0f / 64.0f;
    // Footprints 8 and 2.9 times longer across than down: 8 and 3 probes.
    const Quad eight{0.3f, 0.6f, 6.0f * texel, 0.75f * texel}, three{0.7f, 0.1f, 2.3f * texel, 0.8f * texel};
    const Quad magnified{0.1f, 0.2f, 0.3f * texel};
    for (bool opaque : {true, false}) {
        SCOPED_TRACE(opaque ? "X8R8G8B8" : "A8R8G8B8");
        texture.opaque = opaque;
        ExpectChunkMatchesQuads(eight, magnified);
        ExpectChunkMatchesQuads(three, eight);
        ExpectChunkMatchesQuads(magnified, three);
    }
}

}  // namespace
}  // namespace quillmark::software
