// Whole analysis runs on the reference device, checked against what the
// filters imply: point sampling gives every covered pixel exactly one hit,
// bilinear sampling of level 0 at most four, a plane facing the camera a
// uniform heat map; and a lost device changes nothing in the figures.
#include "app/analysis.h"
#include "analysis_test_support.h"
#include "app/polar_plot.h"
#include "app/test_textures.h"

#include "devices/core/direct3d.h"

#include <algorithm>
#include <set>

namespace quillmark {
namespace {

using test::AnalysisFixture;
using test::RunRecord;

class AnalysisInvariants : public AnalysisFixture {
protected:
    void SetPointFilters() {
        ActiveProbe().settings.minFilter = D3DTEXF_POINT;
        ActiveProbe().settings.magFilter = D3DTEXF_POINT;
        ActiveProbe().settings.mipFilter = D3DTEXF_POINT;
    }

    static std::uint16_t LargestCount() {
        return *std::max_element(ActiveProbe().run.hitCounts.get(), ActiveProbe().run.hitCounts.get() + 800 * 600);
    }
};

TEST_F(AnalysisInvariants, PointSamplingHitsEveryCoveredPixelOnce) {
    ExpectPointFiltersHitEveryCoveredPixelOnce();
    EXPECT_EQ(LargestCount(), 1);
    EXPECT_EQ(Text(kRemainingTimeField), "DONE");
}

TEST_F(AnalysisInvariants, BilinearLevelZeroGivesAtMostFourHits) {
    ShowThinPlane();
    ActiveProbe().settings.minFilter = D3DTEXF_LINEAR;
    ActiveProbe().settings.magFilter = D3DTEXF_LINEAR;
    ActiveProbe().settings.mipFilter = D3DTEXF_NONE;
    PressStart();
    RunToTheEnd();
    EXPECT_GT(ActiveProbe().run.hitTotal, 0);
    EXPECT_LE(ActiveProbe().run.maxHits, 4);
    EXPECT_LE(LargestCount(), 4);
    EXPECT_GT(LevelResultOf(0).hits, 0);
    for (int level = 1; level < kLevelsDone; ++level) {
        EXPECT_EQ(LevelResultOf(level).hits, 0) << level;
        EXPECT_EQ(LevelResultOf(level).rowPeriod, 0) << level;
        EXPECT_EQ(LevelResultOf(level).columnPeriod, 0) << level;
    }
    EXPECT_EQ(ActiveProbe().run.levelTexelSum, static_cast<std::uint64_t>(ActiveProbe().run.hitTotal) * 512 * 512);
}

TEST_F(AnalysisInvariants, FacingPlaneGivesAUniformHeatMap) {
    ActiveProbe().settings.showPlane = true;
    ActiveProbe().settings.planeAngle = 0.0;
    ActiveProbe().settings.distance = 20.0;
    SetPointFilters();
    PressStart();
    RunToTheEnd();
    EXPECT_EQ(ActiveProbe().run.hitTotal, 800 * 600);  // the plane fills the view
    EXPECT_EQ(ActiveProbe().run.maxHits, 1);
    const std::vector<std::uint32_t> heatMap = BackBufferPixels();
    const std::set<std::uint32_t> colours(heatMap.begin(), heatMap.end());
    EXPECT_EQ(colours, std::set<std::uint32_t>{0x0000FF00u});
}

TEST_F(AnalysisInvariants, LostDeviceLeavesTheFiguresAsTheyWere) { ExpectLostFramesChangeNothing(); }

}  // namespace
}  // namespace quillmark
