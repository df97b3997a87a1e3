// "quillmark compare" on the reference device against itself, and the
// figures each device's run keeps: every device's analysis figures are its
// own, frames are compared within tolerances, a level no device used shows
// as no pixels, and --help names the files compare writes.
#include "app/analysis.h"
#include "app/batch/analyze_command.h"
#include "app/app_state.h"
#include "app/probe_state.h"
#include "app/batch/batch_command.h"
#include "app/batch/batch_runner.h"
#include "app/batch/comparison.h"

#include "batch_capture.h"
#include "browser_check.h"
#include "result_schema.h"
#include "app/picture.h"
#include "app/batch/report_html.h"
#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

namespace quillmark::batch {
namespace {

using testing::ScratchDirectory;

// The analysis figures of one device are taken when its run ends; the next
// device's run must not change them.
TEST(CompareCommand, EachDevicesAnalysisFiguresAreItsOwn) {
    g_app = AppState{};
    ProbeState probeState;
    ActiveProbeScope probeScope(probeState);
    ActiveProbe().run.level = 3;
    const int before = LevelResultOf(3).hits;
    CountLevelHits(5);
    const AnalysisFigures first = CurrentAnalysisFigures();
    CountLevelHits(7);  // the second device's run
    const AnalysisFigures second = CurrentAnalysisFigures();
    const Json json = FiguresObject(first);
    EXPECT_EQ(json["levels"][3]["level"], 3);
    EXPECT_EQ(json["levels"][3]["row_period"], -1);
    EXPECT_EQ(json["levels"][3]["hits"], before + 5) << json.dump();
    EXPECT_EQ(FiguresObject(second)["levels"][3]["hits"], before + 12);
    EXPECT_NE(FiguresText(first).find("level 3: row period -1, column period -1, hits " + std::to_string(before + 5)),
              std::string::npos);
}

std::string CompareJson(const std::vector<std::string>& settings, const ScratchDirectory& scratch) {
    std::vector<std::string> arguments = {"compare", "--device", "reference", "--device", "reference", "--json",
                                          "-o", scratch.PathOf("out")};
    arguments.insert(arguments.end(), settings.begin(), settings.end());
    const testing::BatchOutput result = testing::RunBatchCaptured(arguments);
    EXPECT_EQ(result.code, kExitSuccess) << result.err;
    return result.out;
}

// The figures of compare's results document.
Json CompareFigures(const std::vector<std::string>& settings, const ScratchDirectory& scratch) {
    const Json document = Json::parse(CompareJson(settings, scratch));
    return document["cells"][0]["figures"];
}

// The plane seen square-on from afar shows one level only: the others were
// chosen by neither device and have no agreement to speak of.
TEST(CompareCommand, ALevelNeitherDeviceUsedShowsNoPixels) {
    ScratchDirectory scratch;
    const Json json = CompareFigures({"--object", "plane", "--distance", "30"}, scratch);
    int levels = 0, unused = 0;
    for (const Json& level : json["levels"]) {
        EXPECT_EQ(level["level"], levels);
        ++levels;
        if (level["pixelsA"] == 0 && level["pixelsB"] == 0) {
            ++unused;
            EXPECT_TRUE(level["share"].is_null()) << level.dump();
        } else {
            EXPECT_EQ(level["share"], 1.0) << level.dump();
        }
    }
    EXPECT_EQ(levels, 10) << json;
    EXPECT_GT(unused, 5) << json;
}

TEST(CompareCommand, IdenticalFramesAreWithinEveryTolerance) {
    ScratchDirectory scratch;
    const Json json = CompareFigures({}, scratch);
    EXPECT_EQ(json["frame_within"], Json::parse(R"({"0": 1.0, "1": 1.0, "2": 1.0, "8": 1.0})")) << json;
}

// report.html: who ran what, and a page that stands alone.
TEST(CompareCommand, WritesAReportThatLoadsAndCarriesEveryPicture) {
    ScratchDirectory scratch;
    const Json json = CompareFigures({"--object", "plane", "--angle", "60"}, scratch);
    ASSERT_EQ(json["lod"].size(), 2u) << json;
    EXPECT_GT(json["lod"][0]["covered"], 0) << json;
    std::ifstream in(scratch / "out" / "report.html", std::ios::binary);
    const std::string page((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(page.empty());
    EXPECT_NE(page.find("data-device=\"reference\">built-in software rasteriser<"), std::string::npos);
    EXPECT_NE(page.find("<code>quillmark compare --device reference --device reference --json -o "),
              std::string::npos);
    EXPECT_NE(page.find("<code>--angle</code></th><td data-device=\"reference\">60</td><td data-device=\"reference\">60<"),
              std::string::npos);
    // No device magnifies anisotropically: the page says what was drawn.
    EXPECT_NE(page.find("<code>--mag-filter</code></th><td data-device=\"reference\">anisotropic (in effect: linear)<"),
              std::string::npos);
    EXPECT_NE(page.find("(difference.bmp)"), std::string::npos);
    EXPECT_EQ(page.find("data:image/bmp"), std::string::npos);
    if (!testing::HaveChromium()) GTEST_SKIP() << "chromium is absent: the page was not opened";
    const std::optional<testing::BrowserVerdict> verdict = testing::CheckInBrowser(scratch / "out" / "report.html");
    ASSERT_TRUE(verdict.has_value()) << "the page did not load in Chromium";
    // Two frames, the difference, where they differ, two level frames, five λ pictures each.
    EXPECT_EQ(verdict->images, 16);
    EXPECT_EQ(verdict->decoded, 16);
    EXPECT_EQ(verdict->fetched, 0);
}

// The browser check itself catches an image that does not decode and a
// reference to anything outside the page.
// With --explain the page carries both devices' explanations, each the one
// explain gives: a knob the model has shows on its side only. (The time
// limit is generous: under an emulator each device's part takes minutes.)
TEST(CompareCommand, WithExplainShowsEachDevicesExplanation) {
    testing::ScratchDirectory scratch;
    const testing::BatchOutput run = testing::RunBatchCaptured(
        {"compare", "--device", "reference", "--device", "model:blend-width=0.5", "--explain", "--timeout", "1200",
         "-o", scratch.PathOf("out")});
    ASSERT_EQ(run.code, kExitSuccess) << run.err;
    std::ifstream in(scratch / "out/report.html");
    const std::string page((std::istreambuf_iterator<char>(in)), {});
    const std::size_t first = page.find("Explanation of reference"),
                      second = page.find("Explanation of model:blend-width=0.5");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    const std::size_t reduced = page.find("reduced trilinear: levels blended over 50 %");
    EXPECT_GT(reduced, second) << "only the model blends over part of each level";
    EXPECT_NE(reduced, std::string::npos);
}

TEST(CompareCommand, TheBrowserCheckCatchesBrokenImagesAndOutsideReferences) {
    if (!testing::HaveChromium()) GTEST_SKIP() << "chromium is absent";
    ScratchDirectory scratch;
    const std::string good = PictureImage(Picture(4, 3, 0x336699), "good");
    const std::string body = good + "<img src=\"data:image/png;base64,AAAA\" alt=\"broken\"/>" +
                             "<img src=\"http://example.invalid/x.png\" alt=\"outside\"/>";
    std::ofstream(scratch / "page.html") << Page("check", body);
    const std::optional<testing::BrowserVerdict> verdict = testing::CheckInBrowser(scratch / "page.html");
    ASSERT_TRUE(verdict.has_value());
    EXPECT_EQ(verdict->images, 3);
    EXPECT_EQ(verdict->decoded, 1);
    EXPECT_GE(verdict->fetched, 1);
}

// A device whose process really crashes: the other's figures and files
// are kept, the results document (valid against its schema) and the report
// say what happened, the exit status is 1.
TEST(CompareCommand, ADeviceThatCrashesIsNamedAndTheOtherKept) {
    ScratchDirectory scratch;
    const testing::BatchOutput result = testing::RunBatchCaptured(
        {"compare", "--device", "reference", "--device", "model:fault=segv", "--json", "-o", scratch.PathOf("out"),
         "--object", "plane", "--distance", "30"});
    EXPECT_EQ(result.code, kExitFailure) << result.err;
    if (testing::HaveJsonSchema()) {
        EXPECT_EQ(testing::SchemaFaults("compare", result.out), "");
    }
    const Json document = Json::parse(result.out);
    const Json& cell = document["cells"][0];
    EXPECT_FALSE(cell["drawn"].get<bool>());
    ASSERT_EQ(cell["failures"].size(), 1u) << cell;
    const std::string failure = cell["failures"][0].value("what", "");
    EXPECT_EQ(cell["failures"][0]["device"], "model:fault=segv");
    EXPECT_EQ(cell["failures"][0]["signal"], "SIGSEGV");
    EXPECT_TRUE(std::regex_match(failure, std::regex(R"(crashed: SIGSEGV after \d+\.\d s)"))) << cell;
    EXPECT_EQ(cell["why"], "model:fault=segv " + failure);
    const Json& json = cell["figures"];
    EXPECT_GT(json["lod"][0]["covered"], 0) << json;
    EXPECT_TRUE(json["lod"][1].is_null()) << json;
    // The drawn device is described as its own process found it.
    EXPECT_EQ(document["devices"][0]["description"], "built-in software rasteriser");
    // The drawn device's files are there; the names carry no ':' or '='.
    EXPECT_TRUE(std::filesystem::exists(scratch / "out" / "frame-reference.bmp"));
    EXPECT_FALSE(std::filesystem::exists(scratch / "out" / "difference.bmp"));
    std::ifstream in(scratch / "out" / "report.html", std::ios::binary);
    const std::string page((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(page.find("data-failure=\"model:fault=segv\">" + failure + "<"), std::string::npos);
    EXPECT_NE(page.find("Level of detail on reference against the ideal"), std::string::npos);
}

// Two devices that differ (the model one level coarser): file names without
// the name's ':' and '=', both devices' settings, every picture captioned
// and described with its device, the maps of one device at one width, the
// error at a fine scale too, where the frames differ, shares in percent.
TEST(CompareCommand, TheReportNamesEachDevicesPicturesAndShowsWhereFramesDiffer) {
    ScratchDirectory scratch;
    const std::string model = "model:lod-offset=1";
    const testing::BatchOutput result = testing::RunBatchCaptured(
        {"compare", "--device", "reference", "--device", model, "-o", scratch.PathOf("out"), "--object", "plane"});
    ASSERT_EQ(result.code, kExitSuccess) << result.err;
    EXPECT_TRUE(std::filesystem::exists(scratch / "out" / "frame-model_lod-offset_1.bmp"));
    EXPECT_TRUE(std::filesystem::exists(scratch / "out" / "levels-model_lod-offset_1.bmp"));
    for (const auto& entry : std::filesystem::directory_iterator(scratch / "out"))
        EXPECT_EQ(entry.path().filename().string().find_first_of(":=,"), std::string::npos) << entry.path();
    EXPECT_EQ(DeviceFileName("gl:0"), "gl_0");
    EXPECT_EQ(DeviceFileName("model:axes=max,blend-bits=4"), "model_axes_max_blend-bits_4");

    std::ifstream in(scratch / "out" / "report.html", std::ios::binary);
    const std::string page((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(page.find("<tr><th>setting</th><th>reference</th><th>" + model + "</th></tr>"), std::string::npos);
    EXPECT_NE(page.find("<td data-device=\"" + model + "\">plane</td>"), std::string::npos);
    for (const std::string& device : {std::string("reference"), model}) {
        SCOPED_TRACE(device);
        for (const std::string what : {"Frame", "Level chosen", "Error map, coarse scale (±2 levels)",
                                        "Error map, fine scale (±0.125 level)", "Measured level of detail",
                                        "Ideal level of detail", "Mean error by direction"}) {
            EXPECT_NE(page.find("alt=\"" + what + " on " + device), std::string::npos) << what;
            EXPECT_NE(page.find("<p class=\"caption\">" + what + " on " + device + "</p>"), std::string::npos) << what;
        }
        // The measured and the ideal map at one width.
        const auto widthOf = [&](const std::string& what) {
            const std::string key = "alt=\"" + what + " on " + device + "\" width=\"";
            const std::size_t at = page.find(key);
            return at == std::string::npos ? -1 : std::atoi(page.c_str() + at + key.size());
        };
        EXPECT_GT(widthOf("Measured level of detail"), 0);
        EXPECT_EQ(widthOf("Measured level of detail"), widthOf("Ideal level of detail"));
    }
    EXPECT_NE(page.find("alt=\"Pixels where the frames of reference and " + model + " differ\""), std::string::npos);
    EXPECT_TRUE(std::regex_search(page, std::regex(R"(data-figure="frame_within_0">\d+\.\d\d%<)"))) << "shares in percent";
    EXPECT_FALSE(std::regex_search(page, std::regex(R"(data-figure="share">0\.\d+<)"))) << "no fractions";
}

TEST(CompareCommand, HelpNamesTheFilesAndTheFigureAsTheyAre) {
    ::testing::internal::CaptureStdout();
    RunBatch({"compare", "--help"});
    const std::string help = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(help.find("frame-A.bmp"), std::string::npos);
    EXPECT_NE(help.find("frame-NAME.bmp"), std::string::npos);
    EXPECT_NE(help.find("either"), std::string::npos);  // both ÷ either, not a share of all pixels
}

}  // namespace
}  // namespace quillmark::batch
