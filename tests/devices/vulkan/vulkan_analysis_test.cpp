// Whole analysis runs and the compare command on lavapipe: point sampling
// hits every covered pixel exactly once, and with point filters the tunnel
// looks as on the reference device almost everywhere.
#include <filesystem>
#include <nlohmann/json.hpp>

#include "../../app/analysis_test_support.h"
#include "batch_capture.h"
#include "vulkan_fixture.h"

namespace quillmark {
namespace {

using vulkan::testing::kLavapipe;
using vulkan::testing::ValidationReport;

class VulkanAnalysis : public test::AnalysisFixture {
protected:
    void SetUp() override {
        QUILLMARK_REQUIRE_VULKAN();
        ASSERT_TRUE(SelectDevice(kLavapipe, nullptr));
        AnalysisFixture::SetUp();
    }
    void TearDown() override {
        AnalysisFixture::TearDown();
        EXPECT_EQ(ValidationReport(), "");
    }
};

TEST_F(VulkanAnalysis, PointFiltersHitEveryCoveredPixelOnce) { ExpectPointFiltersHitEveryCoveredPixelOnce(); }

TEST_F(VulkanAnalysis, LostDeviceMidRunLeavesTheFiguresAsTheyWere) { ExpectLostFramesChangeNothing(); }

class VulkanCompare : public vulkan::testing::VulkanTest {
protected:
    void SetUp() override {
        VulkanTest::SetUp();
        if (IsSkipped()) return;
        char pattern[] = "/tmp/quillmark-compare-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
    }
    void TearDown() override {
        if (!directory_.empty()) std::filesystem::remove_all(directory_);
        VulkanTest::TearDown();
    }

    int Run(const std::vector<std::string>& arguments) {
        const testing::BatchOutput result = testing::RunBatchCaptured(arguments);
        output_ = result.out;
        errors_ = result.err;
        return result.code;
    }

    std::filesystem::path directory_;
    std::string output_, errors_;
};

TEST_F(VulkanCompare, PointFilteredTunnelMatchesTheReferenceDeviceOnAtLeast98PercentOfPixels) {
    ASSERT_EQ(Run({"compare", "--device", "reference", "--device", kLavapipe, "--min-filter", "point", "--mag-filter",
                   "point", "--mip-filter", "point", "--json", "-o", directory_.string()}),
              0)
        << errors_;
    const nlohmann::json figures = nlohmann::json::parse(output_).at("cells").at(0).at("figures");
    const double pixels = figures.at("pixels").get<double>(), differing = figures.at("differing").get<double>();
    ASSERT_GT(pixels, 0) << output_;
    ASSERT_GE(differing, 0) << output_;
    EXPECT_GE(1 - differing / pixels, 0.98) << output_;
    EXPECT_GT(differing, 0) << "two rasterisers this different agreeing everywhere would be a surprise";
}

TEST_F(VulkanCompare, DevicesNamesTheDriverAndItsLimits) {
    ASSERT_EQ(Run({"devices", "--device", kLavapipe}), 0) << errors_;
    for (const char* part : {"lavapipe: ", "; driver ", ", version ", "; Vulkan 1.", "max anisotropy ",
                             "LOD bias -", "sub-pixel ", "sub-texel ", "mipmap "})
        EXPECT_NE(output_.find(part), std::string::npos) << part << " in " << output_;
}

TEST_F(VulkanCompare, DevicesFailsSayingWhyWhenANamedDeviceCannotBeOpened) {
    EXPECT_NE(Run({"devices", "--device", "vulkan:999"}), 0);
    EXPECT_NE(output_.find("vulkan:999: cannot be opened: the Vulkan loader lists "), std::string::npos) << output_;
    EXPECT_NE(output_.find("numbered from 0"), std::string::npos) << output_;
}

}  // namespace
}  // namespace quillmark
