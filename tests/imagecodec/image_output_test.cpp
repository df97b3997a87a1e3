// The byte sink: staging arithmetic of file output, growth of memory output,
// and that a file is put in place only when every byte reached it.
#include "file_size_limit.h"
#include "imagecodec/image_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <vector>

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using testing::FileSizeLimit;

fs::path ScratchDir() {
    const fs::path dir = fs::temp_directory_path() / ("qm_output_" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir;
}

std::vector<char> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t FilesIn(const fs::path& dir) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(ImageOutput, LargeWriteAfterWaitingBytesSendsOneStagingBlockAndKeepsTheRest) {
    const fs::path dir = ScratchDir();
    const std::string path = (dir / "staging.bin").string();
    ImageOutput output;
    ASSERT_EQ(output.Open(path.c_str(), OutputKind::AnsiPath), S_OK);
    std::vector<BYTE> data(100010);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7);
    DWORD written = 0;
    ASSERT_EQ(output.Write(data.data(), 10, &written), S_OK);
    EXPECT_EQ(output.TotalBytes(), 0u);
    EXPECT_EQ(output.StagingFill(), 10u);
    ASSERT_EQ(output.Write(data.data() + 10, 100000, &written), S_OK);
    EXPECT_EQ(written, 100000u);
    EXPECT_EQ(output.TotalBytes(), 65536u);
    EXPECT_EQ(output.StagingFill(), 34474u);
    EXPECT_FALSE(fs::exists(path));  // nothing in place before Finish
    ASSERT_EQ(output.Finish(), S_OK);
    output.Close();
    const std::vector<char> back = FileBytes(path);
    ASSERT_EQ(back.size(), data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), reinterpret_cast<const BYTE*>(back.data())));
    EXPECT_EQ(FilesIn(dir), 1u);
    fs::remove_all(dir);
}

TEST(ImageOutput, WritesOfManyBlocksPassStraightThrough) {
    const fs::path dir = ScratchDir();
    const std::string path = (dir / "direct.bin").string();
    ImageOutput output;
    ASSERT_EQ(output.Open(path.c_str(), OutputKind::AnsiPath), S_OK);
    std::vector<BYTE> data(3 * 65536 + 5, 0x33);
    ASSERT_EQ(output.Write(data.data(), static_cast<DWORD>(data.size()), nullptr), S_OK);
    EXPECT_EQ(output.TotalBytes(), 3u * 65536u);
    EXPECT_EQ(output.StagingFill(), 5u);
    ASSERT_EQ(output.Finish(), S_OK);
    EXPECT_EQ(fs::file_size(path), data.size());
    fs::remove_all(dir);
}

TEST(ImageOutput, MemoryGrowsByDoublingAndHoldsEveryByte) {
    ImageOutput output;
    ASSERT_EQ(output.Open(nullptr, OutputKind::Memory), S_OK);
    std::vector<BYTE> data(3000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i);
    for (std::size_t at = 0; at < data.size(); at += 100)
        ASSERT_EQ(output.Write(data.data() + at, 100, nullptr), S_OK);
    EXPECT_EQ(output.TotalBytes(), 3000u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), output.MemoryBytes()));
}

TEST(ImageOutput, ClosedOutputIgnoresWritesAndUnknownKindsFail) {
    ImageOutput output;
    BYTE byte = 1;
    EXPECT_EQ(output.Write(&byte, 1, nullptr), S_OK);
    EXPECT_EQ(output.Open("x", static_cast<OutputKind>(7)), E_FAIL);
    EXPECT_EQ(output.Open(nullptr, OutputKind::AnsiPath), D3DERR_INVALIDCALL);
    EXPECT_EQ(output.Open("/nonexistent-dir/x.bmp", OutputKind::AnsiPath), TEXERR_UNREADABLE);
}

TEST(ImageOutput, FailedFinalFlushFailsAndLeavesTheOldFileAlone) {
    const fs::path dir = ScratchDir();
    const fs::path path = dir / "kept.bin";
    { std::ofstream(path, std::ios::binary) << "old contents"; }
    std::vector<BYTE> data(5000, 0x44);  // stays in the staging block until the flush
    HRESULT written, finished;
    {
        ImageOutput output;
        ASSERT_EQ(output.Open(path.string().c_str(), OutputKind::AnsiPath), S_OK);
        written = output.Write(data.data(), static_cast<DWORD>(data.size()), nullptr);
        FileSizeLimit limit(1000);
        finished = output.Finish();
    }
    EXPECT_EQ(written, S_OK);
    EXPECT_EQ(finished, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));  // the system's reason
    const std::vector<char> back = FileBytes(path);
    EXPECT_EQ(std::string(back.begin(), back.end()), "old contents");
    EXPECT_EQ(FilesIn(dir), 1u);  // the partial file is gone
    fs::remove_all(dir);
}

TEST(ImageOutput, FailedLargeWriteFailsTheWholeOutput) {
    const fs::path dir = ScratchDir();
    const fs::path path = dir / "big.bin";
    std::vector<BYTE> data(200000, 0x55);
    HRESULT written, finished;
    {
        ImageOutput output;
        ASSERT_EQ(output.Open(path.string().c_str(), OutputKind::AnsiPath), S_OK);
        FileSizeLimit limit(70000);
        written = output.Write(data.data(), static_cast<DWORD>(data.size()), nullptr);
        finished = output.Finish();
    }
    EXPECT_EQ(written, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
    EXPECT_EQ(finished, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(FilesIn(dir), 0u);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace quillmark
