// SHBrowseForFolderA: the backend shows the folder dialog (or, headless,
// answers it with a queued folder). The item list it returns holds the
// folder's path in one item.
#include "platform/win32/backend_impl.h"
#include "platform/win32/shlobj.h"

#include <cstdlib>
#include <cstring>

using namespace quillmark::win32;

PIDLIST_ABSOLUTE SHBrowseForFolderA(LPBROWSEINFOA info) {
    if (!info) return nullptr;
    std::string path;
    if (!ActiveBackend().ChooseFolder(info->hwndOwner, info->lpszTitle ? info->lpszTitle : "Browse For Folder", path))
        return nullptr;
    const std::size_t itemSize = sizeof(WORD) + path.size() + 1;
    if (itemSize > 0xFFFF) return nullptr;
    auto* bytes = static_cast<BYTE*>(std::calloc(1, itemSize + sizeof(WORD)));  // a zero cb ends the list
    if (!bytes) return nullptr;
    const WORD cb = static_cast<WORD>(itemSize);
    std::memcpy(bytes, &cb, sizeof cb);
    std::memcpy(bytes + sizeof cb, path.c_str(), path.size() + 1);
    if (info->pszDisplayName) {
        const std::size_t slash = path.find_last_of('/');
        const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1).substr(0, MAX_PATH - 1);
        std::memcpy(info->pszDisplayName, name.c_str(), name.size() + 1);
    }
    return reinterpret_cast<PIDLIST_ABSOLUTE>(bytes);
}

BOOL SHGetPathFromIDListA(PCIDLIST_ABSOLUTE list, LPSTR path) {
    if (!list || !path) return FALSE;
    WORD cb = 0;
    std::memcpy(&cb, list, sizeof cb);
    if (cb <= sizeof cb) return FALSE;
    const char* text = reinterpret_cast<const char*>(list) + sizeof cb;
    const std::size_t length = std::strlen(text);
    if (length + 1 > MAX_PATH) return FALSE;
    std::memcpy(path, text, length + 1);
    return TRUE;
}

void CoTaskMemFree(void* memory) { std::free(memory); }
