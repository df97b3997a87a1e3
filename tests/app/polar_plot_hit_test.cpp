// Where hits land in the polar plot: row by distance from the screen centre,
// column by direction, colour by level modulo 3.
#include "app/probe_state.h"
#include "app/polar_plot.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace quillmark {
namespace {

class PolarPlotHits : public ::testing::Test {
protected:
    void SetUp() override {
        ActiveProbe().plotWidth = kPlotWidth;
        ActiveProbe().plotHeight = PlotHeightFor(800, 600);
        ActiveProbe().plotPitch = kPlotWidth * 4 + 64;  // a pitch wider than the row
        bytes_.assign(static_cast<std::size_t>(ActiveProbe().plotPitch) * ActiveProbe().plotHeight, 0);
        ActiveProbe().plotBits = bytes_.data();
    }

    std::uint32_t At(int row, int column) const {
        std::uint32_t value;
        std::memcpy(&value, &bytes_[row * ActiveProbe().plotPitch + 4 * column], 4);
        return value;
    }
    int NonZero() const {
        int count = 0;
        for (int row = 0; row < ActiveProbe().plotHeight; ++row)
            for (int column = 0; column < kPlotWidth; ++column) count += At(row, column) != 0;
        return count;
    }

    std::vector<std::uint8_t> bytes_;
    ProbeState probeState_;
    ActiveProbeScope probeScope_{probeState_};
};

TEST(PolarPlotSize, HeightCoversTheFarthestPixel) {
    EXPECT_EQ(PlotHeightFor(800, 600), 501);  // floor(sqrt(401^2 + 301^2))
    EXPECT_EQ(PlotHeightFor(2, 2), 2);
}

TEST(PolarPlotSize, LevelColours) {
    EXPECT_EQ(PlotLevelColour(0), 0x0000FFu);
    EXPECT_EQ(PlotLevelColour(1), 0x00FF00u);
    EXPECT_EQ(PlotLevelColour(2), 0xFF0000u);
    EXPECT_EQ(PlotLevelColour(9), 0x0000FFu);
}

TEST_F(PolarPlotHits, StraightAboveTheCentre) {
    PlotHit(400, 100);
    EXPECT_EQ(At(301, 359), 0x0000FFu);
    EXPECT_EQ(NonZero(), 1);
}

TEST_F(PolarPlotHits, RightOfTheCentreOnTheHorizontal) {
    PlotHit(700, 300);
    EXPECT_EQ(At(201, 180), 0x0000FFu);
    EXPECT_EQ(NonZero(), 1);
}

TEST_F(PolarPlotHits, QuadrantsByHand) {
    ActiveProbe().run.level = 1;
    PlotHit(400, 500);  // straight below: q = 2, a = 0
    EXPECT_EQ(At(301, 360), 0x00FF00u);
    PlotHit(100, 300);  // left on the horizontal: q = 1, a = 180 -> 179
    EXPECT_EQ(At(201, 179), 0x00FF00u);
    PlotHit(500, 400);  // lower right, 45 degrees: q = 3, a = floor(0.785398 x 720 / 6.28) = 90
    EXPECT_EQ(At(359, 629), 0x00FF00u);  // row floor(501 - 141.42)
    PlotHit(401, 300);  // next to the centre, to the right: q = 0, a = 180
    EXPECT_EQ(At(500, 180), 0x00FF00u);
}

TEST_F(PolarPlotHits, LevelsMixByOrAndRepeatEveryThree) {
    PlotHit(400, 100);
    ActiveProbe().run.level = 3;
    PlotHit(400, 100);
    EXPECT_EQ(At(301, 359), 0x0000FFu);
    ActiveProbe().run.level = 1;
    PlotHit(400, 100);
    EXPECT_EQ(At(301, 359), 0x0000FFFFu);  // cyan
}

TEST_F(PolarPlotHits, CentreAndCornersStayInside) {
    PlotHit(400, 300);
    EXPECT_EQ(NonZero(), 0);
    PlotHit(0, 0);
    PlotHit(799, 599);
    PlotHit(0, 599);
    PlotHit(799, 0);
    EXPECT_EQ(NonZero(), 4);
    // (0, 0): dx 400, dy 300, distance 500; a = floor(atan(4 / 3) x 720 / 6.28) = 106
    EXPECT_EQ(At(1, 359 - 106), 0x0000FFu);
}

}  // namespace
}  // namespace quillmark
