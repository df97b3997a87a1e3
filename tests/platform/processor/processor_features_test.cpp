// Detection against CPUID read here, QUILLMARK_CPU's cap, and taking
// features away and giving them back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

#include "platform/processor/processor_features.h"

namespace quillmark::processor {
namespace {

class ProcessorFeatures : public ::testing::Test {
protected:
    void TearDown() override { Allow(kEveryFeature); }
};

#if defined(__i386__) || defined(__x86_64__)
TEST_F(ProcessorFeatures, DetectionAgreesWithLeafOne) {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    ASSERT_TRUE(__get_cpuid(1, &eax, &ebx, &ecx, &edx));
    EXPECT_EQ((Detected() & kMmx) != 0, ((edx >> 23) & 1) != 0);
    EXPECT_EQ((Detected() & kSse) != 0, ((edx >> 25) & 1) != 0);
    EXPECT_EQ((Detected() & kSse2) != 0, ((edx >> 26) & 1) != 0);
    // AVX2 also needs the AVX registers enabled (leaf 1 ECX bit 27, OSXSAVE).
    unsigned leaf7[4] = {};
    const bool avx2 = __get_cpuid_count(7, 0, &leaf7[0], &leaf7[1], &leaf7[2], &leaf7[3]) &&
                      ((leaf7[1] >> 5) & 1) != 0 && ((ecx >> 27) & 1) != 0;
    if (!avx2) {
        EXPECT_EQ(Detected() & kAvx2, 0u);
    }
    EXPECT_EQ((Detected() & kGather) != 0, (Detected() & kAvx2) != 0);  // gathers come with AVX2
}

TEST_F(ProcessorFeatures, GathersAreLeftOutAtStartUpOnlyOnFamily17h) {
    unsigned eax = 0, vendor[3] = {}, ecx = 0, edx = 0;
    ASSERT_TRUE(__get_cpuid(0, &eax, &vendor[0], &vendor[2], &vendor[1]));
    const std::string name(reinterpret_cast<const char*>(vendor), sizeof vendor);
    ASSERT_TRUE(__get_cpuid(1, &eax, &vendor[0], &ecx, &edx));
    const unsigned family = ((eax >> 8) & 0xF) + ((eax >> 20) & 0xFF);  // base plus extended
    const bool slowGathers = name == "AuthenticAMD" && family == 0x17;
    EXPECT_EQ(Preferred(), slowGathers ? Available() & ~kGather : Available());
}
#endif

TEST_F(ProcessorFeatures, TheCapLimitsWhatIsAvailable) {
    const char* cap = std::getenv(kCapVariable);
    const std::string name = cap ? cap : "";
    if (name == "scalar") {
        EXPECT_EQ(Available(), 0u);
    } else if (name == "sse2") {
        EXPECT_EQ(Available(), Detected() & (kMmx | kSse | kSse2));
    } else {
        EXPECT_EQ(Available(), Detected());
    }
    EXPECT_EQ(Allowed() & ~Available(), 0u);
    EXPECT_EQ(Preferred() & ~Available(), 0u);
}

TEST_F(ProcessorFeatures, DisallowedFeaturesComeBackWithinWhatIsAvailable) {
    Allow(kEveryFeature);
    EXPECT_EQ(Allowed(), Available());
    Disallow(kAvx2 | kMmx);
    EXPECT_FALSE(Allows(kAvx2));
    EXPECT_FALSE(Allows(kMmx));
    EXPECT_EQ(Allowed(), Available() & ~(kAvx2 | kMmx));
    EXPECT_EQ(Allow(kAvx2), (Available() & kAvx2) != 0);
    EXPECT_EQ(Allows(kAvx2), (Available() & kAvx2) != 0);
    EXPECT_FALSE(Allows(kMmx));
    EXPECT_EQ(Allow(kEveryFeature), Available() == kEveryFeature);
    EXPECT_EQ(Allowed(), Available());
}

TEST_F(ProcessorFeatures, AllowsWantsEveryFeatureAsked) {
    Disallow(kEveryFeature);
    EXPECT_TRUE(Allows(0));
    EXPECT_FALSE(Allows(kSse2));
    if (!Allow(kSse2)) GTEST_SKIP() << "no SSE2 here";
    EXPECT_TRUE(Allows(kSse2));
    EXPECT_FALSE(Allows(kSse2 | kAvx2));
}

}  // namespace
}  // namespace quillmark::processor
