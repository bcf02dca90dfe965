#include "core/reading_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

namespace skarvel {
namespace {

TEST(ReadingFilter, MedianOfThreeIgnoresOneWildSampleAndSortsTheSet) {
    struct Case {
        std::array<float, 3> samples;
        float median;
    };
    const Case cases[] = {
        {{-20.1f, -20.3f, -19.8f}, -20.1f}, {{21.0f, 21.0f, 23.5f}, 21.0f},
        {{-20.1f, 15.0f, -20.2f}, -20.1f},  {{3.0f, 2.0f, 1.0f}, 2.0f},
        {{-7.5f, -7.5f, -7.5f}, -7.5f},
    };
    for (auto c : cases) {
        EXPECT_FLOAT_EQ(Median(c.samples), c.median);
        EXPECT_TRUE(std::is_sorted(c.samples.begin(), c.samples.end()));
    }
}

TEST(ReadingFilter, EvenCountTakesTheMeanOfTheMiddlePair) {
    std::vector<float> four{4, 1, 3, 2};
    EXPECT_FLOAT_EQ(Median(four), 2.5f);
    EXPECT_EQ(four, (std::vector<float>{1, 2, 3, 4}));
}

TEST(ReadingFilter, ShellSortHandlesLongerSetsAndDuplicates) {
    std::vector<float> set{9, -1, 5, 5, 0, -30.5f, 12, 5, 2};
    std::vector<float> expected = set;
    std::sort(expected.begin(), expected.end());
    ShellSort(set);
    EXPECT_EQ(set, expected);
    std::vector<float> empty;
    EXPECT_FLOAT_EQ(Median(empty), 0.0f);
}

}  // namespace
}  // namespace skarvel
