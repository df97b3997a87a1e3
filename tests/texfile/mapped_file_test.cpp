// MappedFile: mapping files for reading, and writing files that replace their
// target only when complete.
#include "image_types.h"
#include "mapped_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

class MappedFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qm_mapped_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string PathOf(const char* name) const { return (dir_ / name).string(); }
    std::string Contents(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::size_t FileCount() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    fs::path dir_;
};

TEST_F(MappedFileTest, OpenMapsTheWholeFile) {
    const std::string path = PathOf("in.bin");
    { std::ofstream(path, std::ios::binary) << "hello"; }
    MappedFile file;
    ASSERT_EQ(file.Open(path.c_str(), false), S_OK);
    ASSERT_EQ(file.Size(), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.Data()), 5), "hello");
    const std::u16string wide(path.begin(), path.end());
    MappedFile byWideName;
    EXPECT_EQ(byWideName.Open(wide.c_str(), true), S_OK);
}

TEST_F(MappedFileTest, OpenRefusesMissingFilesAndOpensEmptyOnesWithoutData) {
    MappedFile file;
    EXPECT_EQ(file.Open(nullptr, false), D3DERR_INVALIDCALL);
    EXPECT_EQ(file.Open(PathOf("missing").c_str(), false), TEXERR_UNREADABLE);
    const std::string empty = PathOf("empty");
    { std::ofstream(empty, std::ios::binary); }
    ASSERT_EQ(file.Open(empty.c_str(), false), S_OK);
    EXPECT_EQ(file.Data(), nullptr);
    EXPECT_EQ(file.Size(), 0u);
}

// Sizes whose low 32 bits are small: read modulo 4 GiB they would pass as a
// tiny file. The files are sparse, so they take no disk space.
TEST_F(MappedFileTest, FilesOfFourGibibytesOrMoreAreRefusedWhole) {
    for (const std::uintmax_t size : {std::uintmax_t{1} << 32, (std::uintmax_t{1} << 32) + 5}) {
        const std::string path = PathOf("huge");
        { std::ofstream(path, std::ios::binary) << "BM"; }
        std::error_code code;
        fs::resize_file(path, size, code);
        if (code) GTEST_SKIP() << "cannot make a sparse file of " << size << " bytes: " << code.message();
        MappedFile file;
        EXPECT_EQ(file.Open(path.c_str(), false), TEXERR_UNREADABLE) << size;
        EXPECT_EQ(file.Data(), nullptr);
        fs::remove(path);
    }
}

TEST_F(MappedFileTest, CommittedFileReplacesTheTarget) {
    const std::string path = PathOf("out.bmp");
    { std::ofstream(path, std::ios::binary) << "previous"; }
    MappedFile file;
    ASSERT_EQ(file.Create(path.c_str(), false), S_OK);
    ASSERT_EQ(file.Write("new", 3), S_OK);
    EXPECT_EQ(Contents(path), "previous");  // untouched while writing
    ASSERT_EQ(file.Commit(), S_OK);
    EXPECT_EQ(Contents(path), "new");
    EXPECT_EQ(FileCount(), 1u);
}

TEST_F(MappedFileTest, UncommittedFileIsDiscarded) {
    const std::string path = PathOf("out.bmp");
    { std::ofstream(path, std::ios::binary) << "previous"; }
    {
        MappedFile file;
        ASSERT_EQ(file.Create(path.c_str(), false), S_OK);
        ASSERT_EQ(file.Write("partial", 7), S_OK);
    }
    EXPECT_EQ(Contents(path), "previous");
    EXPECT_EQ(FileCount(), 1u);
}

TEST_F(MappedFileTest, CreateFailsWhereNoFileCanBeMade) {
    MappedFile file;
    EXPECT_EQ(file.Create(nullptr, false), D3DERR_INVALIDCALL);
    EXPECT_EQ(file.Create(PathOf("no/such/dir.bmp").c_str(), false), TEXERR_UNREADABLE);
    EXPECT_EQ(file.Write("x", 1), E_FAIL);
    EXPECT_EQ(file.Commit(), E_FAIL);
}

}  // namespace
}  // namespace quillmark
