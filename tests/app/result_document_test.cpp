// The results document every measuring command writes: each command's
// output validates against its schema in docs/schemas (python3-jsonschema),
// carries the program's version and the device's identity as --version and
// `devices` print them, and reports the magnification filter in effect.
// A baseline that is no results file of the command is refused in words.
#include "app/batch/batch_command.h"
#include "app/batch/batch_runner.h"
#include "app/batch/result_document.h"

#include "batch_capture.h"
#include "result_schema.h"
#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <fstream>

namespace quillmark::batch {
namespace {

using testing::RunBatchCaptured;
using testing::ScratchDirectory;

// A quick scene: the thin plane, point filters.
const std::vector<std::string> kQuick = {"--object", "plane", "--angle", "88", "--min-filter", "point",
                                         "--mag-filter", "point", "--mip-filter", "point"};

std::vector<std::string> With(std::vector<std::string> arguments, const std::vector<std::string>& more) {
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

Json Document(const testing::BatchOutput& run) {
    EXPECT_EQ(run.code, kExitSuccess) << run.err;
    return Json::parse(run.out, nullptr, false);
}

TEST(ResultDocument, EveryCommandsResultsMatchTheirSchema) {
    const testing::KeepSelectedDevice keep;
    if (!testing::HaveJsonSchema()) GTEST_SKIP() << testing::kNoJsonSchema;
    ScratchDirectory scratch;
    const std::string out = scratch.PathOf("out");
    const std::pair<std::string, std::vector<std::string>> runs[] = {
        {"lod", With({"lod", "--json", "-o", out}, kQuick)},
        {"analyze", With({"analyze", "--json", "-o", out}, kQuick)},
        {"compare", With({"compare", "--device", "reference", "--device", "model:axes=max", "--json", "-o", out}, kQuick)},
        {"devices", {"devices", "--device", "reference", "--device", "model:lod-offset=1", "--json"}},
        {"explain", {"explain", "--device", "model:aniso-cap=4", "--json", "-o", out}},
    };
    for (const auto& [kind, arguments] : runs) {
        const testing::BatchOutput run = RunBatchCaptured(arguments);
        ASSERT_EQ(run.code, kExitSuccess) << kind << ": " << run.err;
        EXPECT_EQ(testing::SchemaFaults(kind, run.out), "") << kind << ":\n" << run.out;
        EXPECT_EQ(Json::parse(run.out)["kind"], kind);
    }
    // explain also keeps its document in the folder.
    EXPECT_EQ(testing::SchemaFaults("explain", testing::FileText(scratch.PathOf("out/explain.json"))), "");
    // A document of one kind is no document of another.
    const testing::BatchOutput lod = RunBatchCaptured(With({"lod", "--json", "-o", out}, kQuick));
    EXPECT_NE(testing::SchemaFaults("compare", lod.out), "");
}

TEST(ResultDocument, CarriesTheVersionTheDeviceAndTheCommandLine) {
    const testing::KeepSelectedDevice keep;
    ScratchDirectory scratch;
    const Json document = Document(RunBatchCaptured(With({"lod", "--json", "-o", scratch.PathOf("out")}, kQuick)));
    ASSERT_TRUE(document.is_object());
    const std::string version = RunBatchCaptured({"--version"}).out;
    EXPECT_EQ(version.substr(0, version.find('\n')), "quillmark " + document["program"]["version"].get<std::string>());
    if (const std::string host = testing::CommandOutput("hostname 2>/dev/null"); !host.empty()) {
        EXPECT_EQ(document["host"].get<std::string>() + "\n", host);
    }
    EXPECT_EQ(document["command_line"], "quillmark lod --json -o " + scratch.PathOf("out") +
                                            " --object plane --angle 88 --min-filter point --mag-filter point "
                                            "--mip-filter point");
    // The device as `devices` prints it: "NAME: DESCRIPTION".
    const std::string listed = RunBatchCaptured({"devices", "--device", "reference"}).out;
    ASSERT_EQ(document["devices"].size(), 1u);
    EXPECT_EQ(listed.substr(0, listed.find('\n')),
              "reference: " + document["devices"][0]["description"].get<std::string>());
    const Json& cell = document["cells"][0];
    EXPECT_EQ(cell["device"], "reference");
    EXPECT_EQ(cell["settings"]["--angle"], "88");
    EXPECT_FALSE(cell["settings"].contains("--device")) << "the device is the cell's own entry";
}

// No device magnifies anisotropically: frames at the default --mag-filter
// are linear's, and the results say so beside the filter asked for.
TEST(ResultDocument, ReportsTheMagnificationFilterInEffect) {
    const testing::KeepSelectedDevice keep;
    ScratchDirectory scratch;
    const auto frame = [&](const char* filter) {
        const std::string file = scratch.PathOf(std::string("frame-") + filter + ".bmp");
        const testing::BatchOutput run =
            RunBatchCaptured({"render", "--object", "plane", "--distance", "1", "--mag-filter", filter, "-o", file});
        EXPECT_EQ(run.code, kExitSuccess) << run.err;
        return testing::FileText(file);
    };
    const std::string anisotropic = frame("anisotropic");
    ASSERT_FALSE(anisotropic.empty());
    EXPECT_EQ(anisotropic, frame("linear"));
    EXPECT_NE(anisotropic, frame("point")) << "the scene must magnify for the comparison to say anything";

    const Json asked = Document(RunBatchCaptured({"lod", "--json", "-o", scratch.PathOf("out")}));
    EXPECT_EQ(asked["cells"][0]["settings"]["--mag-filter"], "anisotropic");
    EXPECT_EQ(asked["cells"][0]["in_effect"], Json({{"--mag-filter", "linear"}}));
    const Json point = Document(RunBatchCaptured({"lod", "--mag-filter", "point", "--json", "-o", scratch.PathOf("out")}));
    EXPECT_EQ(point["cells"][0]["in_effect"], Json::object());
}

TEST(ResultDocument, AFileThatIsNoResultsOfTheCommandIsRefusedInWords) {
    const testing::KeepSelectedDevice keep;
    ScratchDirectory scratch;
    const auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(scratch / name, std::ios::binary) << text;
        return scratch.PathOf(name);
    };
    Json document = Json::parse(RunBatchCaptured(With({"lod", "--json", "-o", scratch.PathOf("out")}, kQuick)).out);
    const auto refusal = [](const std::string& file, const std::string& kind) {
        Json read;
        std::string error;
        EXPECT_FALSE(ReadResultFile(file, kind, &read, &error)) << file;
        return error;
    };
    Json read;
    std::string error;
    EXPECT_TRUE(ReadResultFile(write("good.json", document.dump()), "lod", &read, &error)) << error;
    EXPECT_EQ(refusal(write("text.json", "SUM: 12\n"), "lod"),
              "cannot use the baseline " + scratch.PathOf("text.json") + ": it is not a results file of quillmark");
    EXPECT_EQ(refusal(write("other.json", R"({"format": "something else", "format_version": 1, "cells": []})"), "lod"),
              "cannot use the baseline " + scratch.PathOf("other.json") + ": it is not a results file of quillmark");
    EXPECT_EQ(refusal(scratch.PathOf("missing.json"), "lod"),
              "cannot read the baseline " + scratch.PathOf("missing.json") + ": it does not exist or cannot be opened");
    EXPECT_EQ(refusal(write("good.json", document.dump()), "gallery"),
              "cannot use the baseline " + scratch.PathOf("good.json") +
                  ": it holds the results of \"quillmark lod\", not of \"quillmark gallery\"");
    document["format_version"] = kResultFormatVersion + 1;
    EXPECT_EQ(refusal(write("newer.json", document.dump()), "lod"),
              "cannot use the baseline " + scratch.PathOf("newer.json") + ": it was written in results format version " +
                  std::to_string(kResultFormatVersion + 1) + ", newer than this quillmark reads (" +
                  std::to_string(kResultFormatVersion) + ")");
    document["format_version"] = 0;
    EXPECT_NE(refusal(write("older.json", document.dump()), "lod").find("results format version 0 does not exist"),
              std::string::npos);
}

}  // namespace
}  // namespace quillmark::batch
