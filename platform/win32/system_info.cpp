// Processor facts from CPUID, page size and processor count from the system.
#include "platform/win32/system_override.h"

#include <map>
#include <optional>
#include <unistd.h>
#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

struct Registers {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};

// CPUID leaf, or zeros where the processor does not have it.
Registers Cpuid(unsigned leaf) {
    Registers r;
#if defined(__i386__) || defined(__x86_64__)
    if (!__get_cpuid(leaf, &r.eax, &r.ebx, &r.ecx, &r.edx)) r = Registers{};
#else
    (void)leaf;
#endif
    return r;
}

bool IsX86() {
#if defined(__i386__) || defined(__x86_64__)
    return true;
#else
    return false;
#endif
}

std::optional<SYSTEM_INFO>& SystemInfoOverride() {
    static std::optional<SYSTEM_INFO> info;
    return info;
}

std::map<DWORD, bool>& FeatureOverrides() {
    static std::map<DWORD, bool> features;
    return features;
}

void FillProcessor(SYSTEM_INFO& info) {
    if (!IsX86()) {
        info.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM64;
        return;
    }
    info.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    const unsigned signature = Cpuid(1).eax;
    unsigned family = (signature >> 8) & 0xF;
    unsigned model = (signature >> 4) & 0xF;
    if (family == 0xF) family += (signature >> 20) & 0xFF;
    if (family == 0x6 || family >= 0xF) model |= ((signature >> 16) & 0xF) << 4;
    info.wProcessorLevel = static_cast<WORD>(family);
    info.wProcessorRevision = static_cast<WORD>((model << 8) | (signature & 0xF));
    info.dwProcessorType = family >= 5 ? PROCESSOR_INTEL_PENTIUM
                           : family == 4 ? PROCESSOR_INTEL_486
                                         : PROCESSOR_INTEL_386;
}

bool FeatureFromProcessor(DWORD feature) {
    if (!IsX86()) return false;
    const Registers basic = Cpuid(1);
    switch (feature) {
    case PF_COMPARE_EXCHANGE_DOUBLE: return basic.edx & (1u << 8);
    case PF_RDTSC_INSTRUCTION_AVAILABLE: return basic.edx & (1u << 4);
    case PF_MMX_INSTRUCTIONS_AVAILABLE: return basic.edx & (1u << 23);
    case PF_XMMI_INSTRUCTIONS_AVAILABLE: return basic.edx & (1u << 25);
    case PF_XMMI64_INSTRUCTIONS_AVAILABLE: return basic.edx & (1u << 26);
    case PF_SSE3_INSTRUCTIONS_AVAILABLE: return basic.ecx & 1u;
    case PF_3DNOW_INSTRUCTIONS_AVAILABLE:
        return Cpuid(0x80000000).eax >= 0x80000001 && (Cpuid(0x80000001).edx & (1u << 31));
    default: return false;
    }
}

}  // namespace

namespace quillmark::win32 {

void OverrideSystemInfo(const SYSTEM_INFO* info) {
    if (info) SystemInfoOverride() = *info;
    else SystemInfoOverride().reset();
}

void OverrideProcessorFeature(DWORD feature, bool present) { FeatureOverrides()[feature] = present; }

void ClearProcessorFeatureOverrides() { FeatureOverrides().clear(); }

}  // namespace quillmark::win32

void GetSystemInfo(LPSYSTEM_INFO info) {
    if (!info) return;
    if (SystemInfoOverride()) {
        *info = *SystemInfoOverride();
        return;
    }
    *info = SYSTEM_INFO{};
    FillProcessor(*info);
    const long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
    info->dwNumberOfProcessors = processors > 0 ? static_cast<DWORD>(processors) : 1;
    info->dwActiveProcessorMask =
        info->dwNumberOfProcessors >= 8 * sizeof(DWORD_PTR)
            ? ~DWORD_PTR{0}
            : (DWORD_PTR{1} << info->dwNumberOfProcessors) - 1;
    info->dwPageSize = static_cast<DWORD>(::sysconf(_SC_PAGESIZE));
    info->dwAllocationGranularity = 65536;
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(std::uintptr_t{0x10000});
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(~std::uintptr_t{0} >> 17);
}

BOOL IsProcessorFeaturePresent(DWORD feature) {
    auto found = FeatureOverrides().find(feature);
    if (found != FeatureOverrides().end()) return found->second;
    return FeatureFromProcessor(feature);
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 2600;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->szCSDVersion[0] = '\0';
    return TRUE;
}
