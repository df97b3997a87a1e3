// MappedFile: mapping files for reading, and writing files that replace their
// target only when complete, whatever stands at the target's name.
#include "imagecodec/image_types.h"
#include "imagecodec/mapped_file.h"
#include "file_size_limit.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
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
    std::string Existing(const char* name, const char* text, fs::perms mode) const {
        const std::string path = PathOf(name);
        { std::ofstream(path, std::ios::binary) << text; }
        fs::permissions(path, mode);
        return path;
    }
    static HRESULT Save(const std::string& path, const std::string& text) {
        MappedFile file;
        HRESULT result = file.Create(path.c_str(), false);
        if (SUCCEEDED(result)) result = file.Write(text.data(), static_cast<DWORD>(text.size()));
        return SUCCEEDED(result) ? file.Commit() : result;
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

TEST_F(MappedFileTest, SavingThroughALinkReplacesTheFileItNames) {
    const std::string real = Existing("real.bmp", "previous", fs::perms(0644));
    fs::create_directory(dir_ / "links");
    const fs::path link = dir_ / "links" / "link.bmp";
    fs::create_symlink("../real.bmp", link);
    ASSERT_EQ(Save(link.string(), "new"), S_OK);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Contents(real), "new");
    EXPECT_EQ(FileCount(), 2u);  // real.bmp and links/, no temporary file left
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "links"), fs::directory_iterator()), 1);
}

// A link whose file does not exist yet: the file is written where the link
// points and the link stays; an uncommitted write leaves nothing behind.
TEST_F(MappedFileTest, SavingThroughADanglingLinkCreatesTheFileItNames) {
    fs::create_directory(dir_ / "links");
    const fs::path link = dir_ / "links" / "link.bmp";
    fs::create_symlink("../named.bmp", link);
    {
        MappedFile abandoned;
        ASSERT_EQ(abandoned.Create(link.string().c_str(), false), S_OK);
        ASSERT_EQ(abandoned.Write("half", 4), S_OK);
    }
    EXPECT_FALSE(fs::exists(dir_ / "named.bmp"));
    EXPECT_TRUE(fs::is_symlink(link));
    ASSERT_EQ(Save(link.string(), "new"), S_OK);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Contents(PathOf("named.bmp")), "new");
    EXPECT_EQ(FileCount(), 2u);  // named.bmp and links/, no temporary file left
}

// While it is written, the temporary file beside a private target is as
// private as the target.
TEST_F(MappedFileTest, TemporaryFileHasTheTargetsModeFromTheStart) {
    const std::string path = Existing("private.bmp", "previous", fs::perms(0600));
    MappedFile file;
    ASSERT_EQ(file.Create(path.c_str(), false), S_OK);
    int temporaries = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        if (entry.path().string() == path) continue;
        ++temporaries;
        EXPECT_EQ(entry.status().permissions(), fs::perms(0600)) << entry.path();
    }
    EXPECT_EQ(temporaries, 1);
    ASSERT_EQ(file.Commit(), S_OK);
}

TEST_F(MappedFileTest, ReplacedFileKeepsItsModeAndOwner) {
    const std::string path = Existing("private.bmp", "previous", fs::perms(0600));
    // Where the test may hand the file to another owner, the owner must survive too.
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(path.c_str(), 1, 1), 0);
    }
    ASSERT_EQ(Save(path, "new"), S_OK);
    EXPECT_EQ(Contents(path), "new");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    if (root) {
        EXPECT_EQ(info.st_uid, 1u);
        EXPECT_EQ(info.st_gid, 1u);
    }
}

TEST_F(MappedFileTest, ReadOnlyFileIsRefusedAndUntouched) {
    const std::string path = Existing("locked.bmp", "previous", fs::perms(0444));
    EXPECT_EQ(Save(path, "new"), E_ACCESSDENIED);
    EXPECT_EQ(Contents(path), "previous");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0444));
    EXPECT_EQ(FileCount(), 1u);
}

// A file whose mode lets others write but not the caller: as root, tried by
// a child that has become an ordinary user; otherwise by the owner with the
// owner's write bit cleared.
TEST_F(MappedFileTest, FileTheCallerMayNotWriteIsRefusedAndUntouched) {
    constexpr uid_t kNobody = 65534;
    fs::permissions(dir_, fs::perms(0755));
    if (geteuid() != 0) {
        const std::string path = Existing("theirs.bmp", "previous", fs::perms(0464));
        EXPECT_EQ(Save(path, "new"), E_ACCESSDENIED);
        EXPECT_EQ(Contents(path), "previous");
        return;
    }
    const std::string path = Existing("theirs.bmp", "previous", fs::perms(0644));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
        _exit(Save(path, "new") == E_ACCESSDENIED ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Contents(path), "previous");
    EXPECT_EQ(FileCount(), 1u);
}

// A pipe is refused before it is opened: with a reader it would take the
// bytes (and a reader that goes away would raise SIGPIPE); without one,
// opening it would wait for ever.
TEST_F(MappedFileTest, PipeIsRefusedUnopenedAndStaysAPipe) {
    const std::string path = PathOf("pipe");
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    EXPECT_EQ(Save(path, "nobody reads"), HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE));
    const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(Save(path, "through the pipe"), HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE));
    char received[64] = {};
    EXPECT_LE(read(reader, received, sizeof(received)), 0);
    close(reader);
    EXPECT_TRUE(fs::is_fifo(path));
    EXPECT_EQ(FileCount(), 1u);
}

// A pipe is not read: with no writer, opening it would wait for ever; with
// one (here the test holds both ends) it would read as an empty file.
TEST_F(MappedFileTest, PipeIsNotOpenedForReading) {
    const std::string path = PathOf("pipe");
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    const int ends = open(path.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(ends, 0);
    MappedFile file;
    EXPECT_EQ(file.Open(path.c_str(), false), TEXERR_UNREADABLE);
    close(ends);
}

// Device nodes of our own (the null and full devices) stand in for the
// system's, which a save must never risk replacing: both are refused and
// stay what they are.
TEST_F(MappedFileTest, DevicesAreRefusedAndKept) {
    const std::string null = PathOf("null"), full = PathOf("full");
    if (mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "device nodes cannot be made here";
    EXPECT_EQ(Save(null, "discarded"), HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE));
    EXPECT_EQ(Save(full, "no room"), HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE));
    EXPECT_TRUE(fs::is_character_file(null));
    EXPECT_TRUE(fs::is_character_file(full));
    EXPECT_EQ(FileCount(), 2u);
}

// The system's own devices, where they exist, the same.
TEST_F(MappedFileTest, SystemDevicesAreRefused) {
    for (const char* device : {"/dev/null", "/dev/full"}) {
        if (!fs::exists(device)) continue;
        EXPECT_EQ(Save(device, "anything"), HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE)) << device;
        EXPECT_TRUE(fs::is_character_file(device));
    }
}

// A write the system refuses fails with the system's reason; the target is
// left as it was.
TEST_F(MappedFileTest, AFailedWriteGivesTheSystemsReason) {
    const std::string path = Existing("kept.txt", "previous", fs::perms::owner_read | fs::perms::owner_write);
    HRESULT result;
    {
        testing::FileSizeLimit limit(4);
        result = Save(path, "longer than four bytes");
    }
    EXPECT_EQ(result, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
    EXPECT_EQ(Contents(path), "previous");
    EXPECT_EQ(FileCount(), 1u);
}

}  // namespace
}  // namespace quillmark
