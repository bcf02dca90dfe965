#include "core/reading_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace skarvel {
namespace {

// The median sorts the set in place; an even count takes the mean of the middle pair.
TEST(ReadingFilter, MedianSortsTheSetAndIgnoresOneWildSample) {
    const std::pair<std::vector<float>, float> cases[] = {{{-20.1f, 15.0f, -20.2f}, -20.1f},
                                                          {{3, 2, 1}, 2},
                                                          {{-7.5f, -7.5f, -7.5f}, -7.5f},
                                                          {{4, 1, 3, 2}, 2.5f},
                                                          {{2, 1}, 1.5f},
                                                          {{}, 0},
                                                          {{9, -1, 5, 5, 0, -30.5f, 12, 5, 2}, 5}};
    for (auto [set, median] : cases) {
        EXPECT_FLOAT_EQ(Median(set), median);
        EXPECT_TRUE(std::is_sorted(set.begin(), set.end())) << set.size();
    }
    std::vector<float> pair{2, 1};
    ShellSort(pair);
    EXPECT_EQ(pair, (std::vector<float>{1, 2}));
}

}  // namespace
}  // namespace skarvel
