// Runs compared with a stored one (--baseline, --tolerance, --junit): a
// baseline recorded on the reference device stands for a driver before a
// change, a model device with one knob turned for the same driver after it.
// The cells the knob reaches must fail, the others pass; the exit code, the
// JUnit XML (read by python3's xml.etree) and the page say so.
#include "app/batch/baseline.h"
#include "app/batch/batch_command.h"

#include "batch_capture.h"
#include "command_output.h"
#include "result_schema.h"
#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace quillmark::batch {
namespace {

using testing::BatchOutput;
using testing::RunBatchCaptured;
using testing::ScratchDirectory;

// The baseline as if recorded on `device`: the driver under test keeps its
// name while what it draws changes.
std::string Relabelled(const std::string& file, const std::string& device, const std::string& to) {
    Json document = Json::parse(testing::FileText(file));
    for (Json& identity : document["devices"]) identity["name"] = device;
    for (Json& cell : document["cells"]) cell["device"] = device;
    std::ofstream(to, std::ios::binary) << document.dump(2);
    return to;
}

// "NAME FAILED" per test case of a JUnit file, read by python3's xml.etree.
std::string JunitCases(const std::string& file) {
    return testing::CommandOutput(
        "/usr/bin/python3 -c 'import sys, xml.etree.ElementTree as E\n"
        "root = E.parse(sys.argv[1]).getroot()\n"
        "suite = root.find(\"testsuite\")\n"
        "print(root.tag, suite.get(\"tests\"), suite.get(\"failures\"))\n"
        "for case in suite.iter(\"testcase\"):\n"
        "    print(case.get(\"classname\") + \"|\" + case.get(\"name\") + \"|\" + "
        "(\"failed\" if case.find(\"failure\") is not None else \"skipped\" if case.find(\"skipped\") is not None "
        "else \"passed\"))' " +
        file + " 2>&1");
}

TEST(Tolerance, ReadsLevelsAndSharesAsFractionsOrPercentages) {
    Tolerance t;
    std::string error;
    EXPECT_DOUBLE_EQ(t.levels, 0.01);
    EXPECT_DOUBLE_EQ(t.share, 0.005);
    ASSERT_TRUE(ParseTolerance("share=2%,levels=0.125", &t, &error)) << error;
    EXPECT_DOUBLE_EQ(t.levels, 0.125);
    EXPECT_DOUBLE_EQ(t.share, 0.02);
    ASSERT_TRUE(ParseTolerance("share=0.1", &t, &error)) << error;
    EXPECT_DOUBLE_EQ(t.share, 0.1);
    EXPECT_DOUBLE_EQ(t.levels, 0.125) << "a key not given keeps its value";
    for (const char* bad : {"levels", "levels=", "levels=-1", "levels=1%", "share=x", "lambda=0.1", "levels=1,levels=2",
                            "levels=nan"})
        EXPECT_FALSE(ParseTolerance(bad, &t, &error)) << bad;
    EXPECT_EQ(error, "--tolerance: levels takes a number of at least 0, not \"nan\"");
}

ResultCell Cell(const std::string& device, const std::string& anisotropy, Json figures) {
    ResultCell cell;
    cell.device = device;
    cell.title = anisotropy + "x";
    cell.settings = {{"--anisotropy", anisotropy}};
    cell.figures = std::move(figures);
    return cell;
}

// The tolerances' edges, worked by hand; what one run lacks is listed, not judged.
TEST(JudgeCells, MovesBeyondTheToleranceOnlyAndListsCellsOfOneRun) {
    BaselineRequest request;
    const Json before = {{"mean_error", 0.100}, {"within_1_16", 0.900}, {"sectors", {0.0, nullptr}}, {"covered", 10}};
    ResultCell gone = Cell("gone", "1", before);
    Json baseline = ResultDocument("lod", {}, {Cell("a", "1", before), Cell("a", "2", before), Cell("a", "4", before),
                                              Cell("a", "8", before), Cell("a", "16", before), gone});
    request.baseline = baseline;
    const FigureRules rules = {{"mean_error", FigureRule::Levels}, {"within_1_16", FigureRule::Share},
                               {"sectors", FigureRule::Levels}};
    ResultCell notDrawn = Cell("a", "16", Json::object());
    notDrawn.drawn = false;
    notDrawn.why = "the device is gone";
    const std::vector<ResultCell> now = {
        Cell("a", "1", {{"mean_error", 0.109}, {"within_1_16", 0.904}, {"sectors", {0.005, nullptr}}, {"covered", 99}}),
        Cell("a", "2", {{"mean_error", 0.111}, {"within_1_16", 0.900}, {"sectors", {0.0, nullptr}}, {"covered", 10}}),
        Cell("a", "4", {{"mean_error", 0.100}, {"within_1_16", 0.894}, {"sectors", {0.0, nullptr}}, {"covered", 10}}),
        Cell("a", "8", {{"mean_error", 0.100}, {"within_1_16", 0.900}, {"sectors", {0.0, 0.0}}, {"covered", 10}}),
        notDrawn,
        Cell("new", "1", before),
    };
    const std::vector<CellVerdict> verdicts = JudgeCells(request, now, rules);
    ASSERT_EQ(verdicts.size(), 7u);
    using State = CellVerdict::State;
    const State expected[] = {State::Same,     State::Moved,   State::Moved,         State::Moved,
                              State::NotDrawn, State::OnlyNow, State::OnlyInBaseline};
    for (std::size_t i = 0; i < verdicts.size(); ++i)
        EXPECT_EQ(verdicts[i].state, expected[i]) << i << " " << verdicts[i].cell.title;
    ASSERT_EQ(verdicts[1].changes.size(), 1u);
    EXPECT_EQ(verdicts[1].changes[0].figure, "mean_error");
    EXPECT_EQ(verdicts[2].changes[0].figure, "within_1_16");
    EXPECT_EQ(verdicts[3].changes[0].figure, "sectors");  // a sector measured now, not before
    EXPECT_EQ(verdicts[6].cell.device, "gone");

    // Without a baseline nothing moves; a cell not drawn still fails.
    const std::vector<CellVerdict> alone = JudgeCells(BaselineRequest{}, now, rules);
    EXPECT_EQ(std::count_if(alone.begin(), alone.end(), [](const CellVerdict& v) { return v.state != State::Same; }), 1);

    if (std::system("/usr/bin/python3 -c 'import xml.etree' 2>/dev/null") != 0) GTEST_SKIP() << "python3 is absent";
    ScratchDirectory scratch;
    std::ofstream(scratch / "junit.xml") << JunitXml("lod", verdicts);
    EXPECT_EQ(JunitCases(scratch.PathOf("junit.xml")),
              "testsuites 7 4\n"
              "quillmark.lod.a|1x|passed\nquillmark.lod.a|2x|failed\nquillmark.lod.a|4x|failed\n"
              "quillmark.lod.a|8x|failed\nquillmark.lod.a|16x|failed\nquillmark.lod.new|1x|passed\n"
              "quillmark.lod.gone|1x|skipped\n");
}

const std::vector<std::string> kLodScene = {"--object", "plane", "--angle", "60", "--min-filter", "anisotropic",
                                            "--anisotropy", "4"};

BatchOutput Lod(const std::string& device, const std::vector<std::string>& more, const ScratchDirectory& scratch) {
    std::vector<std::string> arguments = {"lod", "--device", device, "-o", scratch.PathOf("out")};
    arguments.insert(arguments.end(), kLodScene.begin(), kLodScene.end());
    arguments.insert(arguments.end(), more.begin(), more.end());
    return RunBatchCaptured(arguments);
}

TEST(LodBaseline, ExitsOneWhenTheLevelOfDetailMovedAndTwoForABaselineItCannotUse) {
    const testing::KeepSelectedDevice keep;
    ScratchDirectory scratch;
    const BatchOutput recorded = Lod("reference", {"--json"}, scratch);
    ASSERT_EQ(recorded.code, kExitSuccess) << recorded.err;
    std::ofstream(scratch / "base.json") << recorded.out;
    const std::string base = scratch.PathOf("base.json");

    const BatchOutput same = Lod("reference", {"--baseline", base}, scratch);
    EXPECT_EQ(same.code, kExitSuccess) << same.err;
    EXPECT_NE(same.err.find("0 of 1 cells moved beyond the tolerance"), std::string::npos) << same.err;

    const std::string relabelled = Relabelled(base, "model:lod-offset=0.25", scratch.PathOf("relabelled.json"));
    const BatchOutput moved = Lod("model:lod-offset=0.25", {"--baseline", relabelled}, scratch);
    EXPECT_EQ(moved.code, kExitMoved) << moved.err;
    EXPECT_NE(moved.err.find("quillmark: moved: model:lod-offset=0.25, "), std::string::npos) << moved.err;
    EXPECT_NE(moved.err.find("mean_error "), std::string::npos) << moved.err;
    // A quarter level is within a tolerance of half a level and every share.
    const BatchOutput loose =
        Lod("model:lod-offset=0.25", {"--baseline", relabelled, "--tolerance", "levels=0.5,share=100%"}, scratch);
    EXPECT_EQ(loose.code, kExitSuccess) << loose.err;

    // A device the baseline does not have is listed, not an error.
    const BatchOutput other = Lod("model:axes=max", {"--baseline", base}, scratch);
    EXPECT_EQ(other.code, kExitSuccess) << other.err;
    EXPECT_NE(other.err.find("not in the baseline: model:axes=max"), std::string::npos) << other.err;
    EXPECT_NE(other.err.find("only in the baseline: reference"), std::string::npos) << other.err;

    // Other settings, and no results file at all: one sentence, exit 2, nothing drawn.
    const BatchOutput settings =
        RunBatchCaptured({"lod", "--device", "reference", "--object", "plane", "--angle", "60", "--min-filter",
                          "anisotropic", "--anisotropy", "16", "--baseline", base, "-o", scratch.PathOf("out")});
    EXPECT_EQ(settings.code, kExitRunFailed);
    EXPECT_EQ(settings.err, "quillmark: cannot measure the level of detail: cannot use the baseline " + base +
                                ": it was made with other settings (--anisotropy 4 there, 16 here)\n");
    EXPECT_EQ(settings.out, "");
    const BatchOutput text = Lod("reference", {"--baseline", scratch.PathOf("out/lod-polar.png")}, scratch);
    EXPECT_EQ(text.code, kExitRunFailed);
    EXPECT_NE(text.err.find("it is not a results file of quillmark"), std::string::npos) << text.err;
    const BatchOutput alone = Lod("reference", {"--tolerance", "levels=1"}, scratch);
    EXPECT_EQ(alone.code, kExitRunFailed);
    EXPECT_NE(alone.err.find("--tolerance: needs --baseline FILE"), std::string::npos) << alone.err;
}

// An explanation moves when any property it names changes: the reference's
// explanation against a model whose LOD is offset by half a level.
TEST(ExplainBaseline, AChangedPropertyFailsAndAnUnchangedDevicePasses) {
    const testing::KeepSelectedDevice keep;
    ScratchDirectory scratch;
    const BatchOutput recorded = RunBatchCaptured({"explain", "--device", "reference", "-o", scratch.PathOf("base")});
    ASSERT_EQ(recorded.code, kExitSuccess) << recorded.err;
    const std::string base = scratch.PathOf("base/explain.json");
    const BatchOutput same = RunBatchCaptured({"explain", "--device", "reference", "--baseline", base, "--junit",
                                               scratch.PathOf("same.xml"), "-o", scratch.PathOf("same")});
    EXPECT_EQ(same.code, kExitSuccess) << same.err;

    const std::string model = "model:lod-offset=0.5";
    const std::string relabelled = Relabelled(base, model, scratch.PathOf("relabelled.json"));
    const BatchOutput moved = RunBatchCaptured({"explain", "--device", model, "--baseline", relabelled, "--junit",
                                                scratch.PathOf("moved.xml"), "-o", scratch.PathOf("moved")});
    EXPECT_EQ(moved.code, kExitMoved) << moved.err;
    EXPECT_NE(moved.err.find("quillmark: moved: " + model + ", default settings: model model -> " + model +
                             "; lod_offset 0.0 -> 0.5"),
              std::string::npos)
        << moved.err;
    if (std::system("/usr/bin/python3 -c 'import xml.etree' 2>/dev/null") != 0) GTEST_SKIP() << "python3 is absent";
    EXPECT_EQ(JunitCases(scratch.PathOf("same.xml")),
              "testsuites 1 0\nquillmark.explain.reference|default settings|passed\n");
    EXPECT_EQ(JunitCases(scratch.PathOf("moved.xml")),
              "testsuites 1 1\nquillmark.explain." + model + "|default settings|failed\n");
}

// The gallery on the reference device is the baseline; the same gallery on
// a model that caps anisotropy at 2 must move exactly the cells at 4x and
// 16x, and pass those at 1x and 2x, which it draws as the reference does.
TEST(GalleryBaseline, AModelWithOneKnobTurnedFailsTheCellsItReaches) {
    const testing::KeepSelectedDevice keep;
    ScratchDirectory scratch;
    const BatchOutput recorded =
        RunBatchCaptured({"gallery", "--device", "reference", "-o", scratch.PathOf("base")});
    ASSERT_EQ(recorded.code, kExitSuccess) << recorded.err;
    const std::string results = testing::FileText(scratch.PathOf("base/results.json"));
    if (testing::HaveJsonSchema()) {
        EXPECT_EQ(testing::SchemaFaults("gallery", results), "");
    }

    const std::string model = "model:aniso-cap=2";
    const std::string base = Relabelled(scratch.PathOf("base/results.json"), model, scratch.PathOf("base.json"));
    const BatchOutput compared = RunBatchCaptured({"gallery", "--device", model, "--baseline", base, "--junit",
                                                   scratch.PathOf("junit.xml"), "-o", scratch.PathOf("after")});
    EXPECT_EQ(compared.code, kExitMoved) << compared.err;
    EXPECT_NE(compared.err.find("8 of 16 cells moved beyond the tolerance"), std::string::npos) << compared.err;
    if (testing::HaveJsonSchema()) {
        EXPECT_EQ(testing::SchemaFaults("gallery", testing::FileText(scratch.PathOf("after/results.json"))), "");
    }

    // The page lists the changed cells before the first setting's section.
    const std::string page = testing::FileText(scratch.PathOf("after/gallery.html"));
    const std::size_t against = page.find("<h2>Against the baseline</h2>");
    ASSERT_NE(against, std::string::npos);
    EXPECT_LT(against, page.find("<h2>tunnel, 1x, trilinear</h2>"));
    EXPECT_NE(page.find("<th>tunnel, 16x, trilinear</th><td><code>mean_error</code>"), std::string::npos);
    EXPECT_EQ(page.find("<th>tunnel, 1x, trilinear</th><td><code>"), std::string::npos);

    if (std::system("/usr/bin/python3 -c 'import xml.etree' 2>/dev/null") != 0) GTEST_SKIP() << "python3 is absent";
    const std::string cases = JunitCases(scratch.PathOf("junit.xml"));
    EXPECT_EQ(cases.substr(0, cases.find('\n')), "testsuites 16 8");
    int checked = 0;
    for (const char* object : {"tunnel", "plane at 60°"})
        for (const char* anisotropy : {"1", "2", "4", "16"})
            for (const char* mip : {"trilinear", "point mip"}) {
                const bool reached = std::string(anisotropy) == "4" || std::string(anisotropy) == "16";
                const std::string line = "quillmark.gallery." + model + "|" + object + ", " + anisotropy + "x, " + mip +
                                         "|" + (reached ? "failed" : "passed") + "\n";
                EXPECT_NE(cases.find(line), std::string::npos) << line << cases;
                ++checked;
            }
    EXPECT_EQ(checked, 16);
}

}  // namespace
}  // namespace quillmark::batch
