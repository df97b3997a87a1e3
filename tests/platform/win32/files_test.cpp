#include "platform/win32/windows.h"
#include "temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

HANDLE OpenForReading(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_RANDOM_ACCESS, nullptr);
}

HANDLE CreateForWriting(const std::string& path, DWORD disposition) {
    return CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(Files, WriteThenReadBack) {
    TempDir dir;
    const std::string path = dir.File("a.bin");
    HANDLE file = CreateForWriting(path, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));  // did not exist
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "hello", 5, &written, nullptr));
    EXPECT_EQ(written, 5u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(ReadText(path), "hello");

    file = OpenForReading(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 99;
    EXPECT_EQ(GetFileSize(file, &high), 5u);
    EXPECT_EQ(high, 0u);
    char buffer[16] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(got, 5u);  // short read at the end of the file is success
    EXPECT_STREQ(buffer, "hello");
    ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(got, 0u);
    CloseHandle(file);
}

TEST(Files, CreateAlwaysTruncatesAndReportsExisting) {
    TempDir dir;
    const std::string path = dir.File("b.bin");
    WriteText(path, "old contents");
    HANDLE file = CreateForWriting(path, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    WriteFile(file, "new", 3, nullptr, nullptr);
    CloseHandle(file);
    EXPECT_EQ(ReadText(path), "new");
}

TEST(Files, CreateNewRefusesExistingFile) {
    TempDir dir;
    const std::string path = dir.File("c.bin");
    WriteText(path, "x");
    EXPECT_EQ(CreateForWriting(path, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadText(path), "x");
}

TEST(Files, OpenFailuresGiveErrors) {
    TempDir dir;
    EXPECT_EQ(OpenForReading(dir.File("missing")), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(OpenForReading(dir.File("")), INVALID_HANDLE_VALUE);  // a directory
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA(dir.File("x").c_str(), GENERIC_READ, 0, nullptr, 77, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(Files, BackslashIsASeparator) {
    TempDir dir;
    WriteText(dir.File("d.txt"), "d");
    std::string windowsPath = dir.File("d.txt");
    windowsPath[windowsPath.rfind('/')] = '\\';
    HANDLE file = OpenForReading(windowsPath);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

TEST(Files, AccessIsEnforced) {
    TempDir dir;
    const std::string path = dir.File("e.bin");
    WriteText(path, "abc");
    HANDLE file = OpenForReading(path);
    DWORD written = 7;
    EXPECT_FALSE(WriteFile(file, "z", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(written, 0u);
    CloseHandle(file);
    file = CreateForWriting(path, OPEN_EXISTING);
    char c;
    EXPECT_FALSE(ReadFile(file, &c, 1, nullptr, nullptr));
    CloseHandle(file);
    EXPECT_EQ(ReadText(path), "abc");
}

TEST(Files, StaleAndForeignHandlesAreRejected) {
    TempDir dir;
    const std::string path = dir.File("f.bin");
    HANDLE file = CreateForWriting(path, CREATE_ALWAYS);
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    int notAHandle = 0;
    EXPECT_FALSE(WriteFile(&notAHandle, "x", 1, nullptr, nullptr));
    EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, nullptr), INVALID_FILE_SIZE);
    EXPECT_FALSE(CloseHandle(nullptr));
}

TEST(Files, SetFilePointerMovesAndRejectsNegative) {
    TempDir dir;
    const std::string path = dir.File("g.bin");
    WriteText(path, "0123456789");
    HANDLE file = OpenForReading(path);
    EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_CURRENT), 6u);
    EXPECT_EQ(SetFilePointer(file, -3, nullptr, FILE_END), 7u);
    char c = 0;
    ReadFile(file, &c, 1, nullptr, nullptr);
    EXPECT_EQ(c, '7');
    EXPECT_EQ(SetFilePointer(file, -100, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 8u);  // unchanged by the failure
    LONG high = 0;
    EXPECT_EQ(SetFilePointer(file, 1, &high, FILE_BEGIN), 1u);
    EXPECT_EQ(high, 0);
    CloseHandle(file);
}

TEST(Files, DeleteAndMove) {
    TempDir dir;
    const std::string a = dir.File("a"), b = dir.File("b");
    WriteText(a, "A");
    WriteText(b, "B");
    EXPECT_FALSE(MoveFileExA(a.c_str(), b.c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadText(b), "B");
    EXPECT_TRUE(MoveFileExA(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadText(b), "A");
    EXPECT_FALSE(MoveFileExA(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(DeleteFileA(b.c_str()));
    EXPECT_FALSE(DeleteFileA(b.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(Files, AttributesTypesAndFinalPaths) {
    TempDir dir;
    const std::string file = dir.File("f"), link = dir.File("l");
    WriteText(file, "f");
    std::filesystem::create_symlink("f", link);
    EXPECT_EQ(GetFileAttributesA(link.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    std::filesystem::permissions(file, std::filesystem::perms(0444));
    EXPECT_EQ(GetFileAttributesA(link.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesA(dir.File("").c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesA(dir.File("missing").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const std::string dangling = dir.File("d");
    std::filesystem::create_symlink("missing", dangling);
    EXPECT_EQ(GetFileAttributesA(dangling.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));

    HANDLE opened = OpenForReading(link);
    ASSERT_NE(opened, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileType(opened), static_cast<DWORD>(FILE_TYPE_DISK));
    const std::string real = std::filesystem::canonical(file).string();
    EXPECT_EQ(GetFinalPathNameByHandleA(opened, nullptr, 0, FILE_NAME_NORMALIZED), real.size() + 1);
    std::string path(real.size() + 1, '\0');
    EXPECT_EQ(GetFinalPathNameByHandleA(opened, path.data(), static_cast<DWORD>(path.size()), 0), real.size());
    EXPECT_EQ(path.c_str(), real);
    CloseHandle(opened);
    HANDLE device = OpenForReading("/dev/null");
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileType(device), static_cast<DWORD>(FILE_TYPE_CHAR));
    CloseHandle(device);
}

TEST(Files, ReplaceFileKeepsTheReplacedFilesModeAndFollowsLinks) {
    TempDir dir;
    const std::string file = dir.File("f"), link = dir.File("l"), replacement = dir.File("r");
    WriteText(file, "old");
    WriteText(replacement, "new");
    std::filesystem::permissions(file, std::filesystem::perms(0640));
    std::filesystem::create_symlink("f", link);
    EXPECT_TRUE(ReplaceFileA(link.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadText(file), "new");
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0640));
    EXPECT_FALSE(std::filesystem::exists(replacement));
    EXPECT_FALSE(ReplaceFileA(file.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(FileMapping, MapsWholeFileReadOnly) {
    TempDir dir;
    const std::string path = dir.File("m.bin");
    WriteText(path, "mapped bytes");
    HANDLE file = OpenForReading(path);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    // Closing the handles keeps the view, as on Win32.
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(std::string(static_cast<const char*>(view), 12), "mapped bytes");
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
}

TEST(FileMapping, EmptyFileCannotBeMapped) {
    TempDir dir;
    const std::string path = dir.File("empty");
    WriteText(path, "");
    HANDLE file = OpenForReading(path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));
    CloseHandle(file);
}

TEST(FileMapping, RejectsBadRequests) {
    TempDir dir;
    const std::string path = dir.File("n.bin");
    WriteText(path, std::string(100, 'n'));
    HANDLE writeOnly = CreateForWriting(path, OPEN_EXISTING);
    EXPECT_EQ(CreateFileMappingA(writeOnly, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(writeOnly);

    HANDLE file = OpenForReading(path);
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 101, nullptr), nullptr);
    EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 0, nullptr),
              nullptr);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 101), nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 4096, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MAPPED_ALIGNMENT));
    EXPECT_EQ(MapViewOfFile(file, FILE_MAP_READ, 0, 0, 0), nullptr);  // not a mapping
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    const void* part = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 10);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(static_cast<const char*>(part)[9], 'n');
    UnmapViewOfFile(part);
    CloseHandle(mapping);
    CloseHandle(file);
}

TEST(WideText, Utf16RoundTripsThroughUtf8) {
    const char16_t wide[] = u"a\u00B0\u20AC\U0001F600";
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(bytes, 1 + 2 + 3 + 4 + 1);
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, -1, narrow.data(), bytes, nullptr, nullptr), bytes);
    EXPECT_EQ(narrow, std::string("a\xC2\xB0\xE2\x82\xAC\xF0\x9F\x98\x80", 11));
    char16_t back[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, narrow.c_str(), -1, back, 8), 6);
    EXPECT_EQ(std::u16string(back), std::u16string(wide));
    char small[3];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, wide, -1, small, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(WideText, MalformedInputBecomesReplacementOrFails) {
    const char16_t loneSurrogate[] = {0xD800, u'x'};
    char out[8];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, loneSurrogate, 2, out, 8, nullptr, nullptr), 4);
    EXPECT_EQ(std::string(out, 4), "\xEF\xBF\xBDx");
    const char overlong[] = "\xC0\x80";
    char16_t wide[4];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, overlong, 2, wide, 4), 2);
    EXPECT_EQ(wide[0], 0xFFFD);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, overlong, 2, wide, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(WideText, CreateFileWOpensUtf8Name) {
    TempDir dir;
    WriteText(dir.File("\xC3\xA9t\xC3\xA9"), "e");
    const std::string narrow = dir.File("");
    std::u16string wide(narrow.begin(), narrow.end());
    wide += u"\u00E9t\u00E9";
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

}  // namespace
