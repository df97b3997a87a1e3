// Result codes in words: the published values name the codes, and an unknown
// code still reads as its value.
#include "imagecodec/result_text.h"
#include "platform/win32/winbase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace quillmark {
namespace {

TEST(ResultText, PublishedValuesReadAsTheirNames) {
    // The values as the platform's documentation gives them.
    EXPECT_EQ(ResultName(static_cast<HRESULT>(0x8876086Cu)), "D3DERR_INVALIDCALL");
    EXPECT_EQ(ResultName(static_cast<HRESULT>(0x8876086Au)), "D3DERR_NOTAVAILABLE");
    EXPECT_EQ(ResultName(static_cast<HRESULT>(0x88760868u)), "D3DERR_DEVICELOST");
    EXPECT_EQ(ResultName(static_cast<HRESULT>(0x8007000Eu)), "E_OUTOFMEMORY");
    EXPECT_EQ(ResultName(static_cast<HRESULT>(0x80004005u)), "E_FAIL");
    EXPECT_EQ(ResultName(static_cast<HRESULT>(0x88760B59u)), "TEXERR_UNREADABLE");
}

TEST(ResultText, ReasonIsAClauseFollowedByTheName) {
    EXPECT_EQ(ResultReason(E_OUTOFMEMORY), "not enough memory (E_OUTOFMEMORY)");
    const std::string reason = ResultReason(D3DERR_INVALIDCALL);
    EXPECT_TRUE(reason.ends_with(" (D3DERR_INVALIDCALL)")) << reason;
    EXPECT_GT(reason.size(), std::string(" (D3DERR_INVALIDCALL)").size() + 10);
}

// The system's reasons a write fails read as the system's words.
TEST(ResultText, SystemErrorsReadAsTheSystemsReason) {
    EXPECT_EQ(ResultReason(static_cast<HRESULT>(0x80070070u)), "no space left on device (ERROR_DISK_FULL)");
    EXPECT_EQ(ResultName(static_cast<HRESULT>(0x800700DEu)), "ERROR_BAD_FILE_TYPE");
    EXPECT_EQ(ResultName(static_cast<HRESULT>(0x800700DFu)), "ERROR_FILE_TOO_LARGE");
    // The one code both names share reads as the result's own name.
    EXPECT_EQ(ResultName(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)), "E_ACCESSDENIED");
}

// A file that could not be created: what in its path is at fault.
TEST(ResultText, AFileThatCannotBeCreatedSaysWhichPartOfThePathIsAtFault) {
    const std::filesystem::path scratch = std::filesystem::temp_directory_path() /
                                          ("result_text_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch / "folder");
    EXPECT_EQ(WriteFailureReason((scratch / "absent" / "x.png").string(), TEXERR_UNREADABLE),
              "the folder " + (scratch / "absent").string() + " does not exist");
    EXPECT_EQ(WriteFailureReason((scratch / "folder").string(), TEXERR_UNREADABLE), "it is a folder");
    // Other results keep their own reason.
    EXPECT_EQ(WriteFailureReason((scratch / "x.png").string(), HRESULT_FROM_WIN32(ERROR_DISK_FULL)),
              "no space left on device (ERROR_DISK_FULL)");
    std::filesystem::permissions(scratch / "folder", std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_exec);
    if (access((scratch / "folder").c_str(), W_OK) != 0) {  // the superuser writes anywhere
        EXPECT_EQ(WriteFailureReason((scratch / "folder" / "x.png").string(), TEXERR_UNREADABLE),
                  "the folder " + (scratch / "folder").string() + " is read-only (you may not create files in it)");
    }
    std::filesystem::permissions(scratch / "folder", std::filesystem::perms::owner_all);
    std::filesystem::remove_all(scratch);
}

TEST(ResultText, UnknownCodeReadsAsItsValue) {
    const auto unknown = static_cast<HRESULT>(0x88761234u);
    EXPECT_EQ(ResultName(unknown), "0x88761234");
    EXPECT_TRUE(ResultMeaning(unknown).empty());
    EXPECT_EQ(ResultReason(unknown), "error 0x88761234");
}

}  // namespace
}  // namespace quillmark
