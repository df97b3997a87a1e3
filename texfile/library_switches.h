// The library's registry switches (REG_DWORD values under
// HKEY_LOCAL_MACHINE "Software\Quillmark\Direct3D"), the debug-runtime mute
// bracket, the MMX availability check, and library start-up. Caches are process-wide and
// filled on first use, without locking.
#pragma once

#include "platform/win32/windows.h"

namespace quillmark {

inline constexpr const char* kLibrarySwitchKey = "Software\\Quillmark\\Direct3D";

// Reads one switch; 1 when the value exists and has the expected type, else 0.
// The data buffer may have been written even when 0 is returned.
int ReadLibrarySwitch(DWORD expectedType, const char* valueName, void* data, DWORD* dataSize);

// mute = 1 silences the debug runtime around calls expected to fail, 0 lets
// it speak again. Does nothing unless a debug runtime module is loaded.
void MuteDebugRuntime(int mute);

// 1 when MMX code paths may be used, else 0. "DisableMMX" is consulted on
// every call and, once seen non-zero, turns MMX off for the process.
int IsMmxEnabled();

// Library start-up: when IsMmxEnabled says 0, takes MMX out of the features
// the vector paths may use (processor_features.h), so box halving keeps to
// its scalar form and the JPEG reader to its integer transform. The program
// calls it once before any texture work.
void StartTextureLibrary();

namespace testing {
// Forgets every cached switch value, as at process start.
void ResetLibrarySwitchCaches();
}  // namespace testing

}  // namespace quillmark
