// Whole analysis runs of the probe on llvmpipe: point sampling hits every
// covered pixel exactly once, and a lost device changes nothing in the figures.
#include <algorithm>
#include <set>

#include "analysis_test_support.h"
#include "d3d9_select.h"
#include "gl_fixture.h"
#include "reference_direct3d.h"
#include "test_textures.h"

namespace quillmark {
namespace {

class GlAnalysis : public test::AnalysisFixture {
protected:
    void SetUp() override {
        QUILLMARK_REQUIRE_GL("llvmpipe");
        ASSERT_TRUE(SelectDevice("llvmpipe", nullptr));
        AnalysisFixture::SetUp();
    }

    // Pixels the object covers: a frame drawn with an all-white texture.
    static int CoveredPixels() {
        for (int level = 0; level < kMipLevels; ++level) {
            D3DLOCKED_RECT locked;
            if (FAILED(g_app.mipTexture->LockRect(level, &locked, nullptr, 0))) return -1;
            const int size = kMipTextureSize >> level;
            for (int y = 0; y < size; ++y)
                std::fill_n(reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) +
                                                             y * locked.Pitch),
                            size, 0xFFFFFFu);
            g_app.mipTexture->UnlockRect(level);
        }
        RenderFrame();
        const std::vector<std::uint32_t> pixels = BackBufferPixels();
        const int covered = static_cast<int>(
            std::count_if(pixels.begin(), pixels.end(), [](std::uint32_t p) { return (p & 0xFFFFFF) != 0; }));
        BuildMipTexture();
        return covered;
    }
};

TEST_F(GlAnalysis, PointFiltersHitEveryCoveredPixelOnce) {
    ShowThinPlane();
    g_app.minFilter = D3DTEXF_POINT;
    g_app.magFilter = D3DTEXF_POINT;
    g_app.mipFilter = D3DTEXF_POINT;
    const int covered = CoveredPixels();
    ASSERT_GT(covered, 1000);
    PressStart();
    RunToTheEnd();
    EXPECT_EQ(g_app.hitTotal, covered);
    EXPECT_EQ(g_app.maxHits, 1);
    int levelsHit = 0;
    for (int level = 0; level < kLevelsDone; ++level) levelsHit += LevelResultOf(level).hits > 0;
    EXPECT_GE(levelsHit, 3) << "a plane seen at a slant shows several levels";
}

TEST_F(GlAnalysis, FacingPlaneSamplesLevelZeroOnlyOncePerPixel) {
    g_app.showPlane = true;
    g_app.planeAngle = 0.0;
    g_app.distance = 20.0;
    g_app.minFilter = D3DTEXF_POINT;
    g_app.magFilter = D3DTEXF_POINT;
    g_app.mipFilter = D3DTEXF_POINT;
    PressStart();
    RunToTheEnd();
    EXPECT_EQ(g_app.hitTotal, 800 * 600);
    EXPECT_EQ(g_app.maxHits, 1);
    EXPECT_EQ(LevelResultOf(0).hits, 800 * 600);
}

struct Figures {
    std::int32_t hitTotal;
    std::uint16_t maxHits;
    std::uint64_t levelTexelSum;
    std::vector<int> levels;
    std::vector<std::uint16_t> counts;

    static Figures Take() {
        Figures f{g_app.hitTotal, g_app.maxHits, g_app.levelTexelSum, {},
                  std::vector<std::uint16_t>(g_app.hitCounts.get(), g_app.hitCounts.get() + 800 * 600)};
        for (int level = 0; level < kLevelsDone; ++level) {
            const LevelResult& r = LevelResultOf(level);
            f.levels.insert(f.levels.end(), {r.rowPeriod, r.columnPeriod, r.hits});
        }
        return f;
    }
    bool operator==(const Figures&) const = default;
};

TEST_F(GlAnalysis, LostDeviceMidRunLeavesTheFiguresAsTheyWere) {
    ShowThinPlane();
    g_app.minFilter = D3DTEXF_LINEAR;
    g_app.magFilter = D3DTEXF_LINEAR;
    g_app.mipFilter = D3DTEXF_LINEAR;
    PressStart();
    const int frames = RunToTheEnd();
    const Figures uninterrupted = Figures::Take();
    ASSERT_GT(uninterrupted.hitTotal, 0);
    PressStop();

    const std::set<int> losses = {0, 171, 172, 400, frames - 1};
    PressStart();
    std::set<int> pending = losses;
    RunToTheEnd([&](int) {
        if (!pending.count(g_app.framesDone)) return;
        reference::FailNextPresents(1);
        pending.erase(g_app.framesDone);
    });
    EXPECT_TRUE(pending.empty());
    EXPECT_EQ(Figures::Take(), uninterrupted);
}

}  // namespace
}  // namespace quillmark
