// LinearTaps and FilterWeights against hand-worked tables and their
// invariants.
#include <gtest/gtest.h>

#include "pixel/resample.h"

namespace quillmark {
namespace {

TEST(LinearTaps, TwoToFourWrapping) {
    const LinearTaps taps(2, 4, true);
    ASSERT_EQ(taps.Size(), 4u);
    // Destination 0 blends source 1 (wrapped) and source 0.
    EXPECT_EQ(taps[0].lower, 1u);
    EXPECT_FLOAT_EQ(taps[0].lowerWeight, 0.25f);
    EXPECT_EQ(taps[0].upper, 0u);
    EXPECT_FLOAT_EQ(taps[0].upperWeight, 0.75f);
    EXPECT_EQ(taps[1].lower, 0u);
    EXPECT_FLOAT_EQ(taps[1].lowerWeight, 0.75f);
    EXPECT_EQ(taps[1].upper, 1u);
    EXPECT_EQ(taps[3].lower, 1u);
    EXPECT_FLOAT_EQ(taps[3].lowerWeight, 0.75f);
    EXPECT_EQ(taps[3].upper, 0u);  // wrapped
}

TEST(LinearTaps, TwoToFourMirrored) {
    const LinearTaps taps(2, 4, false);
    EXPECT_EQ(taps[0].lower, 0u);
    EXPECT_EQ(taps[0].upper, 0u);
    EXPECT_EQ(taps[3].lower, 1u);
    EXPECT_EQ(taps[3].upper, 1u);
}

TEST(LinearTaps, HalvingTakesBothTexelsEqually) {
    const LinearTaps taps(4, 2, true);
    EXPECT_EQ(taps[0].lower, 0u);
    EXPECT_EQ(taps[0].upper, 1u);
    EXPECT_FLOAT_EQ(taps[0].lowerWeight, 0.5f);
    EXPECT_EQ(taps[1].lower, 2u);
    EXPECT_EQ(taps[1].upper, 3u);
}

TEST(FilterWeights, TwoToOneGivesHalfEach) {
    for (bool wrap : {false, true}) {
        const FilterWeights weights(2, 1, wrap);
        for (UINT i = 0; i < 2; ++i) {
            ASSERT_EQ(weights.Of(i).size(), 1u) << wrap;
            EXPECT_EQ(weights.Of(i)[0].destination, 0u);
            EXPECT_FLOAT_EQ(weights.Of(i)[0].weight, 0.5f);
        }
        EXPECT_EQ(weights.ContributorCounts()[0], 2u);
    }
}

// 2 -> 4 without wrap, worked by hand with b = 2: the rising half of
// source 0 is the flat edge half, clipped to [0, 1): weight 1 to
// destination 0. Its falling half covers [1, 3): midpoints 1.5 and 2.5 are
// t = 0.25 and 0.75 along it, giving 0.75 to destination 1 and 0.25 to 2.
TEST(FilterWeights, UpsamplingByHand) {
    const FilterWeights weights(2, 4, false);
    auto w0 = weights.Of(0);
    ASSERT_EQ(w0.size(), 3u);
    EXPECT_EQ(w0[0].destination, 0u);
    EXPECT_FLOAT_EQ(w0[0].weight, 1.0f);
    EXPECT_EQ(w0[1].destination, 1u);
    EXPECT_FLOAT_EQ(w0[1].weight, 0.75f);
    EXPECT_EQ(w0[2].destination, 2u);
    EXPECT_FLOAT_EQ(w0[2].weight, 0.25f);
}

// Every destination index lies in [0, n) and receives weights adding up to
// one, with and without wrap, whatever the sizes.
TEST(FilterWeights, IndicesStayInsideAndWeightsSumToOne) {
    for (UINT a : {1u, 2u, 3u, 5u, 7u, 16u, 33u}) {
        for (UINT n : {1u, 2u, 3u, 4u, 9u, 16u, 40u}) {
            for (bool wrap : {false, true}) {
                const FilterWeights weights(a, n, wrap);
                std::vector<double> sums(n, 0.0);
                std::vector<UINT> counts(n, 0);
                for (UINT i = 0; i < a; ++i) {
                    for (const FilterWeight& w : weights.Of(i)) {
                        ASSERT_LT(w.destination, n) << a << "->" << n << " wrap " << wrap;
                        EXPECT_GT(w.weight, 0.00001f);
                        sums[w.destination] += w.weight;
                        ++counts[w.destination];
                    }
                }
                for (UINT j = 0; j < n; ++j) {
                    EXPECT_NEAR(sums[j], 1.0, 1e-4) << a << "->" << n << " wrap " << wrap << " at " << j;
                    EXPECT_EQ(counts[j], weights.ContributorCounts()[j]);
                }
            }
        }
    }
}

}  // namespace
}  // namespace quillmark
