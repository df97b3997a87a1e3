// Batch mode end to end: the command line, the exit codes and the frame that
// "quillmark render" writes.
#include "app/batch/batch_command.h"
#include "app/batch/batch_runner.h"
#include "devices/select/d3d9_select.h"

#include "command_output.h"
#include "scratch_directory.h"
#include "solid_bitmap.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;

using testing::CommandOutput;
using testing::ScratchDirectory;
using testing::WriteSolidBitmap;

std::uint32_t LittleEndian32(const std::array<unsigned char, 54>& bytes, int offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 | std::uint32_t{bytes[offset + 3]} << 24;
}

// One line in the program's one form of message: "quillmark: what failed:
// why", where a result code's name is never the whole reason.
bool OneMessage(const std::string& text) {
    const std::size_t what = std::string("quillmark: ").size();
    return text.rfind("quillmark: ", 0) == 0 && text.find(": ", what) != std::string::npos &&
           text.find('\n') == text.size() - 1 && text.find(": (") == std::string::npos &&
           text.find("[Quillmark]") == std::string::npos;
}

TEST(BatchMode, HelpSucceedsAndListsTheCommands) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(RunBatch({"--help"}), kExitSuccess);
    const std::string help = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(help.find("render [settings] -o FILE"), std::string::npos);
    EXPECT_NE(help.find("--anisotropy"), std::string::npos);

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(RunBatch({"render", "--help"}), kExitSuccess);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("--output FILE"), std::string::npos);
}

TEST(BatchMode, BadCommandLinesFailWithAMessage) {
    const std::vector<std::vector<std::string>> bad = {
        {"paint"},
        {"render", "--angle", "90", "-o", "x.bmp"},
        {"render", "--device", "nonesuch", "-o", "x.bmp"},
        {"render"},
        {"render", "-o", "frame.xyz"},
        {"render", "-o", "x.bmp", "--frames", "3"},
    };
    for (const auto& arguments : bad) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunBatch(arguments), kExitUsage) << arguments.back();
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(OneMessage(message)) << message;
    }
}

// Every command's help is its own, reached as "COMMAND --help" or "help COMMAND".
TEST(BatchMode, EachCommandHasItsOwnHelp) {
    const auto output = [](const std::vector<std::string>& arguments, int* code) {
        ::testing::internal::CaptureStdout();
        *code = RunBatch(arguments);
        return ::testing::internal::GetCapturedStdout();
    };
    int code = -1;
    for (const char* name : {"render", "analyze", "compare", "devices"}) {
        const std::string help = output({"help", name}, &code);
        EXPECT_EQ(code, kExitSuccess);
        EXPECT_EQ(help.rfind(std::string("Usage: quillmark ") + name, 0), 0u) << help;
        EXPECT_EQ(output({name, "--help"}, &code), help);
        EXPECT_EQ(output({name, "-h"}, &code), help);
        for (const char* other : {"render", "analyze", "compare", "devices"}) {
            if (std::string(other) != name) {
                EXPECT_EQ(help.find(std::string("quillmark ") + other), std::string::npos) << name << " / " << other;
            }
        }
    }
    EXPECT_NE(output({"help", "analyze"}, &code).find("--json"), std::string::npos);
    EXPECT_EQ(output({"help", "devices"}, &code).find("--angle"), std::string::npos) << "devices takes no settings";
    EXPECT_EQ(output({"help"}, &code), output({"--help"}, &code));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunBatch({"help", "paint"}), kExitUsage);
    EXPECT_TRUE(OneMessage(::testing::internal::GetCapturedStderr()));
}

