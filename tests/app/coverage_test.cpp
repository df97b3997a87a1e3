// Coverage of whole frames: the object drawn with a white texture leaves no
// pixel inside its silhouette undrawn, whatever the rotations, distance,
// tilt or face count. (That a point-sampled run counts exactly the drawn
// pixels is an analysis invariant, checked with the analysis.)
#include "analysis_test_support.h"

#include <deque>
#include <sstream>
#include <vector>

namespace quillmark {
namespace {

using test::AnalysisFixture;

class FrameCoverage : public AnalysisFixture {
protected:
    void SetUp() override {
        AnalysisFixture::SetUp();
        ActiveProbe().settings.minFilter = D3DTEXF_POINT;
        ActiveProbe().settings.magFilter = D3DTEXF_POINT;
        ActiveProbe().settings.mipFilter = D3DTEXF_POINT;
    }

    // Undrawn pixels that cannot be reached from the edge of the screen (or,
    // for the tunnel, from its open far end around the screen centre) through
    // undrawn pixels: pixels of the object that were left out.
    static std::vector<int> Holes(const std::vector<std::uint32_t>& pixels, bool tunnel) {
        const int width = ActiveProbe().windowWidth, height = ActiveProbe().windowHeight;
        std::vector<bool> reached(pixels.size(), false);
        std::deque<int> open;
        auto visit = [&](int x, int y) {
            if (x < 0 || y < 0 || x >= width || y >= height) return;
            const int i = y * width + x;
            if (reached[i] || (pixels[i] & 0xFFFFFF) != 0) return;
            reached[i] = true;
            open.push_back(i);
        };
        for (int x = 0; x < width; ++x) visit(x, 0), visit(x, height - 1);
        for (int y = 0; y < height; ++y) visit(0, y), visit(width - 1, y);
        if (tunnel) visit(width / 2, height / 2);
        while (!open.empty()) {
            const int i = open.front();
            open.pop_front();
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) visit(i % width + dx, i / width + dy);
            }
        }
        std::vector<int> holes;
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            if ((pixels[i] & 0xFFFFFF) == 0 && !reached[i]) holes.push_back(static_cast<int>(i));
        }
        return holes;
    }

    static std::string Describe(const std::vector<int>& holes) {
        std::ostringstream text;
        for (std::size_t k = 0; k < holes.size() && k < 8; ++k)
            text << " (" << holes[k] % ActiveProbe().windowWidth << ", " << holes[k] / ActiveProbe().windowWidth << ")";
        return text.str();
    }
};

TEST_F(FrameCoverage, TunnelLeavesNoHoleAtAnyRotationOrFaceCount) {
    ActiveProbe().settings.showPlane = false;
    const int faceCounts[] = {3, 4, 7, 31, 64, 199, 200};
    const float sceneRotations[] = {0, 13, 30, 45, 71, 89};
    int frames = 0;
    for (int faces : faceCounts) {
        ActiveProbe().settings.faces = faces;
        ASSERT_EQ(BuildTunnel(), S_OK);
        for (float rotation : sceneRotations) {
            ActiveProbe().settings.sceneRotation = rotation;
            ActiveProbe().settings.textureRotation = static_cast<float>((frames++ * 37) % 90);
            const std::vector<std::uint32_t> pixels = WhiteFramePixels();
            ASSERT_EQ(pixels.size(), 800u * 600u);
            const std::vector<int> holes = Holes(pixels, true);
            EXPECT_TRUE(holes.empty()) << faces << " faces, rotation " << rotation << ":" << Describe(holes);
        }
    }
}

TEST_F(FrameCoverage, PlaneLeavesNoHoleAtAnyDistanceOrTilt) {
    ActiveProbe().settings.showPlane = true;
    const double distances[] = {0.5, 2.0, 8.6, 17.3, 30.0};
    const double angles[] = {0, 21, 47, 68, 80, 89};
    const float sceneRotations[] = {0, 30, 77};
    int frames = 0;
    for (double distance : distances) {
        for (double angle : angles) {
            for (float rotation : sceneRotations) {
                ActiveProbe().settings.distance = distance;
                ActiveProbe().settings.planeAngle = angle;
                ActiveProbe().settings.sceneRotation = rotation;
                ActiveProbe().settings.textureRotation = static_cast<float>((frames++ * 53) % 90);
                const std::vector<std::uint32_t> pixels = WhiteFramePixels();
                ASSERT_EQ(pixels.size(), 800u * 600u);
                const std::vector<int> holes = Holes(pixels, false);
                EXPECT_TRUE(holes.empty()) << "distance " << distance << ", angle " << angle << ", rotation "
                                           << rotation << ":" << Describe(holes);
            }
        }
    }
}

}  // namespace
}  // namespace quillmark
