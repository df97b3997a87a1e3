#include "imagecodec/result_text.h"

#include "platform/win32/winbase.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace quillmark {
namespace {

struct ResultEntry {
    HRESULT code;
    std::string_view name;
    std::string_view meaning;
};

#define QUILLMARK_RESULT(code, meaning) {code, #code, meaning}
#define QUILLMARK_SYSTEM_RESULT(error, meaning) {HRESULT_FROM_WIN32(error), #error, meaning}

constexpr ResultEntry kResults[] = {
    QUILLMARK_RESULT(S_OK, "it succeeded"),
    QUILLMARK_RESULT(S_FALSE, "it succeeded with nothing to do"),
    QUILLMARK_RESULT(E_FAIL, "the operation failed"),
    QUILLMARK_RESULT(E_OUTOFMEMORY, "not enough memory"),
    QUILLMARK_RESULT(E_NOINTERFACE, "the object does not offer that interface"),
    QUILLMARK_RESULT(E_INVALIDARG, "an argument is not valid"),
    QUILLMARK_RESULT(E_NOTIMPL, "this operation is not implemented"),
    QUILLMARK_RESULT(E_ACCESSDENIED, "the file is read-only or you may not write it"),
    QUILLMARK_RESULT(TEXERR_UNREADABLE,
                     "the file cannot be opened, created or mapped, or its contents are no image this program reads"),
    QUILLMARK_RESULT(D3DERR_WRONGTEXTUREFORMAT, "the texture format cannot be used this way"),
    QUILLMARK_RESULT(D3DERR_UNSUPPORTEDCOLOROPERATION, "the device does not support this colour operation"),
    QUILLMARK_RESULT(D3DERR_UNSUPPORTEDCOLORARG, "the device does not support this colour argument"),
    QUILLMARK_RESULT(D3DERR_UNSUPPORTEDALPHAOPERATION, "the device does not support this alpha operation"),
    QUILLMARK_RESULT(D3DERR_UNSUPPORTEDALPHAARG, "the device does not support this alpha argument"),
    QUILLMARK_RESULT(D3DERR_TOOMANYOPERATIONS, "the device cannot do this many operations in one pass"),
    QUILLMARK_RESULT(D3DERR_CONFLICTINGTEXTUREFILTER, "these texture filters cannot be used together"),
    QUILLMARK_RESULT(D3DERR_UNSUPPORTEDFACTORVALUE, "the device does not support this factor value"),
    QUILLMARK_RESULT(D3DERR_CONFLICTINGRENDERSTATE, "these render states cannot be used together"),
    QUILLMARK_RESULT(D3DERR_UNSUPPORTEDTEXTUREFILTER, "the device does not support this texture filter"),
    QUILLMARK_RESULT(D3DERR_CONFLICTINGTEXTUREPALETTE, "the texture palettes conflict"),
    QUILLMARK_RESULT(D3DERR_DRIVERINTERNALERROR, "the graphics driver failed internally"),
    QUILLMARK_RESULT(D3DERR_NOTFOUND, "the item asked for was not found"),
    QUILLMARK_RESULT(D3DERR_MOREDATA, "more data is available than the buffer holds"),
    QUILLMARK_RESULT(D3DERR_DEVICELOST, "the graphics device was lost"),
    QUILLMARK_RESULT(D3DERR_DEVICENOTRESET, "the graphics device was lost and must be reset"),
    QUILLMARK_RESULT(D3DERR_NOTAVAILABLE, "the device offers no usable format or feature for it"),
    QUILLMARK_RESULT(D3DERR_OUTOFVIDEOMEMORY, "not enough video memory"),
    QUILLMARK_RESULT(D3DERR_INVALIDDEVICE, "the device type is not valid"),
    QUILLMARK_RESULT(D3DERR_INVALIDCALL,
                     "an argument or the call is not valid (for a file: a format this program cannot write)"),
    QUILLMARK_RESULT(D3DERR_DRIVERINVALIDCALL, "the graphics driver refused the call"),
    QUILLMARK_RESULT(D3DERR_WASSTILLDRAWING, "the device is still drawing"),
    QUILLMARK_RESULT(D3DOK_NOAUTOGEN, "it succeeded, but mip levels will not be generated automatically"),
    // The system's reasons a file could not be written.
    QUILLMARK_SYSTEM_RESULT(ERROR_DISK_FULL, "no space left on device"),
    QUILLMARK_SYSTEM_RESULT(ERROR_FILE_TOO_LARGE, "the file would be larger than this process may write"),
    QUILLMARK_SYSTEM_RESULT(ERROR_BAD_FILE_TYPE, "it is not a regular file (a device, pipe or socket)"),
    QUILLMARK_SYSTEM_RESULT(ERROR_WRITE_PROTECT, "the file system is read-only"),
    QUILLMARK_SYSTEM_RESULT(ERROR_GEN_FAILURE, "the device failed (an input or output error)"),
};

#undef QUILLMARK_SYSTEM_RESULT
#undef QUILLMARK_RESULT

const ResultEntry* FindResult(HRESULT result) {
    for (const ResultEntry& entry : kResults)
        if (entry.code == result) return &entry;
    return nullptr;
}

}  // namespace

std::string ResultName(HRESULT result) {
    if (const ResultEntry* entry = FindResult(result)) return std::string(entry->name);
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(result));
    return hex;
}

std::string_view ResultMeaning(HRESULT result) {
    const ResultEntry* entry = FindResult(result);
    return entry ? entry->meaning : std::string_view();
}

std::string ResultReason(HRESULT result) {
    const std::string_view meaning = ResultMeaning(result);
    if (meaning.empty()) return "error " + ResultName(result);
    return std::string(meaning) + " (" + ResultName(result) + ")";
}

std::string WriteFailureReason(const std::string& path, HRESULT result) {
    if (result != TEXERR_UNREADABLE) return ResultReason(result);
    const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    std::error_code code;
    if (!std::filesystem::is_directory(folder, code)) return "the folder " + folder.string() + " does not exist";
    if (access(folder.c_str(), W_OK) != 0)
        return "the folder " + folder.string() +
               (errno == EROFS ? " is on a read-only file system" : " is read-only (you may not create files in it)");
    if (std::filesystem::is_directory(path, code)) return "it is a folder";
    return "the file cannot be created";
}

}  // namespace quillmark