// The help says what a negative and a zero checker size mean.
TEST(BatchMode, CheckerHelpExplainsNegativeAndZeroSizes) {
    ::testing::internal::CaptureStdout();
    RunBatch({"render", "--help"});
    const std::string help = ::testing::internal::GetCapturedStdout();
    const std::size_t checker = help.find("--checker -8..8");
    ASSERT_NE(checker, std::string::npos) << help;
    const std::string entry = help.substr(checker, help.find("--tint", checker) - checker);
    EXPECT_NE(entry.find("N < 0"), std::string::npos) << entry;
    EXPECT_NE(entry.find("0: one texel"), std::string::npos) << entry;
    EXPECT_NE(entry.find("(default: 8)"), std::string::npos) << entry;
}

TEST(BatchMode, VersionNamesTheBuildAndItsDevices) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(RunBatch({"--version"}), kExitSuccess);
    const std::string version = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(version.rfind("quillmark ", 0), 0u) << version;
    EXPECT_NE(version.find("\nbuild: "), std::string::npos) << version;
    EXPECT_NE(version.find("\ndevices: reference, model, gl, llvmpipe, softpipe, vulkan, lavapipe\n"), std::string::npos) << version;
    EXPECT_NE(version.find("\ndesktop: "), std::string::npos) << version;
}

// An unknown device is the same usage error whether it was named by --device
// or by QUILLMARK_DEVICE: one message, exit status 2, nothing drawn.
TEST(BatchMode, AnUnknownDeviceIsOneMessageWhereverItWasNamed) {
    ScratchDirectory scratch;
    const fs::path frame = scratch / "x.bmp";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunBatch({"render", "--device", "bogus", "-o", frame.string()}), kExitUsage);
    const std::string fromFlag = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(OneMessage(fromFlag)) << fromFlag;
    EXPECT_NE(fromFlag.find("unknown device \"bogus\""), std::string::npos) << fromFlag;

    const std::string previous = std::getenv("QUILLMARK_DEVICE") ? std::getenv("QUILLMARK_DEVICE") : "";
    setenv("QUILLMARK_DEVICE", "bogus", 1);
    for (const char* command : {"render", "analyze"}) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunBatch({command, "-o", (scratch / "out.bmp").string()}), kExitUsage) << command;
        const std::string fromEnvironment = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(OneMessage(fromEnvironment)) << fromEnvironment;
        EXPECT_NE(fromEnvironment.find("unknown device \"bogus\" (from QUILLMARK_DEVICE)"), std::string::npos)
            << fromEnvironment;
    }
    if (previous.empty())
        unsetenv("QUILLMARK_DEVICE");
    else
        setenv("QUILLMARK_DEVICE", previous.c_str(), 1);
    EXPECT_TRUE(fs::is_empty(scratch.Path()));
}

// The model device is named like the others: with no knobs it renders the
// reference's frame; a bad knob, by --device or QUILLMARK_DEVICE, is one
// usage message naming the knob and its range.
TEST(BatchMode, TheModelDeviceRendersAndRefusesABadKnobInOneMessage) {
    ScratchDirectory scratch;
    const fs::path reference = scratch / "reference.bmp", model = scratch / "model.bmp";
    // From QUILLMARK_DEVICE first: a device chosen by --device stays chosen.
    const std::string previous = std::getenv("QUILLMARK_DEVICE") ? std::getenv("QUILLMARK_DEVICE") : "";
    setenv("QUILLMARK_DEVICE", "model:aniso-cap=32", 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunBatch({"render", "-o", model.string()}), kExitUsage);
    const std::string fromEnvironment = ::testing::internal::GetCapturedStderr();
    if (previous.empty())
        unsetenv("QUILLMARK_DEVICE");
    else
        setenv("QUILLMARK_DEVICE", previous.c_str(), 1);
    EXPECT_TRUE(OneMessage(fromEnvironment)) << fromEnvironment;
    EXPECT_NE(fromEnvironment.find("\"aniso-cap\": it takes a whole number from 1 to 16, not \"32\""), std::string::npos)
        << fromEnvironment;

    const std::string before = SelectedDeviceName();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunBatch({"render", "--device", "model:axes=max,blend-width=2", "-o", model.string()}), kExitUsage);
    const std::string fromFlag = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(OneMessage(fromFlag)) << fromFlag;
    EXPECT_NE(fromFlag.find("\"blend-width\": it takes a number from 0 to 1, not \"2\""), std::string::npos) << fromFlag;
    EXPECT_TRUE(fs::is_empty(scratch.Path()));

    ASSERT_EQ(RunBatch({"render", "--device", "reference", "-o", reference.string()}), kExitSuccess);
    ASSERT_EQ(RunBatch({"render", "--device", "model", "-o", model.string()}), kExitSuccess);
    SelectDevice(before, nullptr);
    const auto bytes = [](const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    EXPECT_GT(bytes(model).size(), 54u);
    EXPECT_EQ(bytes(model), bytes(reference));
}

