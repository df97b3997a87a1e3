// "quillmark lod" end to end on the reference device, which implements the
// rule: it agrees with the ideal, a LOD bias moves what it measures by the
// bias, the figures repeat, and the pictures are PNG files other programs read.
#include "app/batch/batch_command.h"
#include "app/batch/batch_runner.h"
#include "app/batch/lod_command.h"
#include "app/batch/settings_flags.h"

#include "batch_capture.h"
#include "scratch_directory.h"
#include "solid_bitmap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quillmark::batch {
namespace {

using testing::ScratchDirectory;

// Runs batch mode and returns its standard output (empty on failure).
std::string RunQuiet(const std::vector<std::string>& arguments) {
    const testing::BatchOutput result = testing::RunBatchCaptured(arguments);
    EXPECT_EQ(result.code, kExitSuccess) << result.err;
    return result.code == kExitSuccess ? result.out : std::string();
}

// A figure of lod's results document.
double Figure(const std::string& json, const std::string& name) {
    const Json document = Json::parse(json, nullptr, false);
    if (document.is_discarded()) return NAN;
    const Json figure = document["cells"][0]["figures"][name];
    return figure.is_number() ? figure.get<double>() : NAN;
}

LodMeasurement MeasureWith(const std::vector<std::string>& flags) {
    BatchSettings settings;
    std::string error;
    EXPECT_TRUE(ParseSettingsFlags(flags, &settings, &error)) << error;
    LodMeasurement lod;
    EXPECT_EQ(RunOnHeadlessProbe(settings, [&](Probe& probe) {
                  return MeasureLod(probe, &lod, &error) ? kExitSuccess : kExitFailure;
              }),
              kExitSuccess)
        << error;
    return lod;
}

TEST(LodCommand, TheReferenceDeviceAgreesWithTheIdealAtOneAndSixteenTimes) {
    ScratchDirectory scratch;
    for (const char* object : {"tunnel", "plane"})
        for (const char* anisotropy : {"1", "16"}) {
            const std::string json =
                RunQuiet({"lod", "--object", object, "--angle", "60", "--min-filter", "anisotropic", "--anisotropy",
                          anisotropy, "--json", "-o", scratch.PathOf("out")});
            SCOPED_TRACE(std::string(object) + " " + anisotropy + "x: " + json);
            EXPECT_GT(Figure(json, "covered"), 100000);
            EXPECT_GE(Figure(json, "within_1_16"), 0.99);
            EXPECT_GE(Figure(json, "within_allowed"), 0.99);
            EXPECT_LT(std::abs(Figure(json, "mean_error")), 1.0 / 64);
        }
}

TEST(LodCommand, ALodBiasMovesTheMeasuredLevelByTheBias) {
    const std::vector<std::string> common = {"--object", "plane", "--angle", "60", "--min-filter", "linear"};
    std::vector<std::string> biased = common;
    biased.insert(biased.end(), {"--lod-bias", "1.5"});
    const LodMeasurement plain = MeasureWith(common), shifted = MeasureWith(biased);
    ASSERT_EQ(plain.maps.measured.size(), shifted.maps.measured.size());
    int compared = 0, moved = 0;
    for (std::size_t p = 0; p < plain.maps.measured.size(); ++p) {
        // Pixels where neither run is clamped by the chain's ends.
        const double a = plain.maps.measured[p].lambda, b = shifted.maps.measured[p].lambda;
        if (!plain.maps.measured[p].covered || a < 0.1 || b > plain.maps.lastLevel - 0.1 || b < 1.5) continue;
        ++compared;
        moved += std::abs(b - a - 1.5) <= 1.0 / 16;
    }
    EXPECT_GT(compared, 100000);
    EXPECT_GE(double(moved) / compared, 0.99) << moved << " of " << compared;
}

TEST(LodCommand, RunTwiceGivesTheSameFiguresAndReadablePictures) {
    ScratchDirectory scratch;
    const std::vector<std::string> arguments = {"lod", "--min-filter", "anisotropic", "--anisotropy", "4",
                                                "--json", "-o", scratch.PathOf("out")};
    const std::string first = RunQuiet(arguments);
    ASSERT_FALSE(first.empty());
    // The cells (device, settings, figures) repeat; the date may not.
    EXPECT_EQ(Json::parse(RunQuiet(arguments))["cells"], Json::parse(first)["cells"]);
    if (std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) GTEST_SKIP() << "Pillow is absent";
    for (const char* name : {"lod-measured.png", "lod-ideal.png", "lod-error.png", "lod-polar.png"}) {
        const std::string command = "/usr/bin/python3 -c 'import sys; from PIL import Image; i = Image.open(sys.argv[1]); "
                                    "i.load(); print(i.format, i.size[0] >= 700, i.size[1] >= 600)' " +
                                    scratch.PathOf("out/" + std::string(name));
        std::string output;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[128];
            while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
            pclose(pipe);
        }
        EXPECT_EQ(output, "PNG True True\n") << name;
    }
}

// What the meter cannot read it does not report as read: with the mip filter
// off every pixel shows level 0 whatever λ is, so no share may claim 100%.
TEST(LodCommand, NothingIsMeasuredWithTheMipFilterOff) {
    ScratchDirectory scratch;
    const testing::BatchOutput json = testing::RunBatchCaptured(
        {"lod", "--mip-filter", "off", "--json", "-o", scratch.PathOf("out")});
    ASSERT_EQ(json.code, kExitSuccess) << json.err;
    EXPECT_GT(Figure(json.out, "covered"), 100000);
    EXPECT_NE(json.out.find("\"within_1_16\": null"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"not_measured\": \"the mip filter is off"), std::string::npos) << json.out;
    const testing::BatchOutput text = testing::RunBatchCaptured({"lod", "--mip-filter", "off", "-o", scratch.PathOf("out")});
    EXPECT_NE(text.out.find("λ not measured: the mip filter is off"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find('%'), std::string::npos) << text.out;
}

// Text never borrows JSON's null, and a setting that changes nothing says so.
TEST(LodCommand, SaysWhatItCannotUse) {
    ScratchDirectory scratch;
    const testing::BatchOutput flat = testing::RunBatchCaptured(
        {"lod", "--object", "plane", "--angle", "0", "--distance", "0.5", "-o", scratch.PathOf("out")});
    ASSERT_EQ(flat.code, kExitSuccess) << flat.err;
    EXPECT_EQ(flat.out.find("null"), std::string::npos) << flat.out;
    const std::string texture = scratch.PathOf("solid.bmp");
    testing::WriteSolidBitmap(texture, 0x3366CC);
    const testing::BatchOutput tunnel = testing::RunBatchCaptured(
        {"lod", "--distance", "3", "--texture", texture, "-o", scratch.PathOf("out")});
    EXPECT_EQ(tunnel.code, kExitSuccess) << tunnel.err;
    EXPECT_NE(tunnel.err.find("--distance 3 is not used"), std::string::npos) << tunnel.err;
    EXPECT_NE(tunnel.err.find("--texture " + texture + " is not used: lod draws with textures of its own"),
              std::string::npos)
        << tunnel.err;
}

TEST(LodCommand, RefusesUnknownOptions) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunBatch({"lod", "--frames", "3"}), kExitUsage);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "quillmark: unknown option '--frames': neither a setting nor an option of this command (see --help)\n");
}

}  // namespace
}  // namespace quillmark::batch
