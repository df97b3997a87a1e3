// Registry switches, the debug mute and the MMX check.
#include "texfile/library_switches.h"

#include "pixel/conversion_job.h"
#include "platform/processor/processor_features.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace quillmark {
namespace {

class LibrarySwitches : public ::testing::Test {
protected:
    void SetUp() override { testing::ResetLibrarySwitchCaches(); }
    void TearDown() override {
        for (const char* name : {"QUILLMARK_REG_DisableMMX", "QUILLMARK_REG_TexLibDoNotMute", "QUILLMARK_REG_Probe"})
            unsetenv(name);
        testing::ResetLibrarySwitchCaches();
    }
};

TEST_F(LibrarySwitches, ReadsDecimalAndHexDwords) {
    DWORD value = 0, size = sizeof(value);
    setenv("QUILLMARK_REG_Probe", "42", 1);
    EXPECT_EQ(ReadLibrarySwitch(REG_DWORD, "Probe", &value, &size), 1);
    EXPECT_EQ(value, 42u);
    setenv("QUILLMARK_REG_Probe", "0x1F", 1);
    size = sizeof(value);
    EXPECT_EQ(ReadLibrarySwitch(REG_DWORD, "Probe", &value, &size), 1);
    EXPECT_EQ(value, 0x1Fu);
}

TEST_F(LibrarySwitches, TextAndAbsenceReadAsNothing) {
    DWORD value = 0, size = sizeof(value);
    EXPECT_EQ(ReadLibrarySwitch(REG_DWORD, "Probe", &value, &size), 0);
    setenv("QUILLMARK_REG_Probe", "yes", 1);
    size = sizeof(value);
    EXPECT_EQ(ReadLibrarySwitch(REG_DWORD, "Probe", &value, &size), 0);
}

TEST_F(LibrarySwitches, DisableMmxTurnsMmxOffForGood) {
    const int initial = IsMmxEnabled();
#if defined(__x86_64__) || defined(__i386__)
    EXPECT_EQ(initial, 1);
#endif
    setenv("QUILLMARK_REG_DisableMMX", "1", 1);
    EXPECT_EQ(IsMmxEnabled(), 0);
    unsetenv("QUILLMARK_REG_DisableMMX");
    EXPECT_EQ(IsMmxEnabled(), 0);  // the cached state stays off
}

TEST_F(LibrarySwitches, DisableMmxZeroOrTextLeavesMmxOn) {
    setenv("QUILLMARK_REG_DisableMMX", "0", 1);
    const int withZero = IsMmxEnabled();
    setenv("QUILLMARK_REG_DisableMMX", "on", 1);
    EXPECT_EQ(IsMmxEnabled(), withZero);
#if defined(__x86_64__) || defined(__i386__)
    EXPECT_EQ(withZero, 1);
#endif
}

TEST_F(LibrarySwitches, StartUpTakesMmxAwayWhenTheSwitchSaysSo) {
    if (!processor::Allow(processor::kMmx)) GTEST_SKIP() << "MMX is not available here";
    StartTextureLibrary();
    EXPECT_TRUE(BoxVectorPathEnabled());
    setenv("QUILLMARK_REG_DisableMMX", "1", 1);
    StartTextureLibrary();
    EXPECT_FALSE(processor::Allows(processor::kMmx));
    EXPECT_FALSE(BoxVectorPathEnabled());
    EXPECT_TRUE(processor::Allow(processor::kMmx));
}

}  // namespace
}  // namespace quillmark