// The OpenGL devices picked by index or renderer text are names like the
// others: the name check accepts them without opening a driver.
TEST(BatchMode, GlDevicesByIndexOrRendererTextAreDeviceNames) {
    for (const char* name : {"gl:0", "gl:7", "gl:llvm"}) EXPECT_EQ(DeviceChoiceError(std::string(name)), "") << name;
    EXPECT_NE(DeviceChoiceError(std::string("gl7")), "");
}

// An existing folder given as the output file is named as a folder, not as
// a file whose extension names no format.
TEST(BatchMode, RenderIntoAFolderSaysItIsAFolder) {
    ScratchDirectory scratch;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunBatch({"render", "-o", scratch.Path().string()}), kExitUsage);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(OneMessage(message)) << message;
    EXPECT_EQ(message.rfind("quillmark: cannot write " + scratch.Path().string() + ": it is a folder", 0), 0u)
        << message;
}

TEST(BatchMode, RenderWritesAnEightHundredBySixHundredBitmap) {
    ScratchDirectory scratch;
    const fs::path frame = scratch / "frame.bmp";
    ASSERT_EQ(RunBatch({"render", "--object", "plane", "--angle", "60", "--min-filter", "anisotropic",
                        "--anisotropy", "16", "-o", frame.string()}),
              kExitSuccess);

    std::array<unsigned char, 54> header{};
    std::ifstream file(frame, std::ios::binary);
    ASSERT_TRUE(file.read(reinterpret_cast<char*>(header.data()), header.size()));
    EXPECT_EQ(header[0], 'B');
    EXPECT_EQ(header[1], 'M');
    EXPECT_EQ(LittleEndian32(header, 18), 800u);
    EXPECT_EQ(static_cast<std::int32_t>(LittleEndian32(header, 22)) * (header[25] & 0x80 ? -1 : 1), 600);

    if (std::system("command -v identify >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick identify is absent";
    EXPECT_EQ(CommandOutput("identify -format '%w %h' '" + frame.string() + "'"), "800 600");
}

std::string FileBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(BatchMode, RenderShowsTheSettings) {
    ScratchDirectory scratch;
    const fs::path tunnel = scratch / "tunnel.bmp", plane = scratch / "plane.bmp", again = scratch / "again.bmp";
    ASSERT_EQ(RunBatch({"render", "-o", tunnel.string()}), kExitSuccess);
    ASSERT_EQ(RunBatch({"render", "--object", "plane", "-o", plane.string()}), kExitSuccess);
    ASSERT_EQ(RunBatch({"render", "--output=" + again.string()}), kExitSuccess);
    const std::string tunnelBytes = FileBytes(tunnel);
    EXPECT_GT(tunnelBytes.size(), 800u * 600u * 3u);
    EXPECT_NE(FileBytes(plane), tunnelBytes);
    EXPECT_EQ(FileBytes(again), tunnelBytes);  // every run starts from the same settings
}

TEST(BatchMode, RenderWritesPngAndJpegByTheFileName) {
    ScratchDirectory scratch;
    const fs::path bmp = scratch / "frame.bmp", png = scratch / "frame.png", jpeg = scratch / "frame.jpg";
    for (const fs::path& frame : {bmp, png, jpeg}) ASSERT_EQ(RunBatch({"render", "-o", frame.string()}), kExitSuccess);
    if (std::system("command -v identify >/dev/null 2>&1") != 0) GTEST_SKIP() << "ImageMagick identify is absent";
    EXPECT_EQ(CommandOutput("identify -format '%m %w %h' '" + png.string() + "'"), "PNG 800 600");
    EXPECT_EQ(CommandOutput("identify -format '%m %w %h' '" + jpeg.string() + "'"), "JPEG 800 600");
    // The PNG holds exactly the pixels of the bitmap.
    EXPECT_EQ(CommandOutput("compare -metric AE '" + bmp.string() + "' '" + png.string() + "' null: 2>&1"), "0");
}

TEST(BatchMode, RenderFailsWhenTheFileCannotBeCreated) {
    ScratchDirectory scratch;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunBatch({"render", "-o", (scratch / "missing" / "frame.bmp").string()}), kExitFailure);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("cannot write " + (scratch / "missing" / "frame.bmp").string() + ": the folder " +
                           (scratch / "missing").string() + " does not exist\n"),
              std::string::npos)
        << message;
}

