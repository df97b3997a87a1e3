// report.html of "quillmark analyze": every figure of the JSON output shows
// in the page with the same value, the page is well-formed markup, its
// images are PNG data, and in Chromium it loads, every image decodes and
// nothing is fetched.
#include "app/batch/batch_runner.h"

#include "browser_check.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

std::string FileText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

bool ToolPresent(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// The values of every element marked data-figure="name", in page order.
std::vector<std::string> Figures(const std::string& page, const std::string& name) {
    std::vector<std::string> values;
    const std::regex marked("data-figure=\"" + name + "\">([^<]*)<");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), marked); it != std::sregex_iterator(); ++it)
        values.push_back((*it)[1]);
    return values;
}

class AnalyzeReport : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quillmark-report-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
    }
    void TearDown() override { fs::remove_all(directory_); }

    fs::path directory_;
};

TEST_F(AnalyzeReport, ShowsEveryFigureOfTheJsonAndCarriesTheImagesWritten) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int code = batch::RunBatch({"analyze", "--object", "plane", "--angle", "88", "--min-filter", "point",
                                      "--mag-filter", "point", "--mip-filter", "point", "--json", "-o",
                                      directory_.string()});
    const std::string json = nlohmann::json::parse(::testing::internal::GetCapturedStdout())["cells"][0]["figures"].dump();
    const std::string errors = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(code, 0) << errors;
    const std::string page = FileText(directory_ / "report.html");
    ASSERT_FALSE(page.empty());

    // Scalars: "name": value (a string value without its quotes); the level
    // records repeat their names once per level, in order.
    std::map<std::string, std::vector<std::string>> expected;
    const std::regex field("\"([a-z_]+)\": ?(\"([^\"]*)\"|[-0-9a-z]+)");
    for (auto it = std::sregex_iterator(json.begin(), json.end(), field); it != std::sregex_iterator(); ++it)
        expected[(*it)[1]].push_back((*it)[3].matched ? (*it)[3].str() : (*it)[2].str());
    ASSERT_TRUE(expected.count("sum") && expected["level"].size() == 10) << json;
    for (const auto& [name, values] : expected) EXPECT_EQ(Figures(page, name), values) << name;
    EXPECT_NE(page.find("data-figure=\"levels\""), std::string::npos);

    // The settings as applied, and no resource outside the page.
    EXPECT_NE(page.find("<code>--angle</code></th><td>88<"), std::string::npos);
    EXPECT_NE(page.find("<code>--min-filter</code></th><td>point<"), std::string::npos);
    EXPECT_EQ(page.find("http:"), std::string::npos);
    EXPECT_EQ(page.find("https:"), std::string::npos);

    // Each image is PNG data inside the page: the heat map, the polar plot
    // (named after MipBand.bmp), the λ meter's five pictures.
    const std::string prefix = "<img src=\"data:image/png;base64,";
    int images = 0;
    for (std::size_t at = page.find(prefix); at != std::string::npos; at = page.find(prefix, at + 1)) {
        ++images;
        const std::size_t data = at + prefix.size(), dataEnd = page.find('"', data);
        const fs::path encoded = directory_ / "encoded.txt", decoded = directory_ / "decoded.bin";
        std::ofstream(encoded) << page.substr(data, dataEnd - data);
        ASSERT_EQ(std::system(("base64 -d '" + encoded.string() + "' > '" + decoded.string() + "'").c_str()), 0);
        EXPECT_EQ(FileText(decoded).substr(0, 8), "\x89PNG\r\n\x1a\n");
    }
    EXPECT_EQ(images, 7);  // the heat map, the polar plot, five λ pictures
    EXPECT_NE(page.find("(MipBand.bmp)\""), std::string::npos);
    EXPECT_EQ(page.find("data:image/bmp"), std::string::npos);

    // The identity of what ran, and the level of detail measured on it.
    EXPECT_NE(page.find("data-device=\"reference\">built-in software rasteriser<"), std::string::npos);
    EXPECT_NE(page.find("<code>quillmark analyze --object plane --angle 88"), std::string::npos);
    EXPECT_NE(page.find("data-figure=\"within_1_16\""), std::string::npos);

    if (testing::HaveChromium()) {
        const std::optional<testing::BrowserVerdict> verdict = testing::CheckInBrowser(directory_ / "report.html");
        ASSERT_TRUE(verdict.has_value()) << "the page did not load in Chromium";
        EXPECT_EQ(verdict->images, 7);
        EXPECT_EQ(verdict->decoded, 7);
        EXPECT_EQ(verdict->fetched, 0);
    }

    if (!ToolPresent("xmllint")) GTEST_SKIP() << "xmllint is not installed: the markup was not validated";
    const std::string report = (directory_ / "report.html").string();
    EXPECT_EQ(std::system(("xmllint --noout '" + report + "'").c_str()), 0) << "well-formed";
    EXPECT_EQ(std::system(("xmllint --html --noout '" + report + "' 2>&1 | grep -q . && exit 1 || exit 0").c_str()), 0)
        << "the HTML parser reports nothing";
}

// With --explain the page carries the device's explanation: the one explain
// gives for a model whose knob is known, with its three pictures.
TEST_F(AnalyzeReport, WithExplainShowsTheDevicesExplanation) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int code = batch::RunBatch({"analyze", "--device", "model:blend-width=0.5", "--object", "plane", "--angle",
                                      "88", "--explain", "-o", directory_.string()});
    ::testing::internal::GetCapturedStdout();
    const std::string errors = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(code, 0) << errors;
    const std::string page = FileText(directory_ / "report.html");
    EXPECT_NE(page.find("Explanation of model:blend-width=0.5"), std::string::npos);
    EXPECT_NE(page.find("reduced trilinear: levels blended over 50 %"), std::string::npos);
    EXPECT_EQ(Figures(page, "model").size(), 1u);
    EXPECT_NE(page.find("Probe count implied by the level read on model:blend-width=0.5"), std::string::npos);
}

}  // namespace
}  // namespace quillmark
