// Batch mode end to end: the command line, the exit codes and the frame that
// "quillmark render" writes.
#include "batch_command.h"
#include "batch_runner.h"

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

class ScratchDirectory {
public:
    ScratchDirectory() {
        char pattern[] = "/tmp/quillmark-batch-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~ScratchDirectory() { fs::remove_all(path_); }
    fs::path operator/(const char* name) const { return path_ / name; }

private:
    fs::path path_;
};

std::uint32_t LittleEndian32(const std::array<unsigned char, 54>& bytes, int offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 | std::uint32_t{bytes[offset + 3]} << 24;
}

// Runs a shell command and returns its standard output.
std::string CommandOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof(buffer), pipe)) output += buffer;
        pclose(pipe);
    }
    return output;
}

TEST(BatchMode, HelpSucceedsAndListsTheCommands) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunBatch({"--help"}), kExitSuccess);
    const std::string help = testing::internal::GetCapturedStdout();
    EXPECT_NE(help.find("render [settings] -o FILE"), std::string::npos);
    EXPECT_NE(help.find("--anisotropy"), std::string::npos);

    testing::internal::CaptureStdout();
    EXPECT_EQ(RunBatch({"render", "--help"}), kExitSuccess);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("--output FILE"), std::string::npos);
}

TEST(BatchMode, BadCommandLinesFailWithAMessage) {
    const std::vector<std::vector<std::string>> bad = {
        {"paint"},
        {"render", "--angle", "90", "-o", "x.bmp"},
        {"render", "--texture", "a.bmp", "-o", "x.bmp"},
        {"render", "--device", "nonesuch", "-o", "x.bmp"},
        {"render"},
        {"render", "-o", "frame.xyz"},
        {"render", "-o", "x.bmp", "--frames", "3"},
    };
    for (const auto& arguments : bad) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(RunBatch(arguments), kExitUsage) << arguments.back();
        const std::string message = testing::internal::GetCapturedStderr();
        EXPECT_EQ(message.rfind("quillmark", 0), 0u) << message;
    }
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

TEST(BatchMode, RenderFailsWhenTheFileCannotBeCreated) {
    ScratchDirectory scratch;
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunBatch({"render", "-o", (scratch / "missing" / "frame.bmp").string()}), kExitFailure);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot write"), std::string::npos);
}

TEST(BatchMode, RenderRefusesAReadOnlyFileAndSaysWhy) {
    ScratchDirectory scratch;
    const fs::path locked = scratch / "locked.bmp";
    { std::ofstream(locked, std::ios::binary) << "kept"; }
    fs::permissions(locked, fs::perms(0444));
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunBatch({"render", "-o", locked.string()}), kExitFailure);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("read-only"), std::string::npos);
    EXPECT_EQ(FileBytes(locked), "kept");
}

}  // namespace
}  // namespace quillmark::batch
