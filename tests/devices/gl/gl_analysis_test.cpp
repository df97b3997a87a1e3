// Whole analysis runs of the probe on llvmpipe: point sampling hits every
// covered pixel exactly once, and a lost device changes nothing in the figures.
#include <set>

#include "../../app/analysis_test_support.h"
#include "devices/select/d3d9_select.h"
#include "gl_fixture.h"
#include "devices/core/direct3d.h"

namespace quillmark {
namespace {

class GlAnalysis : public test::AnalysisFixture {
protected:
    void SetUp() override {
        QUILLMARK_REQUIRE_GL("llvmpipe");
        ASSERT_TRUE(SelectDevice("llvmpipe", nullptr));
        AnalysisFixture::SetUp();
    }
};

TEST_F(GlAnalysis, PointFiltersHitEveryCoveredPixelOnce) { ExpectPointFiltersHitEveryCoveredPixelOnce(); }

TEST_F(GlAnalysis, FacingPlaneSamplesLevelZeroOnlyOncePerPixel) {
    ActiveProbe().settings.showPlane = true;
    ActiveProbe().settings.planeAngle = 0.0;
    ActiveProbe().settings.distance = 20.0;
    ActiveProbe().settings.minFilter = D3DTEXF_POINT;
    ActiveProbe().settings.magFilter = D3DTEXF_POINT;
    ActiveProbe().settings.mipFilter = D3DTEXF_POINT;
    PressStart();
    RunToTheEnd();
    EXPECT_EQ(ActiveProbe().run.hitTotal, 800 * 600);
    EXPECT_EQ(ActiveProbe().run.maxHits, 1);
    EXPECT_EQ(LevelResultOf(0).hits, 800 * 600);
}

TEST_F(GlAnalysis, LostDeviceMidRunLeavesTheFiguresAsTheyWere) { ExpectLostFramesChangeNothing(); }

}  // namespace
}  // namespace quillmark
