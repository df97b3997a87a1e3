// The λ meter's pieces on their own: the level encoding read back through a
// device's blend and rounding, the ideal λ and its band for hand-worked
// footprints and scenes, and the figures of known error maps.
#include "app/batch/lod_command.h"
#include "app/lod_figures.h"
#include "app/lod_ideal.h"
#include "app/lod_meter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <array>
#include <random>
#include <vector>

namespace quillmark {
namespace {

constexpr int kLastLevel = 9;

// What a device draws between two flat levels under a linear mip filter:
// each channel blended by frac(λ), then stored as a byte by `store`.
template <typename Store>
std::uint32_t Blend(int frame, double lambda, Store store) {
    const int level = std::min(int(std::floor(lambda)), kLastLevel - 1);
    const double f = lambda - level;
    const std::uint32_t a = LodLevelColour(frame, level), b = LodLevelColour(frame, level + 1);
    std::uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        const double ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        out |= std::uint32_t(store(ca + (cb - ca) * f)) << shift;
    }
    return out;
}

TEST(LodMeter, EveryLevelReadsAsItselfAndBlackAsUncovered) {
    for (int level = 0; level <= kLastLevel; ++level) {
        const MeasuredLod read = DecodeLod(LodLevelColour(0, level), LodLevelColour(1, level), kLastLevel);
        EXPECT_TRUE(read.covered);
        EXPECT_EQ(read.lambda, level);
    }
    EXPECT_FALSE(DecodeLod(0, 0, kLastLevel).covered);
    EXPECT_FALSE(DecodeLod(LodLevelColour(0, 3), 0, kLastLevel).covered);  // covered in one frame only
}

TEST(LodMeter, BlendsBetweenLevelsReadToAboutOne255thOfALevel) {
    const auto round = [](double c) { return std::floor(c + 0.5); };
    const auto truncate = [](double c) { return std::floor(c); };
    double worstRounded = 0, worstTruncated = 0;
    for (double lambda = 0; lambda <= kLastLevel; lambda += 1.0 / 512) {
        const MeasuredLod rounded = DecodeLod(Blend(0, lambda, round), Blend(1, lambda, round), kLastLevel);
        const MeasuredLod truncated = DecodeLod(Blend(0, lambda, truncate), Blend(1, lambda, truncate), kLastLevel);
        worstRounded = std::max(worstRounded, std::abs(rounded.lambda - lambda));
        worstTruncated = std::max(worstTruncated, std::abs(truncated.lambda - lambda));
    }
    EXPECT_LE(worstRounded, 1.0 / 255);
    EXPECT_LE(worstTruncated, 2.0 / 255);  // the alternations of both frames straddle the step
}

TEST(LodIdeal, IsotropicFootprintsAndTheirBand) {
    LodRule rule;
    rule.lastLevel = kLastLevel;
    // Four texels per pixel along the screen axes: λ = 2, and no freedom.
    LodBand band = LodOfFootprint({4, 0, 0, 4}, rule);
    EXPECT_DOUBLE_EQ(band.lambda, 2);
    EXPECT_DOUBLE_EQ(band.low, 2);
    EXPECT_DOUBLE_EQ(band.high, 2);
    // The same footprint turned by 45°: each axis may be measured anywhere
    // from 2√2 (the larger difference) to 4√2 (their sum): half a level each way.
    const double d = 2 * std::sqrt(2.0);
    band = LodOfFootprint({d, d, -d, d}, rule);
    EXPECT_NEAR(band.lambda, 2, 1e-12);
    EXPECT_NEAR(band.low, 1.5, 1e-12);
    EXPECT_NEAR(band.high, 2.5, 1e-12);
    // The bias moves all three.
    rule.bias = -1.25;
    band = LodOfFootprint({d, d, -d, d}, rule);
    EXPECT_NEAR(band.lambda, 0.75, 1e-12);
    EXPECT_NEAR(band.low, 0.25, 1e-12);
    EXPECT_NEAR(band.high, 1.25, 1e-12);
}

TEST(LodIdeal, AnisotropicFootprintsTakeTheLongAxisOverN) {
    LodRule rule;
    rule.anisotropic = true;
    rule.lastLevel = kLastLevel;
    rule.maxAnisotropy = 16;
    // 16 texels across, 2 down: ratio 8, N = 8, λ = log2(16 / 8).
    EXPECT_DOUBLE_EQ(LodOfFootprint({16, 0, 0, 2}, rule).lambda, 1);
    // At most 2 probes: λ = log2(16 / 2).
    rule.maxAnisotropy = 2;
    EXPECT_DOUBLE_EQ(LodOfFootprint({16, 0, 0, 2}, rule).lambda, 3);
    // Ratio 3 under 16x: N = 3 gives log2(6 / 3) = 1; a device that rounds N
    // up to 4 gives log2(6 / 4), which the band allows.
    rule.maxAnisotropy = 16;
    const LodBand band = LodOfFootprint({6, 0, 0, 2}, rule);
    EXPECT_DOUBLE_EQ(band.lambda, 1);
    EXPECT_LE(band.low, std::log2(6.0 / 4));
    EXPECT_GE(band.high, 1);
    // A footprint of ratio 32 under 2x: the rule says log2(32 / 2) = 4; the
    // short axis (level 0) lies far outside the band.
    rule.maxAnisotropy = 2;
    const LodBand wide = LodOfFootprint({32, 0, 0, 1}, rule);
    EXPECT_DOUBLE_EQ(wide.lambda, 4);
    EXPECT_GT(wide.low, 3);
}

// The band against brute force: every axis length on a fine grid of its
// allowed range, both ways of counting probes; the band must hold every value
// reached and be no wider than the values reached (up to the grid's step).
TEST(LodIdeal, AnisotropicBandIsTheRangeTheRulesReach) {
    LodRule rule;
    rule.anisotropic = true;
    rule.lastLevel = kLastLevel;
    // Axis-aligned, ratio 8 at 16x: both axis lengths are exact and both
    // counts give 8 probes, so λ = 1 is the only legal level.
    rule.maxAnisotropy = 16;
    const LodBand aligned = LodOfFootprint({16, 0, 0, 2}, rule);
    EXPECT_DOUBLE_EQ(aligned.low, 1);
    EXPECT_DOUBLE_EQ(aligned.high, 1);

    std::mt19937 random(7);
    std::uniform_real_distribution<double> difference(-24.0, 24.0);
    constexpr int kSteps = 300;
    for (int trial = 0; trial < 60; ++trial) {
        const Footprint f{difference(random), difference(random), difference(random) / 4, difference(random) / 4};
        rule.maxAnisotropy = 2 << (trial % 4);
        const LodBand band = LodOfFootprint(f, rule);
        EXPECT_LE(band.low, band.lambda + 1e-12);
        EXPECT_GE(band.high, band.lambda - 1e-12);
        const double xLow = std::max(std::abs(f.dudx), std::abs(f.dvdx)), xHigh = std::abs(f.dudx) + std::abs(f.dvdx);
        const double yLow = std::max(std::abs(f.dudy), std::abs(f.dvdy)), yHigh = std::abs(f.dudy) + std::abs(f.dvdy);
        double reachedLow = HUGE_VAL, reachedHigh = -HUGE_VAL;
        // Every pair of a fine grid, and the pairs of a grid line with a
        // whole ratio (where a probe count ends exactly: a grid misses them).
        std::vector<std::array<double, 2>> pairs;
        for (int i = 0; i <= kSteps; ++i) {
            const double fx = xLow + (xHigh - xLow) * i / kSteps, fy = yLow + (yHigh - yLow) * i / kSteps;
            for (int j = 0; j <= kSteps; ++j) pairs.push_back({fx, yLow + (yHigh - yLow) * j / kSteps});
            for (int k = 1; k <= rule.maxAnisotropy; ++k)
                for (const double ratio : {double(k), 1.0 / k}) {
                    if (fx * ratio >= yLow && fx * ratio <= yHigh) pairs.push_back({fx, fx * ratio});
                    if (fy * ratio >= xLow && fy * ratio <= xHigh) pairs.push_back({fy * ratio, fy});
                }
        }
        for (const auto& [fx, fy] : pairs) {
            const double longer = std::max(fx, fy), shorter = std::min(fx, fy);
            // The whole ratios above come out of the division a hair high.
            const double whole = shorter > 0 ? std::ceil(longer / shorter * (1 - 1e-12)) : HUGE_VAL;
            const double exact = std::min(whole, double(rule.maxAnisotropy));
            double rounded = 1;
            while (rounded < whole && rounded < rule.maxAnisotropy) rounded *= 2;
            for (const double n : {exact, std::min(rounded, double(rule.maxAnisotropy))}) {
                const double lambda = std::log2(longer / n);
                reachedLow = std::min(reachedLow, lambda);
                reachedHigh = std::max(reachedHigh, lambda);
            }
        }
        SCOPED_TRACE(::testing::Message() << "footprint " << f.dudx << ", " << f.dvdx << ", " << f.dudy << ", "
                                          << f.dvdy << " at " << rule.maxAnisotropy << "x");
        EXPECT_LE(band.low, reachedLow + 1e-9);
        EXPECT_GE(band.high, reachedHigh - 1e-9);
        EXPECT_GE(band.low, reachedLow - 0.01);
        EXPECT_LE(band.high, reachedHigh + 0.01);
    }
}

// A flat floor seen from the eye, drawn as two triangles in clip space:
// clip = (X·z, Y·z, ·, z) for the floor point at depth z, so screen row Y
// (normalised, up positive) sees the floor at z = -1 / Y (Y < 0) and the
// texture coordinate v = z there. Independent truth: v at two pixel rows.
TEST(LodIdeal, PerspectiveFloorMatchesTheClosedForm) {
    constexpr int kWidth = 64, kHeight = 64;
    IdealScene scene;
    scene.viewportWidth = kWidth;
    scene.viewportHeight = kHeight;
    scene.textureWidth = scene.textureHeight = 256;
    // Floor points (x, -1, z): clip x = x, y = -1, w = z, depth z/w in [0, 1] as (z - 1) / z·... kept at 0.5.
    const auto vertex = [](double x, double z) { return IdealVertex{x, -1, 0.5 * z, z, x / 256, z / 256}; };
    scene.triangles.push_back({vertex(-40, 1), vertex(40, 1), vertex(-40, 40)});
    scene.triangles.push_back({vertex(40, 1), vertex(40, 40), vertex(-40, 40)});
    LodRule rule;
    rule.lastLevel = kLastLevel;
    const std::vector<IdealLod> ideal = ComputeIdealLod(scene, rule, kWidth, kHeight);
    // Pixel row py has Y = 1 - 2·py / H; the floor's v (in texels) is -1 / Y.
    const auto texelV = [](double py) { return -1 / (1 - 2 * py / kHeight); };
    for (int py : {40, 44, 50, 60}) {
        const int quadRow = py & ~1;
        const double dvdy = std::abs(texelV(quadRow + 1) - texelV(quadRow));
        // Along x: u = x texels with x = X·z, one pixel is 2/W in X; down the
        // middle column (X = 0) u does not change from row to row.
        const double dudx = 2.0 / kWidth * texelV(quadRow);
        const double lambda = std::log2(std::max(dvdy, dudx));
        const IdealLod& pixel = ideal[std::size_t(py) * kWidth + kWidth / 2];
        ASSERT_TRUE(pixel.covered) << py;
        EXPECT_NEAR(pixel.level, lambda, 1e-9) << py;
    }
    // Above the horizon (Y > 0) the floor is not seen.
    EXPECT_FALSE(ideal[std::size_t(10) * kWidth + 20].covered);
}

TEST(LodIdeal, PointMipReadsTheNearestLevelAndClampsOutsideTheChain) {
    IdealScene scene;
    scene.viewportWidth = scene.viewportHeight = 8;
    scene.textureWidth = scene.textureHeight = 8 * 6;  // 6 texels per pixel: λ = log2 6 ≈ 2.58
    const auto vertex = [](double x, double y) { return IdealVertex{x, y, 0.5, 1, (x + 1) / 2, (1 - y) / 2}; };
    scene.triangles.push_back({vertex(-1, 1), vertex(3, 1), vertex(-1, -3)});
    LodRule rule;
    rule.lastLevel = kLastLevel;
    rule.mip = MipRule::Point;
    std::vector<IdealLod> ideal = ComputeIdealLod(scene, rule, 8, 8);
    EXPECT_TRUE(ideal[0].covered);
    EXPECT_EQ(ideal[0].level, 3);
    rule.bias = -3;  // λ below 0: clamped
    ideal = ComputeIdealLod(scene, rule, 8, 8);
    EXPECT_TRUE(ideal[0].clamped);
}

TEST(LodFigures, SectorsCountClockwiseFromUp) {
    EXPECT_EQ(SectorOf(0.01, -1), 0);
    EXPECT_EQ(SectorOf(1, 0.01), 8);
    EXPECT_EQ(SectorOf(-0.01, 1), 16);
    EXPECT_EQ(SectorOf(-1, -0.01), 24);
    EXPECT_EQ(SectorOf(-0.01, -1), 31);
}

TEST(LodFigures, SharesErrorsAndClampsOfAKnownMap) {
    // Four columns of 2 × 2: errors 0, +0.2, -0.4 and a clamped column; one
    // pixel the device did not draw.
    LodMaps maps;
    maps.width = 4;
    maps.height = 2;
    maps.lastLevel = kLastLevel;
    const double errors[] = {0, 0.2, -0.4, 0};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            IdealLod ideal;
            ideal.covered = true;
            ideal.level = 3;
            ideal.low = 2.9;
            ideal.high = 3.25;
            ideal.clamped = x == 3;
            maps.ideal.push_back(ideal);
            maps.measured.push_back({!(x == 0 && y == 1), 3 + errors[x]});
        }
    const LodFigures f = ComputeLodFigures(maps);
    EXPECT_EQ(f.covered, 7);
    EXPECT_EQ(f.clamped, 2);
    ASSERT_TRUE(f.within116 && f.within14 && f.within12 && f.withinAllowed);
    EXPECT_DOUBLE_EQ(*f.within116, 1.0 / 5);
    EXPECT_DOUBLE_EQ(*f.within14, 3.0 / 5);
    EXPECT_DOUBLE_EQ(*f.within12, 1.0);
    EXPECT_DOUBLE_EQ(*f.withinAllowed, 3.0 / 5);  // -0.4 lies below the band
    EXPECT_NEAR(*f.meanError, (0 + 0.2 * 2 - 0.4 * 2) / 5, 1e-12);
    EXPECT_NEAR(*f.meanAbsError, (0.2 * 2 + 0.4 * 2) / 5, 1e-12);
    EXPECT_NEAR(*f.p99AbsError, 0.4, 1e-12);
    const std::string json = batch::LodFiguresObject(f).dump(1);
    for (const char* name : {"\"covered\": 7", "\"within_1_16\": 0.2", "\"within_1_4\": ", "\"within_1_2\": 1.0",
                             "\"within_allowed\": ", "\"mean_abs_error\": ", "\"p99_abs_error\": 0.4",
                             "\"mean_error\": -0.08", "\"sectors\": [", "\"clamped\": 2"})
        EXPECT_NE(json.find(name), std::string::npos) << name << " in " << json;
}

TEST(LodFigures, NoMeasuredPixelsGiveNoShares) {
    LodMaps maps;
    maps.width = maps.height = 1;
    maps.measured = {{false, 0}};
    maps.ideal = {IdealLod{}};
    const LodFigures f = ComputeLodFigures(maps);
    EXPECT_EQ(f.covered, 0);
    EXPECT_FALSE(f.within116.has_value());
    EXPECT_TRUE(batch::LodFiguresObject(f)["within_1_16"].is_null());
}

}  // namespace
}  // namespace quillmark
