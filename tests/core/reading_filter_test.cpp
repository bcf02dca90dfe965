#include "core/reading_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace skarvel {
namespace {

// Three samples are the read's case; the median is general and sorts the set in place.
TEST(ReadingFilter, MedianSortsTheSetAndAnEvenCountTakesTheMiddlePair) {
    const std::pair<std::vector<float>, float> cases[] = {
        {{4, 1, 3, 2}, 2.5f}, {{2, 1}, 1.5f}, {{}, 0}, {{9, -1, 5, 5, 0, -30.5f, 12, 5, 2}, 5}};
    for (auto [set, median] : cases) {
        EXPECT_FLOAT_EQ(Median(set), median);
        EXPECT_TRUE(std::is_sorted(set.begin(), set.end())) << set.size();
    }
}

}  // namespace
}  // namespace skarvel
