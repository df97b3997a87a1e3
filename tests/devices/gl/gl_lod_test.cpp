// The λ meter on llvmpipe: it takes the level from the short axis of the
// footprint whatever the maximum anisotropy, so its measured maps at 2x and
// 16x are the same, and its error against the ideal is largest at 2x.
#include "app/batch/batch_command.h"
#include "app/batch/batch_runner.h"
#include "gl_fixture.h"
#include "app/batch/lod_command.h"
#include "app/batch/settings_flags.h"

namespace quillmark {
namespace {

batch::LodMeasurement MeasureOn(const std::string& device, const std::string& anisotropy) {
    batch::BatchSettings settings;
    std::string error;
    EXPECT_TRUE(SelectDevice(device, &error)) << error;
    EXPECT_TRUE(batch::ParseSettingsFlags({"--min-filter", "anisotropic", "--anisotropy", anisotropy}, &settings,
                                          &error))
        << error;
    batch::LodMeasurement lod;
    EXPECT_EQ(batch::RunOnHeadlessProbe(settings,
                                        [&](Probe& probe) {
                                            return batch::MeasureLod(probe, &lod, &error) ? 0 : 1;
                                        }),
              0)
        << error;
    return lod;
}

TEST(GlLod, LlvmpipeMeasuresTheSameAtTwoAndSixteenTimesAndErrsMostAtTwo) {
    QUILLMARK_REQUIRE_GL("llvmpipe");
    const batch::LodMeasurement two = MeasureOn("llvmpipe", "2"), sixteen = MeasureOn("llvmpipe", "16");
    ASSERT_EQ(two.maps.measured.size(), sixteen.maps.measured.size());
    std::size_t different = 0, covered = 0;
    for (std::size_t p = 0; p < two.maps.measured.size(); ++p) {
        covered += two.maps.measured[p].covered;
        different += two.maps.measured[p].covered != sixteen.maps.measured[p].covered ||
                     two.maps.measured[p].lambda != sixteen.maps.measured[p].lambda;
    }
    EXPECT_GT(covered, 100000u);
    EXPECT_EQ(different, 0u);
    ASSERT_TRUE(two.figures.meanAbsError && sixteen.figures.meanAbsError);
    EXPECT_GT(*two.figures.meanAbsError, *sixteen.figures.meanAbsError);
    EXPECT_LT(*two.figures.meanError, 0.0);  // finer than the rule: the short axis instead of the long one over 2
}

}  // namespace
}  // namespace quillmark
