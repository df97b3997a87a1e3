// "quillmark compare" and "quillmark devices" with the OpenGL devices: a
// device compared with itself agrees everywhere, llvmpipe and the reference
// device choose the same level almost everywhere, and every device is listed.
#include "app/batch/batch_runner.h"
#include "app/batch/compare_command.h"
#include "gl_fixture.h"

#include <filesystem>
#include <nlohmann/json.hpp>

namespace quillmark {
namespace {

class GlCompare : public ::testing::Test {
protected:
    void SetUp() override {
        QUILLMARK_REQUIRE_GL("llvmpipe");
        char pattern[] = "/tmp/quillmark-compare-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    int Run(std::vector<std::string> arguments) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int code = batch::RunBatch(arguments);
        output_ = ::testing::internal::GetCapturedStdout();
        errors_ = ::testing::internal::GetCapturedStderr();
        return code;
    }

    // The figures of compare's results document.
    nlohmann::json Figures() const { return nlohmann::json::parse(output_).at("cells").at(0).at("figures"); }

    // The "share" figures of the JSON output, level by level.
    std::vector<double> Shares() const {
        std::vector<double> shares;
        const nlohmann::json figures = Figures();
        for (const nlohmann::json& level : figures.at("levels"))
            shares.push_back(level.at("share").get<double>());
        return shares;
    }

    std::filesystem::path directory_;
    std::string output_, errors_;
};

TEST_F(GlCompare, ADeviceComparedWithItselfAgreesOnEveryLevel) {
    ASSERT_EQ(Run({"compare", "--device", "llvmpipe", "--device", "llvmpipe", "--json", "-o", directory_.string()}), 0)
        << errors_;
    EXPECT_EQ(Figures().at("differing"), 0) << output_;
    const std::vector<double> shares = Shares();
    ASSERT_EQ(shares.size(), 10u) << output_;
    for (double share : shares) EXPECT_EQ(share, 1.0) << output_;
    for (const char* file : {"frame-llvmpipe.bmp", "levels-llvmpipe.bmp", "difference.bmp"})
        EXPECT_TRUE(std::filesystem::exists(directory_ / file)) << file;
}

TEST_F(GlCompare, LlvmpipeChoosesTheReferenceDevicesLevelAlmostEverywhere) {
    ASSERT_EQ(Run({"compare", "--device", "reference", "--device", "llvmpipe", "--json", "-o", directory_.string()}), 0)
        << errors_;
    const std::vector<double> shares = Shares();
    ASSERT_EQ(shares.size(), 10u) << output_;
    for (double share : shares) EXPECT_GT(share, 0.99) << output_;
}

// compare --analyze runs one analysis per device (here the reference device
// twice, which needs no driver), and each analysis's progress is headed by
// the device it runs on.
TEST(CompareAnalyze, SaysWhichDeviceEachAnalysisRunsOn) {
    char pattern[] = "/tmp/quillmark-compare-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int code = batch::RunBatch({"compare", "--device", "reference", "--device", "reference", "--object", "plane",
                                      "--angle", "88", "--min-filter", "point", "--mag-filter", "point",
                                      "--mip-filter", "point", "--analyze", "-o", pattern});
    ::testing::internal::GetCapturedStdout();
    const std::string errors = ::testing::internal::GetCapturedStderr();
    std::filesystem::remove_all(pattern);
    ASSERT_EQ(code, 0) << errors;
    const std::string heading = "quillmark: analysing on reference (";
    const std::size_t first = errors.find(heading);
    ASSERT_NE(first, std::string::npos) << errors;
    const std::size_t second = errors.find(heading, first + 1);
    ASSERT_NE(second, std::string::npos) << "one heading per device: " << errors;
    EXPECT_LT(first, errors.find("frames")) << "the heading comes before the progress";
    EXPECT_NE(errors.find("frames", second), std::string::npos) << "the second run's progress follows its heading";
}

// The two devices' frames differ by a few 255ths almost everywhere (their
// filters round differently), which an exact comparison would call 87 %
// different: the shares within 0, 1, 2 and 8 of 255 show how far apart they are.
TEST_F(GlCompare, FramesAreComparedWithinTolerances) {
    ASSERT_EQ(Run({"compare", "--device", "reference", "--device", "llvmpipe", "--json", "-o", directory_.string()}), 0)
        << errors_;
    const nlohmann::json within = Figures().at("frame_within");
    const double exact = within.at("0"), one = within.at("1"), two = within.at("2"), eight = within.at("8");
    EXPECT_LE(exact, one);
    EXPECT_LE(one, two);
    EXPECT_LE(two, eight);
    EXPECT_LT(exact, 0.5);
    EXPECT_GT(eight, 0.99);
}

TEST_F(GlCompare, CompareNeedsTwoDevices) {
    EXPECT_EQ(Run({"compare", "--device", "llvmpipe"}), 2);
    EXPECT_NE(errors_.find("two devices"), std::string::npos) << errors_;
}

TEST_F(GlCompare, DevicesListsEveryDeviceWithItsRenderer) {
    QUILLMARK_EXPECT_IN_CHILD([this] {
        const int code = Run({"devices"});
        std::fprintf(stderr, "%s%s", output_.c_str(), errors_.c_str());
        return code == 0 && output_.find("reference: built-in software rasteriser") != std::string::npos &&
               output_.find("llvmpipe: llvmpipe") != std::string::npos &&
               output_.find("gl:0: ") != std::string::npos &&
               output_.find("  textures as stored: A8R8G8B8, X8R8G8B8, R5G6B5") != std::string::npos &&
               output_.find("softpipe: softpipe") != std::string::npos &&
               output_.find("max anisotropy") != std::string::npos;
    });
}

TEST_F(GlCompare, DevicesListsOnlyTheNamedDevicesAndFailsForOneThatCannotBeOpened) {
    const auto check = [this] {
        const int listed = Run({"devices", "--device", "llvmpipe"});
        const bool onlyNamed = listed == 0 && output_.starts_with("llvmpipe: llvmpipe") &&
                               output_.find("reference:") == std::string::npos;
        const int refused = Run({"devices", "--device", "reference", "--device", "gl:999"});
        std::fprintf(stderr, "%s%s", output_.c_str(), errors_.c_str());
        return onlyNamed && refused == 1 && output_.find("reference: built-in") != std::string::npos &&
               output_.find("gl:999: cannot be opened: no usable OpenGL driver was found "
                            "(there is no EGL device 999") != std::string::npos;
    };
    QUILLMARK_EXPECT_IN_CHILD(check);
}

TEST(LevelMarks, EveryMarkColourReadsAsItsOwnLevelAndBlackAsNone) {
    for (int level = 0; level < 10; ++level) EXPECT_EQ(batch::LevelOfPixel(batch::LevelMarkColor(level)), level);
    EXPECT_EQ(batch::LevelOfPixel(0xFF000000u), -1);
}

}  // namespace
}  // namespace quillmark
