// "quillmark explain" held to models whose properties are known: a grid of
// model devices, each knob at two values or more, is explained; every
// discrete knob must come back exactly, every continuous one within the
// resolution docs/explain.md states, and the model explain names must redraw
// each model's scenes.
#include "app/batch/batch_command.h"
#include "app/batch/settings_flags.h"
#include "app/explain/explanation.h"

#include "devices/software/model_knobs.h"
#include "app/batch/figure_table.h"

#include "batch_capture.h"
#include "browser_check.h"
#include "result_schema.h"
#include "scratch_directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include <bit>
#include <cmath>
#include <fstream>
#include <iterator>

namespace quillmark::explain {
namespace {

constexpr double kOffsetResolution = 1.0 / 64;
constexpr double kWidthResolution = 1.0 / 32;
constexpr double kReproduced = 0.999;

// The knobs as explain can see them: λ's fraction bits under full trilinear
// are the blend weight's bits, a cap under power-of-two steps is the power of
// two below it, blend bits under no blend say nothing.
software::ModelKnobs Visible(software::ModelKnobs k) {
    if (k.lodBits != software::ModelKnobs::kExact && k.blendBits == software::ModelKnobs::kExact)
        k.blendBits = k.lodBits;
    k.lodBits = software::ModelKnobs::kExact;
    if (k.anisoSteps == software::ProbeSteps::PowerOfTwo) k.anisoCap = std::bit_floor(k.anisoCap);
    if (k.anisoLod == software::AnisoLod::Short) {  // λ no longer shows the probe count
        k.anisoCap = 16;
        k.anisoSteps = software::ProbeSteps::Whole;
        k.anisoIgnoresMax = false;
    }
    if (k.blendWidth == 0.0f) k.blendBits = software::ModelKnobs::kExact;
    if (k.blendBits >= kBlendBitsLimit) k.blendBits = software::ModelKnobs::kExact;
    if (k.subtexelBits >= kSubtexelBitsLimit) k.subtexelBits = software::ModelKnobs::kExact;
    return k;
}

// Every knob at two values or more, alone and in combinations.
const char* const kModels[] = {
    "model",
    "model:axes=max",
    "model:axes=sum",
    "model:aniso-cap=4",
    "model:aniso-cap=8",
    "model:aniso-steps=pow2",
    "model:aniso-cap=8,aniso-steps=pow2",
    "model:aniso-ignores-max=1",
    "model:aniso-cap=8,aniso-ignores-max=1",
    "model:lod-offset=0.5",
    "model:lod-offset=-0.25",
    "model:lod-offset=1.25",
    "model:lod-bits=4",
    "model:log2=approx",
    "model:blend-width=0",
    "model:blend-width=0.5",
    "model:blend-width=0.25",
    "model:blend-bits=3",
    "model:blend-bits=5",
    "model:subtexel-bits=4",
    "model:subtexel-bits=6",
    "model:stage-reduce=1",
    "model:axes=max,lod-offset=0.5",
    "model:axes=sum,blend-width=0.5",
    "model:log2=approx,blend-bits=4",
    "model:axes=max,aniso-steps=pow2,blend-bits=5",
    "model:aniso-cap=2,blend-width=0",
    "model:lod-offset=-0.5,blend-width=0.75",
    "model:axes=sum,log2=approx",
    "model:subtexel-bits=5,stage-reduce=1",
    "model:aniso-ignores-max=1,aniso-steps=pow2,lod-offset=0.25",
    "model:axes=max,aniso-cap=4,subtexel-bits=3,blend-bits=6",
    "model:aniso-lod=short",
    "model:aniso-lod=short,lod-offset=-0.03125",
};

class ExplainModel : public ::testing::TestWithParam<const char*> {};

TEST_P(ExplainModel, RecoversEveryKnobAndReproducesTheModel) {
    {
        const char* name = GetParam();
        software::ModelKnobs knobs;
        std::string error;
        ASSERT_TRUE(software::ParseModelKnobs(name, &knobs, &error)) << error;
        batch::BatchSettings settings;
        settings.device = name;
        settings.devices = {name};
        Explanation e;
        ASSERT_EQ(ExplainDevice(settings, &e, &error), batch::kExitSuccess) << error;
        const std::string& explained = e.model;
        SCOPED_TRACE(explained);
        software::ModelKnobs found;
        ASSERT_TRUE(software::ParseModelKnobs(explained, &found, &error)) << error;
        const software::ModelKnobs expected = Visible(knobs);
        EXPECT_EQ(found.axes, expected.axes);
        EXPECT_EQ(found.anisoCap, expected.anisoCap);
        EXPECT_EQ(found.anisoSteps, expected.anisoSteps);
        EXPECT_EQ(found.anisoIgnoresMax, expected.anisoIgnoresMax);
        EXPECT_EQ(found.anisoLod, expected.anisoLod);
        EXPECT_EQ(found.log2, expected.log2);
        EXPECT_EQ(found.blendBits, expected.blendBits);
        EXPECT_EQ(found.subtexelBits, expected.subtexelBits);
        EXPECT_EQ(found.stageReduce, expected.stageReduce);
        EXPECT_NEAR(found.lodOffset, expected.lodOffset, kOffsetResolution);
        EXPECT_NEAR(found.blendWidth, expected.blendWidth, kWidthResolution);
        // The name is the model device's own canonical one.
        EXPECT_EQ(explained, software::ModelDeviceName(found));

        const Proof& proof = e.proof;
        ASSERT_TRUE(proof.lodWithin116 && proof.colourWithin1);
        EXPECT_GE(*proof.lodWithin116, kReproduced);
        EXPECT_GE(*proof.colourWithin1, kReproduced);
    }
}

// explain -o writes report.html beside explain.json: a page that stands alone
// in a browser, every picture decoding, with the explanation the JSON gives.
TEST(ExplainPage, StandsAloneWithItsPicturesAndTheExplanation) {
    testing::ScratchDirectory scratch;
    const testing::BatchOutput run =
        testing::RunBatchCaptured({"explain", "--device", "model:blend-width=0.5", "-o", scratch.PathOf("out")});
    ASSERT_EQ(run.code, batch::kExitSuccess) << run.err;
    std::ifstream in(scratch / "out/report.html");
    const std::string page((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(page.find("reduced trilinear: levels blended over 50 %"), std::string::npos);
    EXPECT_NE(page.find("model:blend-width=0.5"), std::string::npos);
    if (!testing::HaveChromium()) GTEST_SKIP() << "Chromium is absent: the page was not opened";
    const std::optional<testing::BrowserVerdict> verdict = testing::CheckInBrowser(scratch / "out/report.html");
    ASSERT_TRUE(verdict) << "the page did not load";
    EXPECT_EQ(verdict->images, 3);
    EXPECT_EQ(verdict->decoded, verdict->images);
    EXPECT_EQ(verdict->fetched, 0);
}

// "quillmark explain" on a device whose process really crashes or hangs:
// the message and explain.json say what happened (a cell not drawn, valid
// against the schema), the exit status is 1, and no page is written.
TEST(ExplainCommand, ADeviceThatCrashesOrHangsIsNamed) {
    quillmark::testing::ScratchDirectory scratch;
    struct Case {
        const char* device;
        const char* timeout;
        std::regex says;
    };
    const Case cases[] = {
        {"model:fault=segv", "60", std::regex(R"(explain the device: model:fault=segv crashed: SIGSEGV after \d+\.\d s\n)")},
        {"model:fault=hang", "0.5", std::regex(R"(explain the device: model:fault=hang no answer in 0\.5 s\n)")},
    };
    for (const Case& c : cases) {
        const quillmark::testing::BatchOutput result = quillmark::testing::RunBatchCaptured(
            {"explain", "--device", c.device, "--timeout", c.timeout, "-o", scratch.PathOf("out")});
        EXPECT_EQ(result.code, batch::kExitFailure) << c.device;
        EXPECT_TRUE(std::regex_search(result.err, c.says)) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(std::filesystem::exists(scratch / "out" / "report.html"));
        const std::string text = quillmark::testing::FileText(scratch.PathOf("out/explain.json"));
        const batch::Json document = batch::Json::parse(text, nullptr, false);
        ASSERT_TRUE(document.is_object()) << text;
        const batch::Json& cell = document["cells"][0];
        EXPECT_FALSE(cell["drawn"].get<bool>());
        EXPECT_TRUE(std::regex_search(cell["why"].get<std::string>(), std::regex("^(crashed|no answer)")));
        EXPECT_EQ(cell["failures"][0]["device"], c.device);
        EXPECT_EQ(cell["failures"][0]["ended"], std::string(c.device).ends_with("segv") ? "crashed" : "no answer");
        if (quillmark::testing::HaveJsonSchema()) {
            EXPECT_EQ(quillmark::testing::SchemaFaults("explain", text), "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Grid, ExplainModel, ::testing::ValuesIn(kModels),
                         [](const ::testing::TestParamInfo<const char*>& info) { return "Model" + std::to_string(info.index); });

}  // namespace
}  // namespace quillmark::explain
