// MessageBoxA and GetOpenFileNameA: the backend shows them (or, headless,
// answers them as headless_dialogs.h describes).
#include "platform/win32/backend_impl.h"
#include "platform/win32/commdlg.h"

#include <cstring>

using namespace quillmark::win32;

namespace {

thread_local DWORD g_dialogError = 0;

BOOL FailDialog(DWORD error) {
    g_dialogError = error;
    return FALSE;
}

void CopyName(const std::string& path, OPENFILENAMEA& request) {
    std::memcpy(request.lpstrFile, path.c_str(), path.size() + 1);
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot >= nameStart;
    request.nFileOffset = static_cast<WORD>(nameStart);
    // Without an extension the offset is that of the terminating zero.
    request.nFileExtension = static_cast<WORD>(hasExtension ? dot + 1 : path.size());
    if (request.lpstrFileTitle && request.nMaxFileTitle > 0) {
        const std::string name = path.substr(nameStart).substr(0, request.nMaxFileTitle - 1);
        std::memcpy(request.lpstrFileTitle, name.c_str(), name.size() + 1);
    }
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    return ActiveBackend().ShowMessageBox(owner, text ? text : "", caption ? caption : "Error", type);
}

BOOL GetOpenFileNameA(LPOPENFILENAMEA request) {
    if (!request || request->lStructSize != sizeof(OPENFILENAMEA)) return FailDialog(CDERR_STRUCTSIZE);
    if (!request->lpstrFile || request->nMaxFile == 0) return FailDialog(CDERR_INITIALIZATION);
    std::string path;
    if (!ActiveBackend().ChooseFileToOpen(request->hwndOwner, request->lpstrTitle ? request->lpstrTitle : "Open",
                                          path))
        return FailDialog(0);
    if (path.size() + 1 > request->nMaxFile) {
        if (request->nMaxFile >= 2) {
            const WORD needed = static_cast<WORD>(std::min<std::size_t>(path.size() + 1, 0xFFFF));
            std::memcpy(request->lpstrFile, &needed, sizeof needed);
        }
        return FailDialog(FNERR_BUFFERTOOSMALL);
    }
    CopyName(path, *request);
    g_dialogError = 0;
    return TRUE;
}

DWORD CommDlgExtendedError() { return g_dialogError; }
