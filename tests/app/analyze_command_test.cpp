// "quillmark analyze" end to end on the headless backend: the files it
// writes (read back by ImageMagick), the figures on stdout as text and JSON,
// and its command-line errors.
#include "../texfile/texture_test_support.h"
#include "analysis_test_support.h"
#include "batch_runner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quillmark {
namespace {

using test::ImageFacts;
using test::ReadImageFacts;

class AnalyzeCommand : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quillmark-analyze-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        previous_ = std::filesystem::current_path();
        std::filesystem::create_directory(directory_ / "here");
        std::filesystem::current_path(directory_ / "here");
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(directory_);
    }

    // Runs the command with a thin plane (quick to draw) and point filters.
    int Analyze(std::vector<std::string> extra) {
        std::vector<std::string> arguments = {"analyze",      "--object",     "plane", "--angle",
                                              "88",           "--min-filter", "point", "--mag-filter",
                                              "point",        "--mip-filter", "point"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int code = batch::RunBatch(arguments);
        output_ = ::testing::internal::GetCapturedStdout();
        errors_ = ::testing::internal::GetCapturedStderr();
        return code;
    }

    std::filesystem::path directory_, previous_;
    std::string output_, errors_;
};

TEST_F(AnalyzeCommand, WritesThePlotTheHeatMapAndTheFigures) {
    const std::filesystem::path out = directory_ / "out" / "deeper";
    ASSERT_EQ(Analyze({"-o", out.string()}), 0) << errors_;
    const ImageFacts plot = ReadImageFacts((out / "MipBand.bmp").string());
    ASSERT_TRUE(plot.read);
    EXPECT_EQ(plot.width, 720);
    EXPECT_EQ(plot.height, 501);
    EXPECT_GT(plot.maximum, 0.0);
    const ImageFacts heatMap = ReadImageFacts((out / "heatmap.bmp").string());
    ASSERT_TRUE(heatMap.read);
    EXPECT_EQ(heatMap.width, 800);
    EXPECT_EQ(heatMap.height, 600);

    EXPECT_NE(output_.find("MAX: 1\n"), std::string::npos) << output_;
    EXPECT_NE(output_.find("SUM: "), std::string::npos);
    EXPECT_NE(output_.find("P: "), std::string::npos);
    EXPECT_NE(output_.find("level 9: row period "), std::string::npos);
    EXPECT_NE(errors_.find("DONE"), std::string::npos) << "progress reaches the end";
    EXPECT_FALSE(std::filesystem::exists("MipBand.bmp")) << "nothing lands in the current directory";
    EXPECT_EQ(errors_.find("warning"), std::string::npos) << errors_;
}

// The run marks the generated texture: with a texture file selected, the
// file's colours are hits in every frame, and the run says so. (A black file
// keeps the run short: nothing it shows is taken for a mark.)
TEST_F(AnalyzeCommand, ATextureFileIsAnalysedWithAWarningNamingIt) {
    const std::filesystem::path texture = directory_ / "black.bmp";
    const testing::Bytes bitmap = testing::Bitmap24(8, 8, [](int, int) { return 0u; });
    std::ofstream(texture, std::ios::binary)
        .write(reinterpret_cast<const char*>(bitmap.data()), static_cast<std::streamsize>(bitmap.size()));
    ASSERT_EQ(Analyze({"--texture", texture.string(), "-o", directory_.string()}), 0) << errors_;
    EXPECT_NE(errors_.find("quillmark analyze: warning: the analysis marks texels of the generated texture, so the "
                           "colours of the texture file \"" +
                           texture.string() + "\" are counted as hits\n"),
              std::string::npos)
        << errors_;
}

TEST_F(AnalyzeCommand, JsonCarriesTheSameFiguresAndTheCurrentDirectoryIsTheDefault) {
    ASSERT_EQ(Analyze({"-o", directory_.string()}), 0) << errors_;
    const std::string text = output_;
    const auto figure = [&](const std::string& name) {
        const std::size_t at = text.find(name + ": ");
        if (at == std::string::npos) return std::string();
        const std::size_t from = at + name.size() + 2;
        return text.substr(from, text.find('\n', from) - from);
    };
    ASSERT_EQ(Analyze({"--json"}), 0) << errors_;  // into the current directory
    EXPECT_TRUE(ReadImageFacts("MipBand.bmp").read);
    EXPECT_TRUE(ReadImageFacts("heatmap.bmp").read);
    EXPECT_EQ(output_.front(), '{');
    EXPECT_NE(output_.find("\"sum\": " + figure("SUM") + ","), std::string::npos) << output_;
    EXPECT_NE(output_.find("\"max\": 1,"), std::string::npos);
    EXPECT_NE(output_.find("\"done\": true"), std::string::npos);
    EXPECT_NE(output_.find("{\"level\": 9, \"row_period\": "), std::string::npos);
}

TEST_F(AnalyzeCommand, RejectsUnknownOptions) {
    EXPECT_EQ(Analyze({"--frobnicate"}), 2);
    EXPECT_NE(errors_.find("--frobnicate"), std::string::npos);
    EXPECT_EQ(Analyze({"-o"}), 2);
}

TEST_F(AnalyzeCommand, RefusesAnOutputThatIsAFile) {
    const std::filesystem::path file = directory_ / "file";
    FILE* created = std::fopen(file.c_str(), "w");
    ASSERT_NE(created, nullptr);
    std::fclose(created);
    EXPECT_EQ(Analyze({"-o", file.string()}), 1);
    EXPECT_NE(errors_.find("cannot create the directory"), std::string::npos) << errors_;
}

}  // namespace
}  // namespace quillmark
