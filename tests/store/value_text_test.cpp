#include "store/value_text.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

namespace skarvel {
namespace {

// A reading cut to one decimal must come back as the very same float; a mean of many readings
// needs more digits than the text keeps and comes back to the seventh significant digit.
TEST(ValueText, NumbersRoundTrip) {
    EXPECT_EQ(singleText(-4.0f), "-4");
    EXPECT_EQ(singleText(0.5f), "0.5");
    EXPECT_EQ(singleText(-23.4333333f), "-23.43333");
    EXPECT_EQ(singleText(-0.0f), "0");
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> tenths(-600, 600), reading(-450, 50);
    for (int i = 0; i < 5000; ++i) {
        const float t = float(tenths(rng)) / 10.0f;
        ASSERT_EQ(parseSingle(singleText(t)), t) << singleText(t);
    }
    for (int i = 0; i < 2000; ++i) {
        float sum = 0;
        const int count = 1 + int(rng() % 120);
        for (int k = 0; k < count; ++k) sum += float(reading(rng)) / 10.0f;
        const float mean = sum / float(count);
        const std::string text = singleText(mean);
        ASSERT_LE(text.size(), 10u) << text;
        ASSERT_NEAR(parseSingle(text), mean, std::fabs(mean) * 1e-6 + 1e-9) << text;
    }
}

TEST(ValueText, DateTimesRoundTripToTheSecond) {
    const LocalTime day = makeTime(2008, 12, 1);
    for (int s = 0; s < 86400; s += 37) {
        const LocalTime t = day + std::chrono::seconds(s);
        ASSERT_EQ(parseDateTime(dateTimeText(t)), t) << dateTimeText(t);
    }
    const struct {
        LocalTime t;
        const char* text;
    } fixed[] = {
        {makeTime(2008, 12, 1), "12/1/2008"},
        {makeTime(2008, 12, 1, 0, 0, 1), "12/1/2008 12:00:01 AM"},
        {makeTime(2008, 12, 1, 11, 59, 59), "12/1/2008 11:59:59 AM"},
        {makeTime(2008, 12, 1, 12, 0, 0), "12/1/2008 12:00:00 PM"},
        {makeTime(2008, 3, 5, 21, 39, 5), "3/5/2008 9:39:05 PM"},
        {makeTime(2024, 2, 29, 13, 0, 0), "2/29/2024 1:00:00 PM"},
    };
    for (const auto& f : fixed) {
        EXPECT_EQ(dateTimeText(f.t), f.text);
        EXPECT_EQ(parseDateTime(f.text), f.t) << f.text;
    }
}

}  // namespace
}  // namespace skarvel
