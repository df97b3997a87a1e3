// The pixel inspector: the quick probe against samplers whose weights are
// worked out by hand, and, on the reference device headless, a click on the
// frame opens the inspector on what that pixel samples: under point
// filtering the one texel the geometry puts under the pixel, under bilinear
// filtering the four around it with their bilinear weights.
#include "app/app_state.h"
#include "app/device_menu.h"
#include "app/footprint_probe.h"
#include "app/pixel_inspector.h"
#include "app/probe.h"
#include "probe_fixture.h"

#include "devices/select/d3d9_select.h"
#include "platform/win32/headless_dialogs.h"
#include "platform/win32/window_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace quillmark {
namespace {

constexpr double kStep = 1.0 / 255;

using TexelKey = std::tuple<int, int, int>;  // level, x, y

// A sampler that gives the pixel fixed texel weights: a frame shows in each
// channel 255 times the weight of the texels its mark covers, rounded.
MarkedPixelReader SamplerOf(const std::map<TexelKey, double>& weights, int* frames = nullptr) {
    return [weights, frames](const std::vector<TexelMark>& marks) -> std::optional<std::uint32_t> {
        if (frames) ++*frames;
        std::uint32_t pixel = 0;
        for (std::size_t i = 0; i < marks.size(); ++i) {
            double sum = 0;
            for (const auto& [key, weight] : weights) {
                const auto [level, x, y] = key;
                if (level == marks[i].level && (marks[i].wholeLevel || (x == marks[i].x && y == marks[i].y)))
                    sum += weight;
            }
            pixel |= std::uint32_t(std::lround(std::min(sum, 1.0) * 255)) << (16 - 8 * i);
        }
        return pixel;
    };
}

std::map<TexelKey, double> Found(const ProbedFootprint& probed) {
    std::map<TexelKey, double> found;
    for (const TexelWeight& texel : probed.texels) found[{texel.level, texel.x, texel.y}] = texel.weight;
    return found;
}

void ExpectWeights(const ProbedFootprint& probed, const std::map<TexelKey, double>& expected) {
    const std::map<TexelKey, double> found = Found(probed);
    ASSERT_EQ(found.size(), expected.size());
    for (const auto& [key, weight] : expected) {
        ASSERT_TRUE(found.count(key)) << std::get<1>(key) << "," << std::get<2>(key);
        EXPECT_NEAR(found.at(key), weight, 0.5 * kStep + 1e-12);
    }
}

// Bilinear filtering at (u, v) = (3.75, 6.25) texels on an 8 x 8 level:
// texel centres lie at i + 0.5, so the sample sits at 3.25, 5.75 between
// centres: weights (1 - 0.25)(1 - 0.75), 0.25 (1 - 0.75), (1 - 0.25) 0.75
// and 0.25 * 0.75.
TEST(QuickProbe, FindsTheFourBilinearTexelsWithTheirWeights) {
    const std::map<TexelKey, double> bilinear = {
        {{0, 3, 5}, 0.1875}, {{0, 4, 5}, 0.0625}, {{0, 3, 6}, 0.5625}, {{0, 4, 6}, 0.1875}};
    FootprintGuess guess;
    guess.u = 3.75;
    guess.v = 6.25;
    guess.footprint = {0.5, 0, 0, 0.5};  // magnified two times
    const std::optional<ProbedFootprint> probed = ProbeFootprint({4, 8}, guess, SamplerOf(bilinear));
    ASSERT_TRUE(probed);
    EXPECT_TRUE(probed->complete);
    ExpectWeights(*probed, bilinear);
    EXPECT_EQ(probed->levelWeights, (std::vector<double>{1, 0, 0, 0}));
    EXPECT_EQ(MeasuredLevel(*probed), 0.0);
}

// At u = 0.25 the sample lies a quarter texel left of texel 0's centre: wrap
// addressing blends the last column (a quarter) with the first (three quarters).
TEST(QuickProbe, FollowsWrapAddressingAcrossTheEdge) {
    const std::map<TexelKey, double> wrapped = {{{0, 7, 2}, 0.25}, {{0, 0, 2}, 0.75}};
    FootprintGuess guess;
    guess.u = 0.25;
    guess.v = 2.5;
    guess.footprint = {0.5, 0, 0, 0.5};
    const std::optional<ProbedFootprint> probed = ProbeFootprint({4, 8}, guess, SamplerOf(wrapped));
    ASSERT_TRUE(probed);
    ExpectWeights(*probed, wrapped);
}

// A device that samples elsewhere than the geometry predicts (here nine
// texels to the right on a 64 x 64 level) is still found: the box grows
// until it holds the level's whole weight.
TEST(QuickProbe, GrowsTheBoxUntilTheLevelsWholeWeightIsFound) {
    const std::map<TexelKey, double> offset = {{{0, 19, 10}, 0.5}, {{0, 20, 10}, 0.5}};
    FootprintGuess guess;
    guess.u = 10.5;
    guess.v = 10.5;
    guess.footprint = {1, 0, 0, 1};
    const std::optional<ProbedFootprint> probed = ProbeFootprint({1, 64}, guess, SamplerOf(offset));
    ASSERT_TRUE(probed);
    EXPECT_TRUE(probed->complete);
    ExpectWeights(*probed, offset);
}

// Trilinear filtering between levels 1 and 2 (a blend of 0.4): each level's
// texels, its weight, and the level blend 1.4.
TEST(QuickProbe, ReadsEachLevelOfATrilinearBlend) {
    const std::map<TexelKey, double> trilinear = {{{1, 2, 2}, 0.6}, {{2, 1, 1}, 0.4}};
    FootprintGuess guess;
    guess.u = 10;
    guess.v = 10;
    guess.footprint = {2.6, 0, 0, 2.6};
    int frames = 0;
    const std::optional<ProbedFootprint> probed = ProbeFootprint({4, 16}, guess, SamplerOf(trilinear, &frames));
    ASSERT_TRUE(probed);
    ExpectWeights(*probed, trilinear);
    ASSERT_EQ(probed->levelWeights.size(), 4u);
    EXPECT_NEAR(probed->levelWeights[1], 0.6, 0.5 * kStep);
    EXPECT_NEAR(probed->levelWeights[2], 0.4, 0.5 * kStep);
    ASSERT_TRUE(MeasuredLevel(*probed));
    EXPECT_NEAR(*MeasuredLevel(*probed), 1.4, kStep);
    EXPECT_EQ(probed->frames, frames);
}

// Half of the level's weight lies 290 texels from where the geometry says:
// the search gives up at its frame budget, keeping what it found, and says
// that not all was found.
TEST(QuickProbe, StopsAtTheFrameBudgetAndSaysNotAllWasFound) {
    const std::map<TexelKey, double> scattered = {{{0, 10, 10}, 0.5}, {{0, 300, 300}, 0.5}};
    FootprintGuess guess;
    guess.u = 10.5;
    guess.v = 10.5;
    guess.footprint = {1, 0, 0, 1};
    const std::optional<ProbedFootprint> probed = ProbeFootprint({1, 512}, guess, SamplerOf(scattered));
    ASSERT_TRUE(probed);
    EXPECT_FALSE(probed->complete);
    EXPECT_LE(probed->frames, kProbeFrameBudget + 1);
    ExpectWeights(*probed, {{{0, 10, 10}, 0.5}});
}

TEST(QuickProbe, FailsWhenAFrameCannotBeDrawn) {
    const MarkedPixelReader broken = [](const std::vector<TexelMark>&) { return std::optional<std::uint32_t>(); };
    EXPECT_FALSE(ProbeFootprint({4, 16}, FootprintGuess{}, broken));
}

TEST(QuickProbe, APixelNoTexelReachesHasNoLevelBlend) {
    const std::optional<ProbedFootprint> probed = ProbeFootprint({4, 16}, FootprintGuess{}, SamplerOf({}));
    ASSERT_TRUE(probed);
    EXPECT_TRUE(probed->texels.empty());
    EXPECT_FALSE(MeasuredLevel(*probed));
    EXPECT_EQ(probed->frames, 2);  // the four levels, three to a frame
}

class PixelInspector : public test::ProbeFixture {
protected:
    void SetUp() override {
        test::ProbeFixture::SetUp();
        probe_ = std::make_unique<Probe>(Probe::Running{});
        win32::ClearMessageBoxes();
    }
    void TearDown() override {
        probe_.reset();
        SelectDevice("reference", nullptr);
        test::ProbeFixture::TearDown();
    }
    // The plane seen at a slant, with the given filters.
    void Use(D3DTEXTUREFILTERTYPE min, D3DTEXTUREFILTERTYPE mag, D3DTEXTUREFILTERTYPE mip) {
        ProbeSettings settings = probe_->Settings();
        settings.showPlane = true;
        settings.planeAngle = 40;
        settings.minFilter = min;
        settings.magFilter = mag;
        settings.mipFilter = mip;
        ASSERT_TRUE(probe_->Apply(settings));
        ASSERT_TRUE(probe_->DrawFrame());
    }
    static const PixelInspection& Click(int x, int y) {
        SendMessageA(g_app.mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        const PixelInspection* shown = ShownPixelInspection();
        EXPECT_TRUE(shown);
        static const PixelInspection none;
        return shown ? *shown : none;
    }
    std::unique_ptr<Probe> probe_;
};

// Under point filtering one texel of one level reaches the pixel with all of
// its colour: the texel the geometry puts under the pixel centre on the
// level the rule picks.
TEST_F(PixelInspector, PointFilteringShowsExactlyOneTexelOfWeightOne) {
    Use(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
    const ProbeSettings before = probe_->Settings();
    const PixelInspection& inspection = Click(333, 457);
    ASSERT_EQ(inspection.probed.texels.size(), 1u);
    const TexelWeight& texel = inspection.probed.texels[0];
    EXPECT_EQ(texel.weight, 1.0);
    ASSERT_TRUE(inspection.at && inspection.ideal);
    ASSERT_TRUE(inspection.probed.complete);
    const int size = inspection.shape.LevelSize(texel.level);
    const double scale = double(size) / inspection.shape.size;
    const auto wrapped = [size](double t) { return ((int(std::floor(t)) % size) + size) % size; };
    EXPECT_EQ(texel.x, wrapped(inspection.at->u * scale)) << inspection.at->u << "," << inspection.at->v;
    EXPECT_EQ(texel.y, wrapped(inspection.at->v * scale));
    EXPECT_EQ(texel.level, std::clamp(int(std::floor(inspection.ideal->lambda + 0.5)), 0, inspection.shape.levels - 1));
    EXPECT_EQ(MeasuredLevel(inspection.probed), double(texel.level));
    EXPECT_EQ(inspection.x, 333);
    EXPECT_EQ(inspection.y, 457);
    EXPECT_TRUE(win32::MessageBoxesShown().empty());

    // The user's settings and texture are back, and the window shows the picture.
    EXPECT_EQ(probe_->Settings(), before);
    const HWND window = PixelInspectorWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(IsWindowVisible(window));
    const Picture picture = InspectionPicture(inspection);
    const win32::WindowImage shown = win32::GetWindowImage(window);
    EXPECT_EQ(shown.width, picture.width);
    EXPECT_EQ(shown.height, picture.height);
    EXPECT_EQ(shown.pixels, picture.pixels);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, picture.width);
    EXPECT_EQ(client.bottom, picture.height);
}

// The probe reads back frames, so it works on every device: under point
// filtering each finds one texel of weight one at that pixel, the one the
// reference device finds (the devices agree on where a pixel centre samples
// away from texel edges).
TEST_F(PixelInspector, EveryDeviceShowsTheSameSingleTexelUnderPointFiltering) {
    Use(D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT);
    const TexelWeight onReference = Click(333, 457).probed.texels.at(0);
    int devices = 0;
    for (const std::string& name : DeviceNames()) {
        std::string description, error;
        if (name == "reference" || !DescribeDevice(name, &description, &error)) continue;
        ASSERT_TRUE(SwitchDevice(name, &error)) << name << ": " << error;
        ASSERT_TRUE(probe_->DrawFrame());
        const PixelInspection& inspection = Click(333, 457);
        ASSERT_EQ(inspection.probed.texels.size(), 1u) << name;
        const TexelWeight& texel = inspection.probed.texels[0];
        EXPECT_EQ(texel.weight, 1.0) << name;
        EXPECT_EQ(std::tie(texel.level, texel.x, texel.y), std::tie(onReference.level, onReference.x, onReference.y))
            << name;
        ++devices;
    }
    std::string error;
    ASSERT_TRUE(SwitchDevice("reference", &error)) << error;
    if (devices == 0) GTEST_SKIP() << "this machine has no other device that opens";
}

// Bilinear filtering of level 0 (no mip filter): the four texels around the
// sample point with the weights its fractions give, adding up to one.
TEST_F(PixelInspector, BilinearFilteringShowsTheFourNeighboursWithTheirWeights) {
    Use(D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_NONE);
    const PixelInspection& inspection = Click(300, 500);
    ASSERT_TRUE(inspection.at);
    const double s = inspection.at->u - 0.5, t = inspection.at->v - 0.5;
    const double fx = s - std::floor(s), fy = t - std::floor(t);
    const int x0 = int(std::floor(s)), y0 = int(std::floor(t));
    const auto wrap = [](int i) { return ((i % 512) + 512) % 512; };
    std::map<TexelKey, double> expected;
    const double weights[2][2] = {{(1 - fx) * (1 - fy), fx * (1 - fy)}, {(1 - fx) * fy, fx * fy}};
    for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx)
            if (weights[dy][dx] * 255 >= 1) expected[{0, wrap(x0 + dx), wrap(y0 + dy)}] = weights[dy][dx];
    const std::map<TexelKey, double> found = Found(inspection.probed);
    double sum = 0;
    for (const auto& [key, weight] : found) {
        sum += weight;
        if (expected.count(key)) EXPECT_NEAR(weight, expected.at(key), 3 * kStep);
        else EXPECT_LE(weight, 2 * kStep) << "a texel outside the 2 x 2 block";
    }
    for (const auto& [key, weight] : expected) EXPECT_TRUE(found.count(key)) << std::get<1>(key) << "," << std::get<2>(key);
    EXPECT_NEAR(sum, 1.0, found.size() * 0.5 * kStep + kStep);
}

// Outside the frame, or while an analysis run draws the frames, a message
// box says why nothing can be inspected.
TEST_F(PixelInspector, SaysWhyAPixelCannotBeInspected) {
    PixelInspection inspection;
    std::string error;
    EXPECT_FALSE(InspectPixel(*probe_, 800, 10, &inspection, &error));
    EXPECT_NE(error.find("outside the frame"), std::string::npos);
    ASSERT_TRUE(probe_->StartAnalysis());
    SendMessageA(g_app.mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    ASSERT_EQ(win32::MessageBoxesShown().size(), 1u);
    EXPECT_EQ(win32::MessageBoxesShown()[0].text,
              "Could not inspect pixel (10, 10): an analysis run is drawing the frames; press Stop first.");
}

}  // namespace
}  // namespace quillmark
