// Registry reads. The only key is HKEY_LOCAL_MACHINE "Software\Quillmark\Direct3D"
// (names compared without regard to case, as the registry does). Its value
// "Name" comes from the environment variable QUILLMARK_REG_Name: a decimal or
// 0x-hexadecimal number that fits 32 bits reads as REG_DWORD, any other text
// as REG_SZ; an unset variable is a missing value.
#include "platform/win32/winbase.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

namespace {

HKEY LibraryKey() {
    static int key;
    return reinterpret_cast<HKEY>(&key);
}

bool ParseNumber(const char* text, DWORD& value) {
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = hex ? text + 2 : text;
    if (*digits == '\0') return false;
    std::uint64_t result = 0;
    for (const char* p = digits; *p; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9') digit = *p - '0';
        else if (hex && *p >= 'a' && *p <= 'f') digit = *p - 'a' + 10;
        else if (hex && *p >= 'A' && *p <= 'F') digit = *p - 'A' + 10;
        else return false;
        result = result * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (result > 0xFFFFFFFFull) return false;
    }
    value = static_cast<DWORD>(result);
    return true;
}

LONG CopyValue(const void* bytes, DWORD size, LPBYTE data, LPDWORD dataSize) {
    if (!dataSize) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    const DWORD room = *dataSize;
    *dataSize = size;
    if (!data) return ERROR_SUCCESS;
    if (room < size) return ERROR_MORE_DATA;
    std::memcpy(data, bytes, size);
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    if (key != HKEY_LOCAL_MACHINE && key != LibraryKey()) return ERROR_INVALID_HANDLE;
    if (!subKey || *subKey == '\0') {
        *result = key;
        return ERROR_SUCCESS;
    }
    if (key == HKEY_LOCAL_MACHINE && strcasecmp(subKey, "Software\\Quillmark\\Direct3D") == 0) {
        *result = LibraryKey();
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                      LPBYTE data, LPDWORD dataSize) {
    if (reserved) return ERROR_INVALID_PARAMETER;
    if (key == HKEY_LOCAL_MACHINE) return ERROR_FILE_NOT_FOUND;
    if (key != LibraryKey()) return ERROR_INVALID_HANDLE;
    if (!valueName || *valueName == '\0') return ERROR_FILE_NOT_FOUND;
    const std::string variable = std::string("QUILLMARK_REG_") + valueName;
    const char* text = std::getenv(variable.c_str());
    if (!text) return ERROR_FILE_NOT_FOUND;
    DWORD number = 0;
    if (ParseNumber(text, number)) {
        if (type) *type = REG_DWORD;
        return CopyValue(&number, sizeof number, data, dataSize);
    }
    if (type) *type = REG_SZ;
    return CopyValue(text, static_cast<DWORD>(std::strlen(text) + 1), data, dataSize);
}

LONG RegCloseKey(HKEY key) {
    return key == HKEY_LOCAL_MACHINE || key == LibraryKey() ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
