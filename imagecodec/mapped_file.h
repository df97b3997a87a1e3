// MappedFile: a whole file mapped read-only (Open), or a file being written
// (Create, Write, Commit).
//
// A written file never replaces the file of that name until it is complete:
// Create writes into a new temporary file beside the target, Commit renames it
// over the target, and Close before Commit deletes it, leaving whatever was
// there before untouched. A target reached through links is the file they
// name (created where it does not exist yet), and keeps its mode and (where
// the caller may set it) its owner; the temporary file has that mode from
// the start. A device, pipe or socket is refused without being opened.
#pragma once

#include "platform/win32/windows.h"

#include <string>

namespace quillmark {

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // `path` is a char string, or a WCHAR (UTF-16) string when widePath is
    // set. D3DERR_INVALIDCALL for a null path, TEXERR_UNREADABLE when the file
    // cannot be opened and mapped, is a device or pipe, or holds 4 GiB or
    // more. An empty file opens
    // with no data (a null Data(), Size() 0).
    HRESULT Open(const void* path, bool widePath);
    const BYTE* Data() const { return view_; }
    DWORD Size() const { return size_; }

    // Starts writing the file `path`. D3DERR_INVALIDCALL for a null path,
    // E_ACCESSDENIED (touching nothing) for an existing file that is
    // read-only or that the caller may not write,
    // HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE) for a target that is not a
    // regular file (a device, pipe or socket), TEXERR_UNREADABLE when the
    // file cannot be created.
    HRESULT Create(const void* path, bool widePath);
    // Appends bytes; when they cannot all be written, the system's reason as
    // a result (HRESULT_FROM_WIN32(ERROR_DISK_FULL), ...) or E_FAIL.
    HRESULT Write(const void* data, DWORD length);
    // Puts the written file in place of the target; TEXERR_UNREADABLE when it
    // cannot be.
    HRESULT Commit();

    // Unmaps or closes; an uncommitted written file is deleted.
    void Close();

private:
    // How a file being written reaches its target.
    enum class Writing { No, NewFile, Replace };

    HRESULT OpenExistingTarget();
    HRESULT CreateThroughLink();
    HRESULT ResolveTarget();
    bool PutInPlace();

    Writing writing_ = Writing::No;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE existing_ = INVALID_HANDLE_VALUE;  // the target being replaced, until the temporary file exists
    HANDLE mapping_ = nullptr;
    const BYTE* view_ = nullptr;
    DWORD size_ = 0;
    std::string target_;
    std::string temporary_;
    std::string placeholder_;  // an empty file created through a link, removed unless committed
};

}  // namespace quillmark
