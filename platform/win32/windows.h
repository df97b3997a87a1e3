// The Win32 interface of this system: include this header for every Win32
// name (kernel, registry, windows, messages and dialogs); commctrl.h and
// commdlg.h add the common controls and the file dialog.
#pragma once

#include "wintypes.h"
#include "winbase.h"
#include "winuser.h"
