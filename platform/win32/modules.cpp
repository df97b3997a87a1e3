// Module lookup. The program is the only module: its instance handle answers
// GetModuleHandleA(null), it exports nothing, and no library can be loaded,
// so lookups of optional libraries find nothing.
#include "platform/win32/winbase.h"

namespace {

HMODULE ProgramModule() {
    static int module;
    return reinterpret_cast<HMODULE>(&module);
}

}  // namespace

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    if (!moduleName) return ProgramModule();
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

HMODULE LoadLibraryA(LPCSTR fileName) {
    SetLastError(fileName ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR) {
    SetLastError(module == ProgramModule() ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_HANDLE);
    return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
    if (module == ProgramModule()) return TRUE;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
