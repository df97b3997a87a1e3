// The analysis run's bookkeeping without a device: cell numbering, pass
// lengths, pass and level transitions, the frame estimate and the formats of
// the figures.
#include "app/analysis.h"
#include "app/probe_state.h"

#include <gtest/gtest.h>

namespace quillmark {
namespace {

class AnalysisPasses : public ::testing::Test {
protected:
    void SetUp() override {
        const std::size_t count = 800 * 600;
        ActiveProbe().run.pixelSpans = std::make_unique<PixelSpan[]>(count);
        ActiveProbe().run.hitCounts = std::make_unique<std::uint16_t[]>(count);
        ActiveProbe().run.totalFrames = kInitialFrameEstimate;
    }
    ProbeState probeState_;
    ActiveProbeScope probeScope_{probeState_};
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
    ActiveProbe().run.level = 0;
    EXPECT_EQ(CellIndex(7, 300), 7);  // row pass: the row
    EXPECT_EQ(CellCount(), 512);
    ActiveProbe().run.rowPeriod = 2;
    EXPECT_EQ(CellIndex(7, 300), 300);  // column pass: the column
    ActiveProbe().run.level = 3;
    EXPECT_EQ(CellCount(), 64);
    ActiveProbe().run.columnPeriod = 3;
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
    ActiveProbe().run.levelSize = 512;
    ActiveProbe().run.spanMax = 4;
    ActiveProbe().run.phase = 516;
    ActiveProbe().run.pixelSpans[1234] = {3, 6};
    AdvancePass();
    EXPECT_EQ(ActiveProbe().run.rowPeriod, 4);
    EXPECT_EQ(ActiveProbe().run.columnPeriod, -1);
    EXPECT_EQ(ActiveProbe().run.spanMax, 0);
    EXPECT_EQ(ActiveProbe().run.phase, 0);
    EXPECT_EQ(ActiveProbe().run.pixelSpans[1234].first, -1);
    EXPECT_EQ(ActiveProbe().run.pixelSpans[1234].last, -1);
    EXPECT_EQ(ActiveProbe().run.totalFrames, kInitialFrameEstimate);
    EXPECT_EQ(LevelResultOf(0).rowPeriod, 4);
}

TEST_F(AnalysisPasses, ColumnPassEndCorrectsTheEstimate) {
    ActiveProbe().run.level = 2;
    ActiveProbe().run.levelSize = 128;
    ActiveProbe().run.rowPeriod = 2;
    ActiveProbe().run.spanMax = 3;
    ActiveProbe().run.phase = 132;
    AdvancePass();
    EXPECT_EQ(ActiveProbe().run.columnPeriod, 3);
    EXPECT_EQ(ActiveProbe().run.totalFrames, kInitialFrameEstimate + 6 / 3 - 29);
    EXPECT_EQ(ActiveProbe().run.phase, 0);
    EXPECT_EQ(ActiveProbe().run.level, 2);
    EXPECT_EQ(LevelResultOf(2).columnPeriod, 3);
}

TEST_F(AnalysisPasses, AZeroPeriodBecomesTheLevelSize) {
    ActiveProbe().run.level = 1;
    ActiveProbe().run.levelSize = 256;
    ActiveProbe().run.rowPeriod = 0;
    ActiveProbe().run.spanMax = 2;
    AdvancePass();
    EXPECT_EQ(ActiveProbe().run.rowPeriod, 256);
    EXPECT_EQ(ActiveProbe().run.columnPeriod, 2);
    EXPECT_EQ(ActiveProbe().run.totalFrames, kInitialFrameEstimate + 512 / 3 - 29);
}

TEST_F(AnalysisPasses, ALevelWithoutHitsHasNoCellPass) {
    ActiveProbe().run.level = 4;
    ActiveProbe().run.levelSize = 32;
    ActiveProbe().run.rowPeriod = 0;
    ActiveProbe().run.spanMax = 0;
    ActiveProbe().run.phase = 36;
    AdvancePass();
    EXPECT_EQ(ActiveProbe().run.totalFrames, kInitialFrameEstimate - 30);
    EXPECT_EQ(ActiveProbe().run.level, 5);
    EXPECT_EQ(ActiveProbe().run.rowPeriod, -1);
    EXPECT_EQ(ActiveProbe().run.columnPeriod, -1);
    EXPECT_EQ(ActiveProbe().run.phase, 0);
}

TEST_F(AnalysisPasses, CellPassEndMovesToTheNextLevelAndTheLastOneEndsTheRun) {
    ActiveProbe().run.level = 8;
    ActiveProbe().run.rowPeriod = 3;
    ActiveProbe().run.columnPeriod = 3;
    ActiveProbe().run.phase = 12;
    AdvancePass();
    EXPECT_EQ(ActiveProbe().run.level, 9);
    EXPECT_EQ(ActiveProbe().run.rowPeriod, -1);
    EXPECT_EQ(ActiveProbe().run.columnPeriod, -1);
    EXPECT_EQ(ActiveProbe().run.phase, 0);
    ActiveProbe().run.rowPeriod = 2;
    ActiveProbe().run.columnPeriod = 2;
    AdvancePass();
    EXPECT_EQ(ActiveProbe().run.level, kLevelsDone);
    AdvancePass();  // nothing left to end
    EXPECT_EQ(ActiveProbe().run.level, kLevelsDone);
}

}  // namespace
}  // namespace quillmark
