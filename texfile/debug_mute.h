// Silences the debug runtime for the lifetime of the guard, around calls that
// are expected to fail on some devices.
#pragma once

#include "texfile/library_switches.h"

namespace quillmark {

class DebugMute {
public:
    DebugMute() { MuteDebugRuntime(1); }
    ~DebugMute() { MuteDebugRuntime(0); }
    DebugMute(const DebugMute&) = delete;
    DebugMute& operator=(const DebugMute&) = delete;
};

}  // namespace quillmark