// A file type that is only read is refused before anything is drawn or
// written, in words.
TEST(BatchMode, RenderRefusesAFormatItCannotWrite) {
    ScratchDirectory scratch;
    const fs::path target = scratch / "frame.tga";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunBatch({"render", "-o", target.string()}), kExitUsage);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("cannot write " + target.string() + ": TGA files can be read but not written"),
              std::string::npos)
        << message;
    EXPECT_FALSE(fs::exists(target));
}

TEST(BatchMode, TextureRendersTheFileAndAFileThatCannotBeUsedFailsNamingIt) {
    ScratchDirectory scratch;
    const fs::path texture = scratch / "solid.bmp", frame = scratch / "frame.bmp", plain = scratch / "plain.bmp";
    WriteSolidBitmap(texture, 0x3366CC);
    ASSERT_EQ(RunBatch({"render", "--object", "plane", "--texture", texture.string(), "-o", frame.string()}),
              kExitSuccess);
    ASSERT_EQ(RunBatch({"render", "--object", "plane", "-o", plain.string()}), kExitSuccess);
    const std::string bytes = FileBytes(frame);
    EXPECT_NE(bytes, FileBytes(plain));
    // The plane fills the frame with the texture's one colour: the centre
    // pixel, stored blue, green, red.
    ASSERT_GT(bytes.size(), 54u);
    const auto at = [&bytes](std::size_t offset) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset]));
    };
    const std::size_t pixelBytes = at(28) / 8, rowBytes = (800 * pixelBytes + 3) & ~std::size_t{3};
    const std::size_t centre = (at(10) | at(11) << 8) + 300 * rowBytes + 400 * pixelBytes;
    ASSERT_GT(bytes.size(), centre + 2);
    EXPECT_EQ(at(centre) | at(centre + 1) << 8 | at(centre + 2) << 16, 0x3366CCu);

    for (const fs::path& unusable : {scratch / "missing.bmp", fs::path(frame).replace_extension(".txt")}) {
        if (unusable.extension() == ".txt") std::ofstream(unusable) << "not an image";
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(RunBatch({"render", "--texture", unusable.string(), "-o", (scratch / "x.bmp").string()}),
                  kExitFailure);
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(message.rfind("quillmark: could not use the texture file \"" + unusable.string() + "\": it ", 0), 0u)
            << message;
        EXPECT_FALSE(fs::exists(scratch / "x.bmp"));
    }
}

