#include "imagecodec/mapped_file.h"

#include "platform/d3d9/d3d9types.h"
#include "imagecodec/image_types.h"

namespace quillmark {
namespace {

constexpr int kTemporaryNameAttempts = 100;
constexpr DWORD kMaxPathBytes = 4096;

// The 8-bit (UTF-8) form of a path given as char or WCHAR text.
bool NarrowPath(const void* path, bool widePath, std::string& out) {
    if (!widePath) {
        out = static_cast<const char*>(path);
        return true;
    }
    const auto* wide = static_cast<LPCWSTR>(path);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return false;
    out.assign(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), bytes, nullptr, nullptr) != bytes) return false;
    out.pop_back();  // the terminating zero
    return true;
}

// A process-wide counter keeps the names of temporary files distinct;
// CREATE_NEW refuses a name that exists already, so another is tried. The
// file takes its permission bits from `model` (the file it will replace;
// null for none) from the start, so that its contents are never open to
// more readers than the target's.
HANDLE CreateTemporaryBeside(const std::string& target, HANDLE model, std::string& temporary) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporary = target + ".part" + std::to_string(++counter);
        HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  model);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    temporary.clear();
    return INVALID_HANDLE_VALUE;
}

}  // namespace

MappedFile::~MappedFile() { Close(); }

HRESULT MappedFile::Open(const void* path, bool widePath) {
    Close();
    if (path == nullptr) return D3DERR_INVALIDCALL;
    std::string name;
    if (!NarrowPath(path, widePath, name)) return TEXERR_UNREADABLE;
    // A device or pipe is not opened: opening a pipe waits for a writer.
    const DWORD attributes = GetFileAttributesA(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DEVICE) != 0) return TEXERR_UNREADABLE;
    file_ = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) return TEXERR_UNREADABLE;
    // A file of 4 GiB or more does not fit the 32-bit size and is refused
    // whole rather than read as its size modulo 4 GiB.
    DWORD high = 0;
    size_ = GetFileSize(file_, &high);
    if ((size_ == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) || high != 0) {
        Close();
        return TEXERR_UNREADABLE;
    }
    if (size_ == 0) return S_OK;  // nothing to map: no view
    mapping_ = CreateFileMappingA(file_, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping_ != nullptr) view_ = static_cast<const BYTE*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0));
    if (view_ == nullptr) {
        Close();
        return TEXERR_UNREADABLE;
    }
    return S_OK;
}

HRESULT MappedFile::Create(const void* path, bool widePath) {
    Close();
    if (path == nullptr) return D3DERR_INVALIDCALL;
    if (!NarrowPath(path, widePath, target_) || target_.empty()) return TEXERR_UNREADABLE;
    const HRESULT existing = OpenExistingTarget();
    if (FAILED(existing)) {
        Close();
        return existing;
    }
    file_ = CreateTemporaryBeside(target_, existing_, temporary_);
    if (existing_ != INVALID_HANDLE_VALUE) CloseHandle(existing_);
    existing_ = INVALID_HANDLE_VALUE;
    if (file_ == INVALID_HANDLE_VALUE) {
        Close();
        return TEXERR_UNREADABLE;
    }
    return S_OK;
}

// What is at the target decides how it is written: nothing, a new file; a
// regular file, a replacement beside the file any links name; a link whose
// file does not exist, a new file where the link points (first created
// empty, so that the links resolve). A device, pipe or socket is refused
// before it is opened: opening a pipe waits for a reader, and writing one
// whose reader has gone raises a signal.
// A file no one may write (no write bit, whoever asks) or the caller may not
// write is refused. The target's handle stays open as the temporary file's
// model.
HRESULT MappedFile::OpenExistingTarget() {
    writing_ = Writing::NewFile;
    const DWORD attributes = GetFileAttributesA(target_.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return S_OK;
    if (attributes == FILE_ATTRIBUTE_REPARSE_POINT) return CreateThroughLink();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TEXERR_UNREADABLE;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE);
    if (attributes & FILE_ATTRIBUTE_READONLY) return E_ACCESSDENIED;
    HANDLE existing = CreateFileA(target_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_ACCESS_DENIED ? E_ACCESSDENIED : TEXERR_UNREADABLE;
    if (GetFileType(existing) != FILE_TYPE_DISK) {  // replaced by a device since it was looked at
        CloseHandle(existing);
        return HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE);
    }
    writing_ = Writing::Replace;
    existing_ = existing;
    return ResolveTarget();
}

// A link whose file does not exist: that file is created empty through the
// link (and removed again if the write is not committed), then replaced as
// any other.
HRESULT MappedFile::CreateThroughLink() {
    existing_ = CreateFileA(target_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing_ == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_ACCESS_DENIED ? E_ACCESSDENIED : TEXERR_UNREADABLE;
    writing_ = Writing::Replace;
    const HRESULT resolved = ResolveTarget();
    if (SUCCEEDED(resolved)) placeholder_ = target_;
    return resolved;
}

// The target becomes the path of the file `existing_` holds, every link
// resolved.
HRESULT MappedFile::ResolveTarget() {
    char resolved[kMaxPathBytes];
    const DWORD length = GetFinalPathNameByHandleA(existing_, resolved, sizeof(resolved), FILE_NAME_NORMALIZED);
    if (length == 0 || length >= sizeof(resolved)) return TEXERR_UNREADABLE;
    target_.assign(resolved, length);
    return S_OK;
}

HRESULT MappedFile::Write(const void* data, DWORD length) {
    if (file_ == INVALID_HANDLE_VALUE || writing_ == Writing::No) return E_FAIL;
    DWORD written = 0;
    if (WriteFile(file_, data, length, &written, nullptr) && written == length) return S_OK;
    const DWORD error = GetLastError();
    return error != NO_ERROR ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

HRESULT MappedFile::Commit() {
    if (file_ == INVALID_HANDLE_VALUE || writing_ == Writing::No) return E_FAIL;
    const BOOL closed = CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    if (!closed || !PutInPlace()) {
        Close();
        return TEXERR_UNREADABLE;
    }
    writing_ = Writing::No;
    temporary_.clear();
    target_.clear();
    placeholder_.clear();
    return S_OK;
}

bool MappedFile::PutInPlace() {
    switch (writing_) {
    case Writing::NewFile: return MoveFileExA(temporary_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING);
    case Writing::Replace:
        return ReplaceFileA(target_.c_str(), temporary_.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                            nullptr);
    case Writing::No: break;
    }
    return false;
}

void MappedFile::Close() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    if (mapping_ != nullptr) CloseHandle(mapping_);
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    if (existing_ != INVALID_HANDLE_VALUE) CloseHandle(existing_);
    if (!temporary_.empty()) DeleteFileA(temporary_.c_str());
    if (!placeholder_.empty()) DeleteFileA(placeholder_.c_str());
    view_ = nullptr;
    mapping_ = nullptr;
    file_ = INVALID_HANDLE_VALUE;
    existing_ = INVALID_HANDLE_VALUE;
    writing_ = Writing::No;
    size_ = 0;
    temporary_.clear();
    target_.clear();
    placeholder_.clear();
}

}  // namespace quillmark
