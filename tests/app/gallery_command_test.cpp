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

#include <filesystem>
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

// Two result folders, as two machines would make them: one gallery on the
// reference device, and a copy of it whose results say it was made on
// another machine and whose device crashed under one setting. The merged
// folder holds one page and one results.json (valid against the schema):
// both devices, each named with its machine, every picture copied, and the
// crash recorded under the merged name.
TEST(GalleryMerge, FoldersFromTwoMachinesMakeOnePage) {
    ScratchDirectory scratch;
    const testing::BatchOutput made =
        testing::RunBatchCaptured({"gallery", "--device", "reference", "-o", scratch.PathOf("here")});
    ASSERT_EQ(made.code, kExitSuccess) << made.err;
    std::filesystem::copy(scratch / "here", scratch / "there", std::filesystem::copy_options::recursive);
    Json there = Json::parse(testing::FileText(scratch.PathOf("there/results.json")));
    const std::string host = there["host"];
    there["host"] = "other-machine";
    Json& crashed = there["cells"][5];
    crashed["drawn"] = false;
    crashed["why"] = "crashed: SIGSEGV after 0.4 s";
    crashed["failures"] = Json::array({{{"device", "reference"},
                                        {"ended", "crashed"},
                                        {"what", "crashed: SIGSEGV after 0.4 s"},
                                        {"seconds", 0.4},
                                        {"signal", "SIGSEGV"}}});
    crashed["figures"] = Json::object();
    crashed.erase("images");
    std::ofstream(scratch / "there" / "results.json") << there.dump(2);

    const testing::BatchOutput merged = testing::RunBatchCaptured(
        {"gallery", "--merge", scratch.PathOf("here"), scratch.PathOf("there"), "-o", scratch.PathOf("merged")});
    ASSERT_EQ(merged.code, kExitSuccess) << merged.err;
    EXPECT_EQ(merged.out, scratch.PathOf("merged/gallery.html") + "\n");

    const std::string text = testing::FileText(scratch.PathOf("merged/results.json"));
    if (testing::HaveJsonSchema()) {
        EXPECT_EQ(testing::SchemaFaults("gallery", text), "");
    }
    const Json document = Json::parse(text);
    const std::string mine = "reference@" + host, theirs = "reference@other-machine";
    ASSERT_EQ(document["devices"].size(), 2u);
    EXPECT_EQ(document["devices"][0]["name"], mine);
    EXPECT_EQ(document["devices"][1]["name"], theirs);
    EXPECT_EQ(document["devices"][1]["host"], "other-machine");
    EXPECT_EQ(document["devices"][1]["description"], "built-in software rasteriser");
    ASSERT_EQ(document["merged_from"].size(), 2u);
    EXPECT_EQ(document["merged_from"][1]["host"], "other-machine");
    ASSERT_EQ(document["cells"].size(), 2u * 16);
    int drawn = 0;
    for (const Json& cell : document["cells"]) {
        if (!cell["drawn"].get<bool>()) {
            EXPECT_EQ(cell["device"], theirs);
            EXPECT_EQ(cell["failures"][0]["device"], theirs);
            continue;
        }
        ++drawn;
        for (const char* key : {"frame", "level_plot", "lod_error", "levels"}) {
            const std::string file = cell["images"][key];
            EXPECT_TRUE(std::filesystem::is_regular_file(scratch / "merged" / file)) << file;
            EXPECT_EQ(file.find(".."), std::string::npos);
        }
    }
    EXPECT_EQ(drawn, 2 * 16 - 1);
    // The same cells on both sides: the second device chose every level as the first.
    const std::string page = testing::FileText(scratch.PathOf("merged/gallery.html"));
    EXPECT_EQ(Count(page, "<h3>" + mine + "</h3>"), 16);
    EXPECT_EQ(Count(page, "<h3>" + theirs + "</h3>"), 16);
    EXPECT_EQ(Count(page, "<th>" + theirs + "</th><td class=\"number\">"), 15);
    EXPECT_EQ(Count(page, "100.00%</td></tr>"), 2 * 15 + 1);
    EXPECT_NE(page.find("data-failure=\"" + theirs + "\">crashed: SIGSEGV after 0.4 s under "), std::string::npos);
    EXPECT_NE(page.find("<h2>Merged from</h2>"), std::string::npos);
    if (!testing::HaveChromium()) GTEST_SKIP() << "chromium is absent: the page was not opened";
    const std::optional<testing::BrowserVerdict> verdict = testing::CheckInBrowser(scratch / "merged" / "gallery.html");
    ASSERT_TRUE(verdict.has_value()) << "the page did not load in Chromium";
    EXPECT_EQ(verdict->images, (2 * 16 - 1) * 3);
    EXPECT_EQ(verdict->decoded, verdict->images);
    EXPECT_EQ(verdict->fetched, 0);
}

