#include "texfile/library_switches.h"

#include "imagecodec/image_codec.h"
#include "platform/processor/processor_features.h"

namespace quillmark {
namespace {

using DebugSetMuteEntry = void (*)(DWORD);

struct SwitchCaches {
    DebugSetMuteEntry releaseMute = nullptr;  // from "d3d9.dll"
    DebugSetMuteEntry debugMute = nullptr;    // from "d3d9d.dll"
    int doNotMute = -1;                       // "TexLibDoNotMute": -1 unread, 0 or 1
    int mmx = -1;                             // -1 undetermined, 0 or 1
};

SwitchCaches& Caches() {
    static SwitchCaches caches;
    return caches;
}

// Looks up "DebugSetMute" in a module only when it is already loaded.
DebugSetMuteEntry FindLoadedMuteEntry(const char* moduleName) {
    if (!GetModuleHandleA(moduleName)) return nullptr;
    HMODULE module = LoadLibraryA(moduleName);
    if (!module) return nullptr;
    // void (*)() is the generic function pointer type: casting through it is warning-free.
    return reinterpret_cast<DebugSetMuteEntry>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DebugSetMute")));
}

bool MmxSwitchedOff() {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kLibrarySwitchKey, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LONG status = RegQueryValueExA(key, "DisableMMX", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value) && value != 0;
}

int DetectMmx() {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    if (info.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL || info.wProcessorLevel < 5) return 0;
    return (processor::Detected() & processor::kMmx) != 0 ? 1 : 0;
}

}  // namespace

int ReadLibrarySwitch(DWORD expectedType, const char* valueName, void* data, DWORD* dataSize) {
    HKEY key = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kLibrarySwitchKey, &key) != ERROR_SUCCESS) return 0;
    DWORD type = 0;
    const LONG status = RegQueryValueExA(key, valueName, nullptr, &type, static_cast<BYTE*>(data), dataSize);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == expectedType ? 1 : 0;
}

void MuteDebugRuntime(int mute) {
    SwitchCaches& caches = Caches();
    if (!caches.releaseMute && !caches.debugMute) {
        caches.releaseMute = FindLoadedMuteEntry("d3d9.dll");
        caches.debugMute = FindLoadedMuteEntry("d3d9d.dll");
    }
    if (caches.doNotMute == -1) {
        DWORD value = 0;
        DWORD size = sizeof(value);
        if (!ReadLibrarySwitch(REG_DWORD, "TexLibDoNotMute", &value, &size)) value = 0;
        caches.doNotMute = value != 0 ? 1 : 0;
    }
    if (caches.doNotMute == 1) return;
    if (caches.releaseMute) caches.releaseMute(static_cast<DWORD>(mute));
    if (caches.debugMute) caches.debugMute(static_cast<DWORD>(mute));
}

int IsMmxEnabled() {
    SwitchCaches& caches = Caches();
    if (MmxSwitchedOff()) {
        caches.mmx = 0;
        return 0;
    }
    if (caches.mmx == -1) caches.mmx = DetectMmx();
    return caches.mmx;
}

void StartTextureLibrary() {
    if (IsMmxEnabled() == 0) processor::Disallow(processor::kMmx);
}

namespace testing {
void ResetLibrarySwitchCaches() { Caches() = SwitchCaches{}; }
}  // namespace testing

}  // namespace quillmark
