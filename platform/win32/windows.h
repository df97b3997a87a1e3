// The Win32 interface of this system: include this header for every Win32
// name (kernel, registry, windows, messages and dialogs).
#pragma once

#include "wintypes.h"
#include "winbase.h"
