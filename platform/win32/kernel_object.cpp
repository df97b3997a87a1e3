#include "platform/win32/kernel_object.h"

#include <mutex>
#include <unordered_map>

namespace quillmark::win32 {
namespace {

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<HANDLE, std::unique_ptr<KernelObject>> objects;
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

}  // namespace

HANDLE RegisterHandle(std::unique_ptr<KernelObject> object) {
    HandleTable& table = Table();
    HANDLE handle = object.get();
    std::lock_guard lock(table.mutex);
    table.objects.emplace(handle, std::move(object));
    return handle;
}

KernelObject* LookupKernelObject(HANDLE handle) {
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    auto found = table.objects.find(handle);
    return found == table.objects.end() ? nullptr : found->second.get();
}

bool ReleaseHandle(HANDLE handle) {
    std::unique_ptr<KernelObject> released;
    HandleTable& table = Table();
    {
        std::lock_guard lock(table.mutex);
        auto found = table.objects.find(handle);
        if (found == table.objects.end()) return false;
        released = std::move(found->second);
        table.objects.erase(found);
    }
    return true;
}

}  // namespace quillmark::win32

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD error) { lastError = error; }
