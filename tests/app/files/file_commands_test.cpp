// The file commands end to end (convert, info, diff): their outputs read back
// by other programs (ImageMagick, Pillow, OpenImageIO), round trips through
// the library, figures against hand-worked values and ImageMagick's compare,
// and the exit codes and messages of what cannot be done.
#include "app/batch/batch_command.h"
#include "app/picture.h"

#include "batch_capture.h"
#include "command_output.h"
#include "scratch_directory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;
using testing::CommandOutput;
using testing::RunBatchCaptured;
using testing::ScratchDirectory;

bool Have(const std::string& program) { return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0; }

bool HavePillow() { return std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") == 0; }

std::string FileBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// A picture with smooth and sharp parts: gradients across, a hard-edged square.
fs::path WriteTestPicture(const fs::path& path, int width, int height) {
    Picture picture(width, height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t r = std::uint32_t(x * 255 / std::max(1, width - 1));
            const std::uint32_t g = std::uint32_t(y * 255 / std::max(1, height - 1));
            const std::uint32_t b = (x / 8 + y / 8) % 2 ? 200 : 40;
            picture.Set(x, y, r << 16 | g << 8 | b);
        }
    std::string error;
    EXPECT_TRUE(WritePng(picture, path, &error)) << error;
    return path;
}

// An uncompressed cube map: six 8 x 8 A8R8G8B8 faces, face f all one colour.
fs::path WriteCubeMap(const fs::path& path) {
    std::string bytes = "DDS ";
    auto put = [&bytes](std::uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes += char((value >> (8 * i)) & 0xFF);
    };
    put(124);
    put(0x100F);  // caps, height, width, pitch, pixel format
    put(8);
    put(8);
    put(32);
    put(0);
    put(1);
    for (int i = 0; i < 11; ++i) put(0);
    put(32);
    put(0x41);  // RGB with alpha
    put(0);
    put(32);
    put(0x00FF0000);
    put(0x0000FF00);
    put(0x000000FF);
    put(0xFF000000);
    put(0x1008);  // texture, complex
    put(0xFE00);  // cube map, every face
    for (int i = 0; i < 3; ++i) put(0);
    for (std::uint32_t face = 0; face < 6; ++face)
        for (int p = 0; p < 64; ++p) put(0xFF000000 | (face * 40) << 16 | (255 - face * 40) << 8 | 0x80);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

nlohmann::json Json(const std::string& text) { return nlohmann::json::parse(text, nullptr, false); }

// One line in the program's one form of message.
bool OneMessage(const std::string& text) {
    return text.rfind("quillmark: ", 0) == 0 && text.find('\n') == text.size() - 1;
}

TEST(ConvertCommand, WritesDdsThatOtherProgramsRead) {
    ScratchDirectory scratch;
    const fs::path png = WriteTestPicture(scratch / "photo.png", 64, 48);
    const fs::path dxt1 = scratch / "photo.dds", dxt5 = scratch / "photo5.dds", argb = scratch / "argb.dds";
    const auto made = RunBatchCaptured({"convert", png.string(), dxt1.string(), "--format", "DXT1", "--mips", "all"});
    ASSERT_EQ(made.code, kExitSuccess) << made.err;
    EXPECT_NE(made.out.find("photo.png 64×48 "), std::string::npos) << made.out;
    EXPECT_NE(made.out.find("→ photo.dds DXT1, 7 levels, "), std::string::npos) << made.out;
    ASSERT_EQ(RunBatchCaptured({"convert", png.string(), dxt5.string(), "--format", "dxt5"}).code, kExitSuccess);
    const auto json = RunBatchCaptured({"convert", png.string(), argb.string(), "--format", "A8R8G8B8", "--mips", "3",
                                        "--json"});
    ASSERT_EQ(json.code, kExitSuccess) << json.err;
    const nlohmann::json summary = Json(json.out);
    EXPECT_EQ(summary["format"], "A8R8G8B8");
    EXPECT_EQ(summary["levels"], 3);
    EXPECT_EQ(summary["bytes"], fs::file_size(argb));
    EXPECT_EQ(fs::file_size(argb), 128u + 4u * (64 * 48 + 32 * 24 + 16 * 12));

    if (!Have("identify")) GTEST_SKIP() << "ImageMagick identify is absent";
    for (const fs::path& file : {dxt1, dxt5, argb})
        EXPECT_EQ(CommandOutput("identify -format '%m %w %h\\n' '" + file.string() + "[0]'"), "DDS 64 48\n") << file;
    // The uncompressed file holds exactly the picture; the DXT1 file is near it.
    EXPECT_EQ(CommandOutput("compare -metric AE '" + png.string() + "' '" + argb.string() + "[0]' null: 2>&1"), "0");
    const double psnr = std::atof(
        CommandOutput("compare -metric PSNR '" + png.string() + "' '" + dxt1.string() + "[0]' null: 2>&1").c_str());
    EXPECT_GT(psnr, 25.0);

    if (!HavePillow()) GTEST_SKIP() << "Pillow is absent";
    for (const fs::path& file : {dxt1, dxt5, argb})
        EXPECT_EQ(CommandOutput("/usr/bin/python3 -c \"from PIL import Image; i = Image.open('" + file.string() +
                                "'); i.load(); print(i.size)\""),
                  "(64, 48)\n")
            << file;
    if (!Have("oiiotool")) GTEST_SKIP() << "oiiotool is absent";
    std::string facts = CommandOutput("oiiotool --info '" + argb.string() + "'");
    facts.erase(std::unique(facts.begin(), facts.end(), [](char a, char b) { return a == ' ' && b == ' '; }),
                facts.end());
    EXPECT_NE(facts.find(" 64 x 48, 4 channel"), std::string::npos) << facts;
}

TEST(ConvertCommand, RoundTripsKeepThePixels) {
    ScratchDirectory scratch;
    const fs::path png = WriteTestPicture(scratch / "in.png", 40, 24);
    for (const char* format : {"A8R8G8B8", "X8R8G8B8", "A16B16G16R16", "A32B32G32R32F"}) {
        const fs::path dds = scratch / (std::string(format) + ".dds"), back = scratch / "back.png";
        ASSERT_EQ(RunBatchCaptured({"convert", png.string(), dds.string(), "--format", format}).code, kExitSuccess);
        ASSERT_EQ(RunBatchCaptured({"convert", dds.string(), back.string()}).code, kExitSuccess) << format;
        const auto same = RunBatchCaptured({"diff", png.string(), back.string(), "--fail-above", "1e-6"});
        EXPECT_EQ(same.code, kExitSuccess) << format << same.out << same.err;
    }
    // Fewer bits: within one step of five bits, not exact.
    const fs::path small = scratch / "565.dds", back = scratch / "565.png";
    ASSERT_EQ(RunBatchCaptured({"convert", png.string(), small.string(), "--format", "R5G6B5"}).code, kExitSuccess);
    ASSERT_EQ(RunBatchCaptured({"convert", small.string(), back.string()}).code, kExitSuccess);
    EXPECT_EQ(RunBatchCaptured({"diff", png.string(), back.string()}).code, kExitFailure);
    EXPECT_EQ(RunBatchCaptured({"diff", png.string(), back.string(), "--fail-above", "0.0333"}).code, kExitSuccess);
}

// A picture with alpha written where alpha cannot go says that it went.
TEST(ConvertCommand, DroppedAlphaIsSaid) {
    ScratchDirectory scratch;
    const fs::path png = WriteTestPicture(scratch / "in.png", 8, 8);
    const fs::path alpha = scratch / "alpha.dds";
    ASSERT_EQ(RunBatchCaptured({"convert", png.string(), alpha.string(), "--format", "A8R8G8B8"}).code, kExitSuccess);
    const auto kept = RunBatchCaptured({"convert", alpha.string(), (scratch / "kept.dds").string()});
    ASSERT_EQ(kept.code, kExitSuccess) << kept.err;
    EXPECT_EQ(kept.err.find("alpha"), std::string::npos) << kept.err;
    const auto flat = RunBatchCaptured({"convert", alpha.string(), (scratch / "flat.png").string()});
    ASSERT_EQ(flat.code, kExitSuccess) << flat.err;
    EXPECT_NE(flat.err.find("holds no alpha as X8R8G8B8; the alpha of " + alpha.string() + " was dropped"),
              std::string::npos)
        << flat.err;
    const auto plain = RunBatchCaptured({"convert", png.string(), (scratch / "plain.png").string()});
    EXPECT_EQ(plain.err.find("alpha"), std::string::npos) << "a picture without alpha loses none: " << plain.err;
}

// A chain made from an 8-bit picture and one made from its exact float copy
// see the same values, so every byte agrees, however the levels are made.
TEST(ConvertCommand, AnExactFloatCopyInBetweenChangesNoByte) {
    ScratchDirectory scratch;
    const fs::path png = WriteTestPicture(scratch / "in.png", 40, 24);
    const fs::path floats = scratch / "floats.dds";
    ASSERT_EQ(RunBatchCaptured({"convert", png.string(), floats.string(), "--format", "A32B32G32R32F"}).code,
              kExitSuccess);
    const std::vector<std::vector<std::string>> requests = {
        {"--format", "DXT1", "--mips", "all"},
        {"--format", "DXT5", "--mips", "all", "--mip-filter", "triangle"},
        {"--format", "R5G6B5", "--mips", "3", "--mip-filter", "linear", "--dither"},
        {"--format", "A4R4G4B4", "--mips", "all", "--mip-filter", "point", "--diffusion"},
        {"--format", "A8R8G8B8", "--mips", "all", "--srgb-out"},
        {"--format", "A8R8G8B8", "--mips", "all", "--srgb-in"},
        {"--format", "A16B16G16R16F", "--mips", "all"},
    };
    for (const std::vector<std::string>& request : requests) {
        std::string made[2];
        for (int from = 0; from < 2; ++from) {
            const fs::path out = scratch / ("out" + std::to_string(from) + ".dds");
            std::vector<std::string> arguments = {"convert", (from == 0 ? png : floats).string(), out.string()};
            arguments.insert(arguments.end(), request.begin(), request.end());
            const auto run = RunBatchCaptured(arguments);
            ASSERT_EQ(run.code, kExitSuccess) << run.err;
            made[from] = FileBytes(out);
        }
        EXPECT_GT(made[0].size(), 128u);
        EXPECT_TRUE(made[0] == made[1]) << request[1] << " " << request.back();
    }
}

TEST(ConvertCommand, ChainsSizesLevelsAndFaces) {
    ScratchDirectory scratch;
    const fs::path png = WriteTestPicture(scratch / "in.png", 64, 64);
    const fs::path chain = scratch / "chain.dds", level = scratch / "level1.png", resized = scratch / "small.bmp";
    ASSERT_EQ(RunBatchCaptured({"convert", png.string(), chain.string(), "--mips", "all", "--mip-filter", "box"}).code,
              kExitSuccess);
    // A level taken out is the one the chain holds: the picture box-filtered to half its size.
    const auto taken = RunBatchCaptured({"convert", chain.string(), level.string(), "--level", "1", "--json"});
    ASSERT_EQ(taken.code, kExitSuccess) << taken.err;
    EXPECT_EQ(Json(taken.out)["width"], 32);
    const auto shrunk = RunBatchCaptured({"convert", png.string(), resized.string(), "--size", "32", "--filter", "box"});
    ASSERT_EQ(shrunk.code, kExitSuccess) << shrunk.err;
    EXPECT_EQ(RunBatchCaptured({"diff", level.string(), resized.string()}).code, kExitSuccess);

    // A cube map keeps its six faces; one face comes out alone.
    const fs::path cube = WriteCubeMap(scratch / "cube.dds"), cube565 = scratch / "cube565.dds";
    const fs::path face = scratch / "face3.png";
    ASSERT_EQ(RunBatchCaptured({"convert", cube.string(), cube565.string(), "--format", "R5G6B5", "--mips", "all"}).code,
              kExitSuccess);
    const nlohmann::json facts = Json(RunBatchCaptured({"info", cube565.string(), "--json"}).out);
    EXPECT_EQ(facts["type"], "cube");
    EXPECT_EQ(facts["faces"], 6);
    EXPECT_EQ(facts["levels"], 4);
    EXPECT_EQ(facts["format"], "R5G6B5");
    ASSERT_EQ(RunBatchCaptured({"convert", cube.string(), face.string(), "--face", "3"}).code, kExitSuccess);
    const nlohmann::json stats = Json(RunBatchCaptured({"info", face.string(), "--json", "--stats"}).out);
    EXPECT_NEAR(stats["statistics"]["R"]["mean"].get<double>(), 120.0 / 255.0, 1e-6);
    EXPECT_NEAR(stats["statistics"]["G"]["mean"].get<double>(), 135.0 / 255.0, 1e-6);
    const auto flat = RunBatchCaptured({"convert", cube.string(), (scratch / "cube.png").string()});
    EXPECT_EQ(flat.code, kExitUsage);
    EXPECT_NE(flat.err.find("--face"), std::string::npos) << flat.err;
}

TEST(ConvertCommand, RefusalsSayWhyAndKeepTheOutput) {
    ScratchDirectory scratch;
    const fs::path png = WriteTestPicture(scratch / "odd.png", 30, 30);
    const fs::path kept = scratch / "kept.dds";
    std::ofstream(kept) << "what the user had";
    struct Case {
        std::vector<std::string> arguments;
        int code;
        const char* says;
    };
    const Case cases[] = {
        {{"convert", png.string(), kept.string(), "--format", "DXT1"}, kExitFailure, "multiples of 4"},
        {{"convert", png.string(), (scratch / "x.png").string(), "--format", "DXT1"}, kExitUsage, "PNG files cannot store DXT1"},
        {{"convert", png.string(), kept.string(), "--format", "BOGUS"}, kExitUsage, "no pixel format"},
        {{"convert", (scratch / "absent.png").string(), kept.string()}, kExitFailure, "does not exist"},
        {{"convert", png.string(), (scratch / "x.xyz").string()}, kExitUsage, "extension"},
        {{"convert", png.string(), (scratch / "no" / "x.dds").string()}, kExitFailure, "does not exist"},
        {{"convert", png.string(), "/dev/full"}, kExitUsage, "extension"},
        {{"convert", png.string(), kept.string(), "--mips", "9"}, kExitUsage, "at most 5 levels"},
        {{"convert", png.string(), (scratch / "x.png").string(), "--mips", "2"}, kExitUsage, "one level"},
        {{"convert", png.string(), kept.string(), "--level", "1"}, kExitUsage, "one level"},
        {{"convert", png.string()}, kExitUsage, "two files"},
    };
    for (const Case& c : cases) {
        const auto run = RunBatchCaptured(c.arguments);
        EXPECT_EQ(run.code, c.code) << c.arguments[2];
        EXPECT_TRUE(OneMessage(run.err)) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
    EXPECT_EQ(FileBytes(kept), "what the user had");
    // A DXT size refused for the top level is fine with --size.
    EXPECT_EQ(RunBatchCaptured({"convert", png.string(), kept.string(), "--format", "DXT1", "--size", "32x32"}).code,
              kExitSuccess);
}

TEST(InfoCommand, DescribesFilesAndFolders) {
    ScratchDirectory scratch;
    const fs::path png = WriteTestPicture(scratch / "a.png", 32, 16);
    ASSERT_EQ(RunBatchCaptured({"convert", png.string(), (scratch / "b.dds").string(), "--format", "DXT5", "--mips",
                                "all"})
                  .code,
              kExitSuccess);
    const auto one = RunBatchCaptured({"info", (scratch / "b.dds").string()});
    ASSERT_EQ(one.code, kExitSuccess) << one.err;
    EXPECT_NE(one.out.find("DDS "), std::string::npos) << one.out;
    EXPECT_NE(one.out.find("32×16, 6 levels"), std::string::npos) << one.out;
    EXPECT_NE(one.out.find("FourCC DXT5"), std::string::npos) << one.out;
    EXPECT_NE(one.out.find("level 5: 1×1, 16 bytes"), std::string::npos) << one.out;

    // Hostile files: cut short, empty, not an image; each one sentence, no crash.
    const std::string dds = FileBytes(scratch / "b.dds");
    std::ofstream(scratch / "cut.dds", std::ios::binary) << dds.substr(0, 140);
    std::ofstream(scratch / "empty.png");
    std::ofstream(scratch / "text.tga") << "not an image at all";
    for (const char* name : {"cut.dds", "empty.png", "text.tga"}) {
        const auto bad = RunBatchCaptured({"info", (scratch / name).string()});
        EXPECT_EQ(bad.code, kExitFailure) << name;
        EXPECT_TRUE(OneMessage(bad.err)) << bad.err;
        EXPECT_NE(bad.err.find(std::string("cannot read ") + (scratch / name).string() + ": "), std::string::npos);
    }
    // The folder: one line per file, failures among them.
    const auto folder = RunBatchCaptured({"info", scratch.Path().string()});
    EXPECT_EQ(folder.code, kExitFailure);
    EXPECT_EQ(std::count(folder.out.begin(), folder.out.end(), '\n'), 2) << folder.out;
    EXPECT_EQ(std::count(folder.err.begin(), folder.err.end(), '\n'), 3) << folder.err;
}

TEST(InfoCommand, AgreesWithImageMagickOnTheCorpus) {
    const fs::path corpus = fs::path(QUILLMARK_CORPUS_DIR) / "dds";
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "the corpus is absent: " << corpus;
    if (!Have("identify")) GTEST_SKIP() << "ImageMagick identify is absent";
    for (const fs::directory_entry& entry : fs::directory_iterator(corpus)) {
        if (entry.path().extension() != ".dds") continue;
        const auto run = RunBatchCaptured({"info", entry.path().string(), "--json"});
        const std::string theirs =
            CommandOutput("identify -format '%w %h\\n' '" + entry.path().string() + "[0]' 2>/dev/null");
        if (run.code != kExitSuccess || theirs.empty()) continue;  // files one side refuses are the readers' tests
        const nlohmann::json facts = Json(run.out);
        EXPECT_EQ(std::to_string(facts["width"].get<int>()) + " " + std::to_string(facts["height"].get<int>()) + "\n",
                  theirs)
            << entry.path();
    }
}

// Two 16 x 16 grey pictures, one pixel of the second 10 steps redder.
void WritePair(const fs::path& a, const fs::path& b) {
    Picture first(16, 16, 0x646464), second(16, 16, 0x646464);
    second.Set(5, 7, 0x6E6464);
    std::string error;
    ASSERT_TRUE(WritePng(first, a, &error)) << error;
    ASSERT_TRUE(WritePng(second, b, &error)) << error;
}

TEST(DiffCommand, FiguresMatchHandWorkedValuesAndImageMagick) {
    ScratchDirectory scratch;
    const fs::path a = scratch / "a.png", b = scratch / "b.png", picture = scratch / "diff.png";
    WritePair(a, b);
    const auto run = RunBatchCaptured({"diff", a.string(), b.string(), "--json", "-o", picture.string()});
    EXPECT_EQ(run.code, kExitFailure);
    const nlohmann::json json = Json(run.out);
    const nlohmann::json& red = json["levels"][0]["channels"]["R"];
    const double step = 10.0 / 255.0;
    EXPECT_NEAR(red["max"].get<double>(), step, 1e-6);
    EXPECT_NEAR(red["mean_abs"].get<double>(), step / 256, 1e-7);
    EXPECT_NEAR(red["rmse"].get<double>(), step / 16, 1e-7);
    EXPECT_NEAR(red["psnr"].get<double>(), -20 * std::log10(step / 16), 1e-4);
    EXPECT_NEAR(red["differing"].get<double>(), 1.0 / 256, 1e-9);
    EXPECT_TRUE(json["levels"][0]["channels"]["G"]["psnr"].is_null());  // equal: infinite
    EXPECT_EQ(RunBatchCaptured({"diff", a.string(), b.string(), "--fail-above", "0.04"}).code, kExitSuccess);
    EXPECT_EQ(RunBatchCaptured({"diff", a.string(), a.string()}).code, kExitSuccess);

    if (!Have("compare")) GTEST_SKIP() << "ImageMagick compare is absent";
    // ImageMagick's normalised RMSE of the red channel, in parentheses.
    const std::string theirs =
        CommandOutput("compare -channel R -metric RMSE '" + a.string() + "' '" + b.string() + "' null: 2>&1");
    const std::size_t open = theirs.find('(');
    ASSERT_NE(open, std::string::npos) << theirs;
    EXPECT_NEAR(std::atof(theirs.c_str() + open + 1), red["rmse"].get<double>(), 1e-5) << theirs;
    EXPECT_EQ(CommandOutput("identify -format '%m' '" + picture.string() + "'"), "PNG");
    EXPECT_GT(std::atoi(CommandOutput("identify -format '%w' '" + picture.string() + "'").c_str()), 16);
}

TEST(DiffCommand, IncomparableFilesExitTwoSayingHow) {
    ScratchDirectory scratch;
    const fs::path a = WriteTestPicture(scratch / "a.png", 16, 16), b = WriteTestPicture(scratch / "b.png", 16, 8);
    const fs::path chain = scratch / "chain.dds";
    ASSERT_EQ(RunBatchCaptured({"convert", a.string(), chain.string(), "--mips", "all"}).code, kExitSuccess);
    const struct {
        std::vector<std::string> arguments;
        const char* says;
    } cases[] = {
        {{"diff", a.string(), b.string()}, "the first is 16 x 16, the second 16 x 8"},
        {{"diff", a.string(), chain.string()}, "the first has 1 level, the second 5 levels"},
        {{"diff", a.string(), (scratch / "absent.png").string()}, "does not exist"},
        {{"diff", a.string(), b.string(), "--fail-above", "x"}, "--fail-above x"},
        {{"diff", a.string()}, "two files"},
    };
    for (const auto& c : cases) {
        const auto run = RunBatchCaptured(c.arguments);
        EXPECT_EQ(run.code, kExitUsage) << c.says;
        EXPECT_TRUE(OneMessage(run.err)) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
}

TEST(FileCommands, HelpAndOptionsAreTheirOwn) {
    // --mip-filter is a setting of the probe too; here it is convert's own.
    const auto help = RunBatchCaptured({"convert", "--help"});
    EXPECT_EQ(help.code, kExitSuccess);
    EXPECT_NE(help.out.find("--mip-filter FILTER"), std::string::npos);
    EXPECT_EQ(help.out.find("--anisotropy"), std::string::npos);
    for (const char* command : {"info", "diff"})
        EXPECT_EQ(RunBatchCaptured({"help", command}).code, kExitSuccess);
    const auto unknown = RunBatchCaptured({"info", "x.png", "--angle", "3"});
    EXPECT_EQ(unknown.code, kExitUsage);
    EXPECT_TRUE(OneMessage(unknown.err)) << unknown.err;
}

}  // namespace
}  // namespace quillmark::batch
