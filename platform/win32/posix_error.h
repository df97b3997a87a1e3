// Translation of POSIX errno values into Win32 error codes.
#pragma once

#include "platform/win32/winbase.h"

#include <string>

namespace quillmark::win32 {

DWORD ErrorFromErrno(int error);

// Sets the last error from errno and returns FALSE, for failure paths.
BOOL FailWithErrno();

// Sets the last error and returns FALSE.
BOOL Fail(DWORD error);

// A Win32 path as a POSIX path: backslashes become slashes.
std::string PosixPath(LPCSTR path);

}  // namespace quillmark::win32
