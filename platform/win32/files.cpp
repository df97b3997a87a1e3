// Win32 file functions over POSIX descriptors.
#include "platform/win32/file_object.h"
#include "platform/win32/posix_error.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quillmark::win32;

namespace quillmark::win32 {
FileObject::~FileObject() { ::close(descriptor_); }
}  // namespace quillmark::win32

namespace {

struct OpenPlan {
    int flags = 0;
    bool reportExisting = false;  // success also says whether the file existed
};

bool PlanOpen(DWORD access, DWORD disposition, OpenPlan& plan) {
    const bool write = (access & GENERIC_WRITE) != 0;
    const bool read = (access & GENERIC_READ) != 0;
    plan.flags = O_CLOEXEC | (write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY);
    switch (disposition) {
    case CREATE_NEW: plan.flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: plan.flags |= O_CREAT | O_TRUNC; plan.reportExisting = true; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: plan.flags |= O_CREAT; plan.reportExisting = true; break;
    case TRUNCATE_EXISTING:
        if (!write) return false;
        plan.flags |= O_TRUNC;
        break;
    default: return false;
    }
    // Truncation needs a writable descriptor even when only reading was asked.
    if ((plan.flags & O_TRUNC) && !write) plan.flags = (plan.flags & ~O_RDONLY) | O_RDWR;
    return true;
}

bool CanOpenKind(mode_t mode) { return S_ISREG(mode) || S_ISCHR(mode) || S_ISFIFO(mode); }

constexpr mode_t kPermissionBits = 0777;
constexpr mode_t kWriteBits = 0222;

// Gives `path` the owner, group and permission bits of `model`: the owner
// only where the caller may (else the group alone, where the caller belongs
// to it). The set-id bits are not carried over, as writing a file clears them.
bool CopyOwnerAndMode(const std::string& path, const struct stat& model) {
    const bool owned = ::chown(path.c_str(), model.st_uid, model.st_gid) == 0 ||
                       ::chown(path.c_str(), static_cast<uid_t>(-1), model.st_gid) == 0;
    const bool moded = ::chmod(path.c_str(), model.st_mode & kPermissionBits) == 0;
    return owned && moded;
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

bool WriteAll(int descriptor, const BYTE* bytes, DWORD count, DWORD& done) {
    done = 0;
    while (done < count) {
        ssize_t written = ::write(descriptor, bytes + done, count - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<DWORD>(written);
    }
    return true;
}

bool ReadAll(int descriptor, BYTE* bytes, DWORD count, DWORD& done) {
    done = 0;
    while (done < count) {
        ssize_t got = ::read(descriptor, bytes + done, count - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) break;
        done += static_cast<DWORD>(got);
    }
    return true;
}

}  // namespace

namespace {

// The mode a new file is created with: the template's permission bits, else
// read-only or read-write for everyone (both less the umask).
mode_t CreationMode(DWORD flagsAndAttributes, HANDLE templateFile) {
    struct stat model;
    FileObject* object = templateFile != nullptr ? LookupHandle<FileObject>(templateFile) : nullptr;
    if (object != nullptr && ::fstat(object->Descriptor(), &model) == 0) return model.st_mode & kPermissionBits;
    return (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
}

}  // namespace

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile) {
    OpenPlan plan;
    if (!fileName || !PlanOpen(desiredAccess, creationDisposition, plan)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string path = PosixPath(fileName);
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const bool existed = plan.reportExisting && Exists(path);
    int descriptor = ::open(path.c_str(), plan.flags, CreationMode(flagsAndAttributes, templateFile));
    if (descriptor < 0) {
        FailWithErrno();
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    if (::fstat(descriptor, &info) != 0 || !CanOpenKind(info.st_mode)) {
        ::close(descriptor);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (plan.reportExisting) SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return RegisterHandle(std::make_unique<FileObject>(descriptor, desiredAccess));
}

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, fileName, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return INVALID_HANDLE_VALUE;
    std::string path(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, fileName, -1, path.data(), bytes, nullptr, nullptr);
    return CreateFileA(path.c_str(), desiredAccess, shareMode, security, creationDisposition,
                       flagsAndAttributes, templateFile);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped) {
    if (bytesRead) *bytesRead = 0;
    FileObject* object = LookupHandle<FileObject>(file);
    if (!object) return Fail(ERROR_INVALID_HANDLE);
    if (overlapped || (!buffer && bytesToRead > 0)) return Fail(ERROR_INVALID_PARAMETER);
    if (!object->CanRead()) return Fail(ERROR_ACCESS_DENIED);
    DWORD done = 0;
    const bool ok = ReadAll(object->Descriptor(), static_cast<BYTE*>(buffer), bytesToRead, done);
    if (bytesRead) *bytesRead = done;
    return ok ? TRUE : FailWithErrno();
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
    if (bytesWritten) *bytesWritten = 0;
    FileObject* object = LookupHandle<FileObject>(file);
    if (!object) return Fail(ERROR_INVALID_HANDLE);
    if (overlapped || (!buffer && bytesToWrite > 0)) return Fail(ERROR_INVALID_PARAMETER);
    if (!object->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
    DWORD done = 0;
    const bool ok =
        WriteAll(object->Descriptor(), static_cast<const BYTE*>(buffer), bytesToWrite, done);
    if (bytesWritten) *bytesWritten = done;
    return ok ? TRUE : FailWithErrno();
}

DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
    FileObject* object = LookupHandle<FileObject>(file);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    struct stat info;
    if (::fstat(object->Descriptor(), &info) != 0) {
        FailWithErrno();
        return INVALID_FILE_SIZE;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (fileSizeHigh) *fileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(size);
}

DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh,
                     DWORD moveMethod) {
    FileObject* object = LookupHandle<FileObject>(file);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    static constexpr int whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (moveMethod > FILE_END) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    std::int64_t distance = distanceToMove;
    if (distanceToMoveHigh)
        distance = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(static_cast<DWORD>(*distanceToMoveHigh)) << 32) |
            static_cast<DWORD>(distanceToMove));
    const off_t current = ::lseek(object->Descriptor(), 0, SEEK_CUR);
    const off_t position = ::lseek(object->Descriptor(), distance, whence[moveMethod]);
    if (position < 0) {
        SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrorFromErrno(errno));
        ::lseek(object->Descriptor(), current, SEEK_SET);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceToMoveHigh) *distanceToMoveHigh = static_cast<LONG>(position >> 32);
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(position);
}

BOOL CloseHandle(HANDLE object) {
    return ReleaseHandle(object) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

BOOL DeleteFileA(LPCSTR fileName) {
    if (!fileName) return Fail(ERROR_INVALID_PARAMETER);
    const std::string path = PosixPath(fileName);
    struct stat info;
    if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return Fail(ERROR_ACCESS_DENIED);
    return ::unlink(path.c_str()) == 0 ? TRUE : FailWithErrno();
}

DWORD GetFileAttributesA(LPCSTR fileName) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat info;
    const std::string path = PosixPath(fileName);
    if (::stat(path.c_str(), &info) != 0) {
        FailWithErrno();
        const bool danglingLink = errno == ENOENT && ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
        return danglingLink ? FILE_ATTRIBUTE_REPARSE_POINT : INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = 0;
    if (S_ISDIR(info.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    else if (!S_ISREG(info.st_mode)) attributes |= FILE_ATTRIBUTE_DEVICE;
    if ((info.st_mode & kWriteBits) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

DWORD GetFileType(HANDLE file) {
    FileObject* object = LookupHandle<FileObject>(file);
    struct stat info;
    if (!object || ::fstat(object->Descriptor(), &info) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FILE_TYPE_UNKNOWN;
    }
    SetLastError(NO_ERROR);
    if (S_ISREG(info.st_mode)) return FILE_TYPE_DISK;
    if (S_ISCHR(info.st_mode)) return FILE_TYPE_CHAR;
    if (S_ISFIFO(info.st_mode)) return FILE_TYPE_PIPE;
    return FILE_TYPE_UNKNOWN;
}

DWORD GetFinalPathNameByHandleA(HANDLE file, LPSTR path, DWORD size, DWORD) {
    FileObject* object = LookupHandle<FileObject>(file);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    // The kernel keeps the resolved name of every open descriptor.
    const std::string link = "/proc/self/fd/" + std::to_string(object->Descriptor());
    std::string resolved(PATH_MAX, '\0');
    const ssize_t length = ::readlink(link.c_str(), resolved.data(), resolved.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= resolved.size()) {
        SetLastError(length < 0 ? ErrorFromErrno(errno) : ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    const auto needed = static_cast<DWORD>(length);
    if (!path || size <= needed) return needed + 1;
    std::memcpy(path, resolved.data(), needed);
    path[needed] = '\0';
    return needed;
}

BOOL ReplaceFileA(LPCSTR replaced, LPCSTR replacement, LPCSTR backup, DWORD flags, LPVOID exclude,
                  LPVOID reserved) {
    if (!replaced || !replacement || backup || exclude || reserved) return Fail(ERROR_INVALID_PARAMETER);
    const std::string from = PosixPath(replacement);
    const std::unique_ptr<char, decltype(&std::free)> to(::realpath(PosixPath(replaced).c_str(), nullptr), &std::free);
    struct stat model;
    if (!to || ::stat(to.get(), &model) != 0 || !Exists(from)) return FailWithErrno();
    if (!CopyOwnerAndMode(from, model) && !(flags & REPLACEFILE_IGNORE_MERGE_ERRORS)) return FailWithErrno();
    return ::rename(from.c_str(), to.get()) == 0 ? TRUE : FailWithErrno();
}

BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) {
    if (!existingFileName || !newFileName) return Fail(ERROR_INVALID_PARAMETER);
    const std::string from = PosixPath(existingFileName);
    const std::string to = PosixPath(newFileName);
    if (!Exists(from)) return Fail(ERROR_FILE_NOT_FOUND);
    if (!(flags & MOVEFILE_REPLACE_EXISTING) && Exists(to)) return Fail(ERROR_ALREADY_EXISTS);
    return ::rename(from.c_str(), to.c_str()) == 0 ? TRUE : FailWithErrno();
}
