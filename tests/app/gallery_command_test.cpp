// "quillmark gallery" on the reference device: one page, a section per
// setting of the fixed set, every picture inside it and decoding in Chromium.
#include "app/batch/batch_command.h"

#include "app/batch/baseline.h"
#include "app/batch/figure_table.h"

#include "batch_capture.h"
#include "browser_check.h"
#include "result_schema.h"
#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>

namespace quillmark::batch {
namespace {

using testing::ScratchDirectory;

int Count(const std::string& text, const std::string& what) {
    int count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

TEST(GalleryCommand, OnePageWithEverySettingAndItsPictures) {
    ScratchDirectory scratch;
    const testing::BatchOutput result =
        testing::RunBatchCaptured({"gallery", "--device", "reference", "--device", "reference", "-o",
                                   scratch.PathOf("out")});
    ASSERT_EQ(result.code, kExitSuccess) << result.err;
    // A device named twice is one driver, drawn once.
    EXPECT_NE(result.err.find("the gallery leaves out reference: it is the driver reference draws"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.out, scratch.PathOf("out/gallery.html") + "\n");
    std::ifstream in(scratch / "out" / "gallery.html", std::ios::binary);
    const std::string page((std::istreambuf_iterator<char>(in)), {});
    for (const char* setting : {"<h2>tunnel, 1x, trilinear</h2>", "<h2>tunnel, 16x, point mip</h2>",
                                "<h2>plane at 60°, 2x, trilinear</h2>", "<h2>plane at 60°, 4x, point mip</h2>"})
        EXPECT_NE(page.find(setting), std::string::npos) << setting;
    EXPECT_EQ(Count(page, "<h2>"), 1 + 16);  // the identity, then 2 objects × 4 anisotropies × 2 mip filters
    EXPECT_EQ(Count(page, "<img src=\"data:image/png;base64,"), 16 * 3);
    EXPECT_EQ(Count(page, "Not drawn"), 0);
    if (!testing::HaveChromium()) GTEST_SKIP() << "chromium is absent: the page was not opened";
    const std::optional<testing::BrowserVerdict> verdict = testing::CheckInBrowser(scratch / "out" / "gallery.html");
    ASSERT_TRUE(verdict.has_value()) << "the page did not load in Chromium";
    EXPECT_EQ(verdict->images, 48);
    EXPECT_EQ(verdict->decoded, 48);
    EXPECT_EQ(verdict->fetched, 0);
}

// A device whose process crashes or hangs is named on the page and in
// results.json with what happened and not started again; the run goes on,
// writes its page and results and exits with 1.
TEST(GalleryCommand, ADeviceThatCrashesOrHangsIsNamedAndSurvived) {
    ScratchDirectory scratch;
    const testing::BatchOutput result =
        testing::RunBatchCaptured({"gallery", "--device", "model:fault=segv", "--device", "model:fault=hang",
                                   "--timeout", "3", "-o", scratch.PathOf("out")});
    EXPECT_EQ(result.code, kExitFailure) << result.err;
    EXPECT_EQ(result.out, scratch.PathOf("out/gallery.html") + "\n");
    std::ifstream in(scratch / "out" / "gallery.html", std::ios::binary);
    const std::string page((std::istreambuf_iterator<char>(in)), {});
    const std::regex crashed(R"(data-failure="model:fault=segv">crashed: SIGSEGV after \d+\.\d s under tunnel, 1x, trilinear<)");
    EXPECT_TRUE(std::regex_search(page, crashed)) << page.substr(0, 3000);
    EXPECT_NE(page.find("data-failure=\"model:fault=hang\">no answer in 3 s under tunnel, 1x, trilinear<"),
              std::string::npos);
    // Each is tried once: the first setting; the other fifteen say why not.
    EXPECT_EQ(Count(page, "Not drawn: crashed: SIGSEGV"), 1);
    EXPECT_EQ(Count(page, "Not drawn: no answer in 3 s"), 1);
    EXPECT_EQ(Count(page, "Not drawn: not drawn again after it failed"), 2 * 15);
    EXPECT_NE(result.err.find("model:fault=segv crashed: SIGSEGV after "), std::string::npos) << result.err;

    const std::string text = testing::FileText(scratch.PathOf("out/results.json"));
    const Json document = Json::parse(text, nullptr, false);
    ASSERT_TRUE(document.is_object()) << text;
    if (testing::HaveJsonSchema()) {
        EXPECT_EQ(testing::SchemaFaults("gallery", text), "");
    }
    ASSERT_EQ(document["cells"].size(), 2u * 16);
    int recorded = 0;
    for (const Json& cell : document["cells"]) {
        EXPECT_FALSE(cell["drawn"].get<bool>()) << cell.dump();
        EXPECT_EQ(cell["figures"], Json::object());
        if (!cell.contains("failures")) {
            EXPECT_EQ(cell["why"].get<std::string>().rfind("not drawn again after it failed: ", 0), 0u) << cell.dump();
            continue;
        }
        ++recorded;
        const Json& failure = cell["failures"][0];
        EXPECT_EQ(cell["title"], "tunnel, 1x, trilinear");
        EXPECT_EQ(failure["device"], cell["device"]);
        EXPECT_EQ(failure["what"], cell["why"]);
        if (cell["device"] == "model:fault=segv") {
            EXPECT_EQ(failure["ended"], "crashed");
            EXPECT_EQ(failure["signal"], "SIGSEGV");
        } else {
            EXPECT_EQ(failure["ended"], "no answer");
            EXPECT_EQ(failure["limit_seconds"], 3);
            EXPECT_GE(failure["seconds"].get<double>(), 3.0);
        }
    }
    EXPECT_EQ(recorded, 2);
}

// With --junit a device that exits unexpectedly is a failed test case per
// setting, and the run exits with 2 as any failed run with --junit does.
TEST(GalleryCommand, ADeviceThatExitsFailsItsJunitCases) {
    ScratchDirectory scratch;
    const testing::BatchOutput result =
        testing::RunBatchCaptured({"gallery", "--device", "model:fault=exit", "--junit", scratch.PathOf("junit.xml"),
                                   "-o", scratch.PathOf("out")});
    EXPECT_EQ(result.code, kExitRunFailed) << result.err;
    const std::string junit = testing::FileText(scratch.PathOf("junit.xml"));
    EXPECT_NE(junit.find("tests=\"16\" failures=\"16\""), std::string::npos) << junit;
    EXPECT_EQ(Count(junit, "<failure type=\"not drawn\""), 16);
    EXPECT_EQ(Count(junit, "\">exited with status 3 after "), 1);
    EXPECT_EQ(Count(junit, "not drawn again after it failed: exited with status 3"), 15);
}

TEST(GalleryCommand, TakesNoSettings) {
    const testing::BatchOutput result = testing::RunBatchCaptured({"gallery", "--anisotropy", "4"});
    EXPECT_EQ(result.code, kExitUsage);
    EXPECT_NE(result.err.find("quillmark: cannot make the gallery: takes no settings"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace quillmark::batch
