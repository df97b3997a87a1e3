// The Win32 interface of this system: include this header for every Win32
// name (kernel, registry, windows, messages and dialogs); commctrl.h and
// commdlg.h add the common controls and the file dialog.
#pragma once

#include "platform/win32/wintypes.h"
#include "platform/win32/winbase.h"
#include "platform/win32/winuser.h"
