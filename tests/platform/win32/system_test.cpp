#include "platform/win32/system_override.h"
#include "platform/win32/windows.h"

#include <chrono>
#include <ctime>
#include <gtest/gtest.h>
#include <thread>
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

TEST(Modules, OnlyTheProgramIsLoaded) {
    HMODULE self = GetModuleHandleA(nullptr);
    EXPECT_NE(self, nullptr);
    EXPECT_EQ(GetModuleHandleA(nullptr), self);
    EXPECT_EQ(GetModuleHandleA("d3d9.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryA("d3d9d.dll"), nullptr);
    EXPECT_EQ(GetProcAddress(self, "DebugSetMute"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(self));
    EXPECT_FALSE(FreeLibrary(nullptr));
}

#if defined(__x86_64__) || defined(__i386__)
TEST(SystemInfo, ReportsIntelArchitectureAndCpuidFamily) {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
    unsigned eax, ebx, ecx, edx;
    ASSERT_TRUE(__get_cpuid(1, &eax, &ebx, &ecx, &edx));
    unsigned family = (eax >> 8) & 0xF;
    if (family == 0xF) family += (eax >> 20) & 0xFF;
    EXPECT_EQ(info.wProcessorLevel, family);
    EXPECT_GE(info.wProcessorLevel, 5);
    EXPECT_EQ(info.dwProcessorType, static_cast<DWORD>(PROCESSOR_INTEL_PENTIUM));
    EXPECT_EQ(info.dwAllocationGranularity, 65536u);
    EXPECT_GE(info.dwNumberOfProcessors, 1u);
    EXPECT_GT(info.dwPageSize, 0u);

    EXPECT_EQ(IsProcessorFeaturePresent(PF_MMX_INSTRUCTIONS_AVAILABLE) != 0, (edx >> 23) & 1);
    EXPECT_EQ(IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0, (edx >> 25) & 1);
    EXPECT_EQ(IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0, (edx >> 26) & 1);
    EXPECT_FALSE(IsProcessorFeaturePresent(9999));
}
#endif

TEST(SystemInfo, OverridesReplaceTheRealFacts) {
    SYSTEM_INFO old486{};
    old486.wProcessorArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    old486.wProcessorLevel = 4;
    quillmark::win32::OverrideSystemInfo(&old486);
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    EXPECT_EQ(info.wProcessorLevel, 4);
    quillmark::win32::OverrideSystemInfo(nullptr);
    GetSystemInfo(&info);
    EXPECT_NE(info.dwPageSize, 0u);

    const BOOL real = IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE);
    quillmark::win32::OverrideProcessorFeature(PF_3DNOW_INSTRUCTIONS_AVAILABLE, !real);
    EXPECT_EQ(IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE) != 0, !real);
    quillmark::win32::ClearProcessorFeatureOverrides();
    EXPECT_EQ(IsProcessorFeaturePresent(PF_3DNOW_INSTRUCTIONS_AVAILABLE), real);
}

TEST(Time, TickCountAdvancesInMilliseconds) {
    const DWORD before = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const DWORD elapsed = GetTickCount() - before;
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(Time, LocalTimeMatchesTheCalendar) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    EXPECT_EQ(now.wYear, local.tm_year + 1900);
    EXPECT_EQ(now.wMonth, local.tm_mon + 1);
    EXPECT_GE(now.wDay, 1);
    EXPECT_LE(now.wDay, 31);
    EXPECT_LT(now.wDayOfWeek, 7);
    EXPECT_LT(now.wHour, 24);
    EXPECT_LT(now.wMilliseconds, 1000);
}

TEST(Version, ReportsTheNtFamily) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    info.dwOSVersionInfoSize = 4;
    EXPECT_FALSE(GetVersionExA(&info));
}

}  // namespace
