// Read-only file mappings over mmap. A mapping keeps its own descriptor, so
// it and its views outlive the file handle, as on Win32.
#include "platform/win32/file_object.h"
#include "platform/win32/posix_error.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

using namespace quillmark::win32;

namespace {

constexpr std::uint64_t kAllocationGranularity = 65536;

class MappingObject : public KernelObject {
public:
    MappingObject(int descriptor, std::uint64_t size) : descriptor_(descriptor), size_(size) {}
    ~MappingObject() override { ::close(descriptor_); }
    MappingObject(const MappingObject&) = delete;
    MappingObject& operator=(const MappingObject&) = delete;

    int Descriptor() const { return descriptor_; }
    std::uint64_t Size() const { return size_; }

private:
    int descriptor_;
    std::uint64_t size_;
};

struct ViewTable {
    std::mutex mutex;
    std::unordered_map<const void*, std::size_t> lengths;
};

ViewTable& Views() {
    static ViewTable table;
    return table;
}

HANDLE FailMapping(DWORD error) {
    SetLastError(error);
    return nullptr;
}

}  // namespace

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect,
                          DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCSTR name) {
    FileObject* object = LookupHandle<FileObject>(file);
    if (!object) return FailMapping(ERROR_INVALID_HANDLE);
    if (protect != PAGE_READONLY || name) return FailMapping(ERROR_INVALID_PARAMETER);
    if (!object->CanRead()) return FailMapping(ERROR_ACCESS_DENIED);
    struct stat info;
    if (::fstat(object->Descriptor(), &info) != 0) return FailMapping(ErrorFromErrno(errno));
    const auto fileSize = static_cast<std::uint64_t>(info.st_size);
    std::uint64_t size = (static_cast<std::uint64_t>(maximumSizeHigh) << 32) | maximumSizeLow;
    if (size == 0) size = fileSize;
    if (size == 0) return FailMapping(ERROR_FILE_INVALID);
    if (size > fileSize) return FailMapping(ERROR_NOT_ENOUGH_MEMORY);  // read-only cannot grow
    const int descriptor = ::fcntl(object->Descriptor(), F_DUPFD_CLOEXEC, 0);
    if (descriptor < 0) return FailMapping(ErrorFromErrno(errno));
    SetLastError(ERROR_SUCCESS);
    return RegisterHandle(std::make_unique<MappingObject>(descriptor, size));
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD fileOffsetHigh,
                     DWORD fileOffsetLow, SIZE_T bytesToMap) {
    MappingObject* object = LookupHandle<MappingObject>(mapping);
    if (!object) return FailMapping(ERROR_INVALID_HANDLE);
    if (desiredAccess != FILE_MAP_READ) return FailMapping(ERROR_ACCESS_DENIED);
    const std::uint64_t offset = (static_cast<std::uint64_t>(fileOffsetHigh) << 32) | fileOffsetLow;
    if (offset % kAllocationGranularity != 0) return FailMapping(ERROR_MAPPED_ALIGNMENT);
    if (offset >= object->Size()) return FailMapping(ERROR_ACCESS_DENIED);
    const std::uint64_t length = bytesToMap == 0 ? object->Size() - offset : bytesToMap;
    if (length > object->Size() - offset) return FailMapping(ERROR_ACCESS_DENIED);
    void* view = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, object->Descriptor(),
                        static_cast<off_t>(offset));
    if (view == MAP_FAILED) return FailMapping(ErrorFromErrno(errno));
    ViewTable& views = Views();
    std::lock_guard lock(views.mutex);
    views.lengths[view] = length;
    return view;
}

BOOL UnmapViewOfFile(LPCVOID baseAddress) {
    ViewTable& views = Views();
    std::size_t length = 0;
    {
        std::lock_guard lock(views.mutex);
        auto found = views.lengths.find(baseAddress);
        if (found == views.lengths.end()) return Fail(ERROR_INVALID_ADDRESS);
        length = found->second;
        views.lengths.erase(found);
    }
    ::munmap(const_cast<void*>(baseAddress), length);
    return TRUE;
}
