// Classification of read-back frames by hand-made pixels: spans of the
// measuring passes (with the wrap around the texture edge), hits of the cell
// passes, and the heat map.
#include "app/analysis.h"
#include "app/probe_state.h"
#include "app/readback.h"

#include <gtest/gtest.h>

#include <vector>

namespace quillmark {
namespace {

constexpr int kWidth = 800, kHeight = 600;

class ReadBackClassification : public ::testing::Test {
protected:
    void SetUp() override {
        ActiveProbe().run.pixelSpans = std::make_unique<PixelSpan[]>(kWidth * kHeight);
        ActiveProbe().run.hitCounts = std::make_unique<std::uint16_t[]>(kWidth * kHeight);
        for (int i = 0; i < kWidth * kHeight; ++i) ActiveProbe().run.pixelSpans[i] = {-1, -1};
        pixels_.assign(kWidth * kHeight, 0xFF000000u);  // opaque black, as the clear leaves it
    }

    PixelView Frame() { return {reinterpret_cast<std::uint8_t*>(pixels_.data()), kWidth * 4, kWidth, kHeight}; }
    std::uint32_t& Pixel(int x, int y) { return pixels_[y * kWidth + x]; }
    void Clear() { pixels_.assign(kWidth * kHeight, 0xFF000000u); }