// What cannot be merged is refused in one sentence with exit 2, before
// anything is written: a folder without results.json, results of a newer
// format, folders made with other settings.
TEST(GalleryMerge, FoldersThatCannotBeMergedAreRefusedInWords) {
    ScratchDirectory scratch;
    const auto results = [&](const std::string& folder, const Json& document) {
        std::filesystem::create_directories(scratch / folder);
        std::ofstream(scratch / folder / "results.json") << document.dump(2);
        return scratch.PathOf(folder);
    };
    Json cell = {{"device", "reference"},  {"title", "tunnel"}, {"settings", {{"--anisotropy", "4"}}},
                 {"in_effect", Json::object()}, {"drawn", false},    {"why", "the device refused the settings"},
                 {"figures", Json::object()}};
    Json document = {{"format", "quillmark-results"}, {"format_version", 1}, {"kind", "gallery"},
                     {"host", "one"}, {"devices", Json::array({{{"name", "reference"}, {"description", "x"}, {"notes", ""}}})},
                     {"cells", Json::array({cell})}};
    const std::string good = results("good", document);
    std::filesystem::create_directories(scratch / "empty");
    const auto refusal = [&](const std::string& other) {
        const testing::BatchOutput run =
            testing::RunBatchCaptured({"gallery", "--merge", good, other, "-o", scratch.PathOf("out")});
        EXPECT_EQ(run.code, kExitUsage) << run.err;
        EXPECT_FALSE(std::filesystem::exists(scratch / "out" / "gallery.html"));
        return run.err;
    };
    EXPECT_EQ(refusal(scratch.PathOf("empty")),
              "quillmark: cannot merge the galleries: " + scratch.PathOf("empty") +
                  " holds no results.json: it is not a folder that \"quillmark gallery -o\" wrote\n");
    Json newer = document;
    newer["format_version"] = 2;
    EXPECT_NE(refusal(results("newer", newer)).find("written in results format version 2, newer than this quillmark reads (1)"),
              std::string::npos);
    Json other = document;
    other["cells"][0]["settings"]["--anisotropy"] = "16";
    EXPECT_NE(refusal(results("other", other)).find("was made with other settings than " + good), std::string::npos);
    Json none = document;
    none["devices"] = Json::array();
    EXPECT_NE(refusal(results("none", none)).find(scratch.PathOf("none") + " holds the results of no device"),
              std::string::npos);
    Json lod = document;
    lod["kind"] = "lod";
    EXPECT_NE(refusal(results("lod", lod)).find("not of \"quillmark gallery\""), std::string::npos);
    // The merged folder may not be one of those merged.
    const testing::BatchOutput into = testing::RunBatchCaptured({"gallery", "--merge", good, "-o", good});
    EXPECT_EQ(into.code, kExitUsage);
    EXPECT_NE(into.err.find("is one of the folders merged"), std::string::npos) << into.err;
    // --merge draws nothing: the options of a drawing run are refused with it.
    const testing::BatchOutput drawing =
        testing::RunBatchCaptured({"gallery", "--merge", good, "--device", "reference", "-o", scratch.PathOf("out")});
    EXPECT_EQ(drawing.code, kExitUsage);
}

TEST(GalleryCommand, TakesNoSettings) {
    const testing::BatchOutput result = testing::RunBatchCaptured({"gallery", "--anisotropy", "4"});
    EXPECT_EQ(result.code, kExitUsage);
    EXPECT_NE(result.err.find("quillmark: cannot make the gallery: takes no settings"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace quillmark::batch