// An 8 x 8 DDS file with its full chain (8, 4, 2, 1), as DXT1 blocks of
// pure red and pure green or as the A8R8G8B8 texels those blocks decode to.
// Texel (x, y) of a level is green where bit (y % 4) * 4 + x % 4 of its
// block's mask is set; the masks differ from block to block and level to level.
void WriteTwoColourDds(const fs::path& path, bool dxt1) {
    constexpr std::uint32_t kRed565 = 0xF800, kGreen565 = 0x07E0, kRed = 0xFFFF0000, kGreen = 0xFF00FF00;
    constexpr std::uint32_t kSide = 8, kLevels = 4;
    std::string bytes;
    const auto put32 = [&bytes](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(v >> (8 * i)));
    };
    put32(0x20534444), put32(124), put32(0x21007), put32(kSide), put32(kSide), put32(0), put32(0), put32(kLevels);
    for (int i = 0; i < 11; ++i) put32(0);
    if (dxt1)
        put32(32), put32(0x4), put32(0x31545844), put32(0), put32(0), put32(0), put32(0), put32(0);
    else
        put32(32), put32(0x41), put32(0), put32(32), put32(0xFF0000), put32(0xFF00), put32(0xFF), put32(0xFF000000);
    put32(0x401008), put32(0), put32(0), put32(0), put32(0);
    for (std::uint32_t level = 0, side = kSide; level < kLevels; ++level, side /= 2) {
        const std::uint32_t blocks = (side + 3) / 4;
        const auto mask = [level, blocks](std::uint32_t bx, std::uint32_t by) {
            return (0x9C3Au * (level * 7 + by * blocks + bx + 1)) & 0xFFFFu;
        };
        if (dxt1) {
            for (std::uint32_t by = 0; by < blocks; ++by)
                for (std::uint32_t bx = 0; bx < blocks; ++bx) {
                    std::uint32_t indices = 0;
                    for (int i = 0; i < 16; ++i) indices |= (mask(bx, by) >> i & 1u) << (2 * i);
                    put32(kRed565 | kGreen565 << 16), put32(indices);
                }
        } else {
            for (std::uint32_t y = 0; y < side; ++y)
                for (std::uint32_t x = 0; x < side; ++x)
                    put32((mask(x / 4, y / 4) >> ((y % 4) * 4 + x % 4) & 1u) ? kGreen : kRed);
        }
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

// A DXT1 file renders exactly as the same texels stored uncompressed.
TEST(BatchMode, ADxt1TextureRendersAsItsDecodedTexels) {
    ScratchDirectory scratch;
    const fs::path dxt1 = scratch / "blocks.dds", argb = scratch / "texels.dds";
    WriteTwoColourDds(dxt1, true);
    WriteTwoColourDds(argb, false);
    const fs::path fromDxt1 = scratch / "dxt1.bmp", fromArgb = scratch / "argb.bmp", plain = scratch / "plain.bmp";
    ASSERT_EQ(RunBatch({"render", "--texture", dxt1.string(), "-o", fromDxt1.string()}), kExitSuccess);
    ASSERT_EQ(RunBatch({"render", "--texture", argb.string(), "-o", fromArgb.string()}), kExitSuccess);
    ASSERT_EQ(RunBatch({"render", "-o", plain.string()}), kExitSuccess);
    EXPECT_EQ(FileBytes(fromDxt1), FileBytes(fromArgb));
    EXPECT_NE(FileBytes(fromDxt1), FileBytes(plain));
}

TEST(BatchMode, RenderRefusesAReadOnlyFileAndSaysWhy) {
    ScratchDirectory scratch;
    const fs::path locked = scratch / "locked.bmp";
    { std::ofstream(locked, std::ios::binary) << "kept"; }
    fs::permissions(locked, fs::perms(0444));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RunBatch({"render", "-o", locked.string()}), kExitFailure);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("read-only"), std::string::npos);
    EXPECT_EQ(FileBytes(locked), "kept");
}

}  // namespace
}  // namespace quillmark::batch
