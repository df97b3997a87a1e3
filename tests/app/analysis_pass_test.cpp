// The analysis run's bookkeeping without a device: cell numbering, pass
// lengths, pass and level transitions, the frame estimate and the formats of
// the figures.
#include "app/analysis.h"
#include "app/app_state.h"

#include <gtest/gtest.h>

namespace quillmark {
namespace {

class AnalysisPasses : public ::testing::Test {
protected:
    void SetUp() override {
        g_app = AppState{};
        const std::size_t count = 800 * 600;
        g_app.pixelSpans = std::make_unique<PixelSpan[]>(count);
        g_app.hitCounts = std::make_unique<std::uint16_t[]>(count);
        g_app.totalFrames = kInitialFrameEstimate;
    }
    void TearDown() override { g_app = AppState{}; }
};

TEST(AnalysisFormats, RemainingTimeAndTexelSum) {
    EXPECT_EQ(FormatRemainingTime(3723000), "  1:02:03");
    EXPECT_EQ(FormatRemainingTime(0), "  0:00:00");
    EXPECT_EQ(FormatRemainingTime(59999), "  0:00:59");
    EXPECT_EQ(FormatRemainingTime(1000LL * 3600 * 123 + 61000), "123:01:01");
    EXPECT_EQ(FormatTexelSum(1572864000), "1.573 G");
    EXPECT_EQ(FormatTexelSum(0), "0.000 G");
    EXPECT_EQ(FormatTexelSum(262144), "0.000 G");
}

TEST_F(AnalysisPasses, CellIndexFollowsThePass) {
    g_app.level = 0;
    EXPECT_EQ(CellIndex(7, 300), 7);  // row pass: the row
    EXPECT_EQ(CellCount(), 512);
    g_app.rowPeriod = 2;
    EXPECT_EQ(CellIndex(7, 300), 300);  // column pass: the column
    g_app.level = 3;
    EXPECT_EQ(CellCount(), 64);
    g_app.columnPeriod = 3;
    EXPECT_EQ(CellCount(), 6);
    // 2 x (x mod 3) + (y mod 2), by hand
    EXPECT_EQ(CellIndex(0, 0), 0);
    EXPECT_EQ(CellIndex(1, 0), 1);
    EXPECT_EQ(CellIndex(0, 1), 2);
    EXPECT_EQ(CellIndex(1, 2), 5);
    EXPECT_EQ(CellIndex(5, 7), 3);
    EXPECT_EQ(CellIndex(4, 9), 0);
}

TEST_F(AnalysisPasses, RowPassEndTakesTheSpanAsRowPeriod) {
    g_app.levelSize = 512;
    g_app.spanMax = 4;
    g_app.phase = 516;
    g_app.pixelSpans[1234] = {3, 6};
    AdvancePass();
    EXPECT_EQ(g_app.rowPeriod, 4);
    EXPECT_EQ(g_app.columnPeriod, -1);
    EXPECT_EQ(g_app.spanMax, 0);
    EXPECT_EQ(g_app.phase, 0);
    EXPECT_EQ(g_app.pixelSpans[1234].first, -1);
    EXPECT_EQ(g_app.pixelSpans[1234].last, -1);
    EXPECT_EQ(g_app.totalFrames, kInitialFrameEstimate);
    EXPECT_EQ(LevelResultOf(0).rowPeriod, 4);
}

TEST_F(AnalysisPasses, ColumnPassEndCorrectsTheEstimate) {
    g_app.level = 2;
    g_app.levelSize = 128;
    g_app.rowPeriod = 2;
    g_app.spanMax = 3;
    g_app.phase = 132;
    AdvancePass();
    EXPECT_EQ(g_app.columnPeriod, 3);
    EXPECT_EQ(g_app.totalFrames, kInitialFrameEstimate + 6 / 3 - 29);
    EXPECT_EQ(g_app.phase, 0);
    EXPECT_EQ(g_app.level, 2);
    EXPECT_EQ(LevelResultOf(2).columnPeriod, 3);
}

TEST_F(AnalysisPasses, AZeroPeriodBecomesTheLevelSize) {
    g_app.level = 1;
    g_app.levelSize = 256;
    g_app.rowPeriod = 0;
    g_app.spanMax = 2;
    AdvancePass();
    EXPECT_EQ(g_app.rowPeriod, 256);
    EXPECT_EQ(g_app.columnPeriod, 2);
    EXPECT_EQ(g_app.totalFrames, kInitialFrameEstimate + 512 / 3 - 29);
}

TEST_F(AnalysisPasses, ALevelWithoutHitsHasNoCellPass) {
    g_app.level = 4;
    g_app.levelSize = 32;
    g_app.rowPeriod = 0;
    g_app.spanMax = 0;
    g_app.phase = 36;
    AdvancePass();
    EXPECT_EQ(g_app.totalFrames, kInitialFrameEstimate - 30);
    EXPECT_EQ(g_app.level, 5);
    EXPECT_EQ(g_app.rowPeriod, -1);
    EXPECT_EQ(g_app.columnPeriod, -1);
    EXPECT_EQ(g_app.phase, 0);
}

TEST_F(AnalysisPasses, CellPassEndMovesToTheNextLevelAndTheLastOneEndsTheRun) {
    g_app.level = 8;
    g_app.rowPeriod = 3;
    g_app.columnPeriod = 3;
    g_app.phase = 12;
    AdvancePass();
    EXPECT_EQ(g_app.level, 9);
    EXPECT_EQ(g_app.rowPeriod, -1);
    EXPECT_EQ(g_app.columnPeriod, -1);
    EXPECT_EQ(g_app.phase, 0);
    g_app.rowPeriod = 2;
    g_app.columnPeriod = 2;
    AdvancePass();
    EXPECT_EQ(g_app.level, kLevelsDone);
    AdvancePass();  // nothing left to end
    EXPECT_EQ(g_app.level, kLevelsDone);
}

}  // namespace
}  // namespace quillmark
