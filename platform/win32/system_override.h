// Test switches for the processor facts, so code that branches on the
// processor can be tried on processors other than the one it runs on.
#pragma once

#include "platform/win32/winbase.h"

namespace quillmark::win32 {

// GetSystemInfo reports *info from now on; null restores the real facts.
void OverrideSystemInfo(const SYSTEM_INFO* info);

// IsProcessorFeaturePresent(feature) answers `present` from now on.
void OverrideProcessorFeature(DWORD feature, bool present);

// Every feature answers from the processor again.
void ClearProcessorFeatureOverrides();

}  // namespace quillmark::win32