    std::vector<std::uint32_t> pixels_;
    ProbeState probeState_;
    ActiveProbeScope probeScope_{probeState_};
};

TEST_F(ReadBackClassification, WrappingSpanOnLevelZero) {
    ActiveProbe().run.levelSize = 512;
    ActiveProbe().run.phase = 513;  // the frame that marked rows 510 (red) and 511 (green)
    Pixel(10, 20) = 0x0000FF00;
    MeasureSpans(Frame());
    EXPECT_EQ(ActiveProbe().run.spanMax, 1);
    Clear();
    ActiveProbe().run.phase = 3;  // rows 0 (red) and 1 (green)
    Pixel(10, 20) = 0x00FF8000;
    MeasureSpans(Frame());
    const PixelSpan span = ActiveProbe().run.pixelSpans[20 * kWidth + 10];
    EXPECT_EQ(span.first, 0);
    EXPECT_EQ(span.last, 511);
    EXPECT_EQ(ActiveProbe().run.spanMax, 2);  // 0 - 511 + 512 + 1
}

// A texture of the user's own shows colour in every frame, the last frame
// of a pass included, whose marks (rows 256 to 258 here) lie past the level:
// those cells do not exist, so only rows 0 to 2 count.
TEST_F(ReadBackClassification, ColoursOfCellsPastTheLevelAreNoMarks) {
    ActiveProbe().run.levelSize = 256;
    Pixel(10, 20) = 0x00FFFFFF;
    for (const int phase : {3, 259}) {
        ActiveProbe().run.phase = phase;
        MeasureSpans(Frame());
    }
    const PixelSpan span = ActiveProbe().run.pixelSpans[20 * kWidth + 10];
    EXPECT_EQ(span.first, 0);
    EXPECT_EQ(span.last, 2);
    EXPECT_EQ(ActiveProbe().run.spanMax, 3);
}

TEST_F(ReadBackClassification, SingleRowOnTheTwoByTwoLevelSpansThree) {
    ActiveProbe().run.levelSize = 2;
    ActiveProbe().run.phase = 3;
    Pixel(0, 0) = 0x00010000;  // red: row 0
    MeasureSpans(Frame());
    EXPECT_EQ(ActiveProbe().run.spanMax, 3);
}

TEST_F(ReadBackClassification, SpansGrowOverFramesAndKeepTheLargest) {
    ActiveProbe().run.levelSize = 512;
    ActiveProbe().run.phase = 6;  // rows 3, 4, 5
    Pixel(1, 1) = 0x00FFFFFF;
    Pixel(2, 1) = 0x000000FF;
    MeasureSpans(Frame());
    EXPECT_EQ(ActiveProbe().run.spanMax, 3);
    EXPECT_EQ(ActiveProbe().run.pixelSpans[kWidth + 2].first, 5);
    Clear();
    ActiveProbe().run.phase = 9;  // rows 6, 7, 8
    Pixel(2, 1) = 0x00FF0000;
    MeasureSpans(Frame());
    EXPECT_EQ(ActiveProbe().run.pixelSpans[kWidth + 2].first, 5);
    EXPECT_EQ(ActiveProbe().run.pixelSpans[kWidth + 2].last, 6);
    EXPECT_EQ(ActiveProbe().run.spanMax, 3);
}

TEST_F(ReadBackClassification, TopByteAloneIsNoColour) {
    ActiveProbe().run.levelSize = 512;
    ActiveProbe().run.phase = 3;
    Pixel(5, 5) = 0xFF000000;
    MeasureSpans(Frame());
    EXPECT_EQ(ActiveProbe().run.pixelSpans[5 * kWidth + 5].first, -1);
    EXPECT_EQ(ActiveProbe().run.spanMax, 0);
    ActiveProbe().run.rowPeriod = ActiveProbe().run.columnPeriod = 1;
    RecordHits(Frame());
    EXPECT_EQ(ActiveProbe().run.hitTotal, 0);
}

TEST_F(ReadBackClassification, HitsCountEveryColouredChannel) {
    ActiveProbe().run.level = 1;
    ActiveProbe().run.rowPeriod = 2;
    ActiveProbe().run.columnPeriod = 2;
    ActiveProbe().run.phase = 3;
    Pixel(7, 8) = 0x00004000;  // green only
    Pixel(9, 8) = 0x00010101;  // all three
    RecordHits(Frame());
    EXPECT_EQ(ActiveProbe().run.hitCounts[8 * kWidth + 7], 1);
    EXPECT_EQ(ActiveProbe().run.hitCounts[8 * kWidth + 9], 3);
    EXPECT_EQ(ActiveProbe().run.hitTotal, 4);
    EXPECT_EQ(ActiveProbe().run.maxHits, 3);
    EXPECT_EQ(ActiveProbe().run.levelTexelSum, 4u * 256 * 256);
    RecordHits(Frame());
    EXPECT_EQ(ActiveProbe().run.hitCounts[8 * kWidth + 9], 6);
    EXPECT_EQ(ActiveProbe().run.maxHits, 6);
}

// A long run on level 0 (every pixel showing marks in most frames) passes
// 2^31 hits: the sums keep counting, and a pixel's counter stops at its top
// instead of wrapping to a few hits, so the most-hit pixel stays the greenest.
TEST_F(ReadBackClassification, SumsPassTwoToTheThirtyOneAndPixelCountersStopAtTheirTop) {
    ActiveProbe().run.level = 0;
    ActiveProbe().run.rowPeriod = 2;
    ActiveProbe().run.columnPeriod = 2;
    ActiveProbe().run.phase = 3;
    ActiveProbe().run.hitTotal = 0x7FFFFFFF;
    ActiveProbe().run.hitCounts[8 * kWidth + 9] = 0xFFFE;
    ActiveProbe().run.hitCounts[8 * kWidth + 7] = 0xFFFF;
    ActiveProbe().run.maxHits = 0xFFFF;
    Pixel(9, 8) = 0x00010101;  // three hits
    Pixel(7, 8) = 0x00010000;  // one
    CountLevelHits(0x7FFFFFFF);
    const std::int64_t levelHitsBefore = LevelResultOf(0).hits;
    RecordHits(Frame());
    EXPECT_EQ(ActiveProbe().run.hitTotal, std::int64_t{0x7FFFFFFF} + 4);
    EXPECT_EQ(LevelResultOf(0).hits, levelHitsBefore + 4);
    EXPECT_GT(LevelResultOf(0).hits, std::int64_t{0x7FFFFFFF});
    EXPECT_EQ(ActiveProbe().run.hitCounts[8 * kWidth + 9], 0xFFFF);
    EXPECT_EQ(ActiveProbe().run.hitCounts[8 * kWidth + 7], 0xFFFF);
    EXPECT_EQ(ActiveProbe().run.maxHits, 0xFFFF);
    DrawHeatMap(Frame());
    EXPECT_EQ(Pixel(9, 8), 0x0000FF00u);
}

TEST_F(ReadBackClassification, HeatMapWithoutHitsIsAllRed) {
    DrawHeatMap(Frame());
    for (std::uint32_t pixel : pixels_) ASSERT_EQ(pixel, 0x00FF0000u);
}

TEST_F(ReadBackClassification, HeatMapScalesToTheMostHitPixel) {
    ActiveProbe().run.maxHits = 4;
    ActiveProbe().run.hitCounts[0] = 4;
    ActiveProbe().run.hitCounts[1] = 2;
    ActiveProbe().run.hitCounts[2] = 1;
    DrawHeatMap(Frame());
    EXPECT_EQ(Pixel(0, 0), 0x0000FF00u);
    EXPECT_EQ(Pixel(1, 0), (std::uint32_t{255 - 127} << 16) | (127u << 8));  // 2 x 63.75 -> 127
    EXPECT_EQ(Pixel(2, 0), (std::uint32_t{255 - 63} << 16) | (63u << 8));
    EXPECT_EQ(Pixel(3, 0), 0x00FF0000u);
}

}  // namespace
}  // namespace quillmark
