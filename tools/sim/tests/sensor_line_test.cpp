#include <gtest/gtest.h>

#include <string>

#include "sensor_line.h"

namespace skarvel::sim {
namespace {

TEST(SensorLine, HasTheSensorsLayout) {
    EXPECT_EQ(sensorLine({-12.34, 21.56}), "S-12.34C:A+21.56C:\r\n");
    // Rounding to hundredths, and the sign on every value, zero and small negatives included.
    EXPECT_EQ(temperatureText(0.0), "+0.00");
    EXPECT_EQ(temperatureText(-0.004), "+0.00");
    EXPECT_EQ(temperatureText(-0.006), "-0.01");
    EXPECT_EQ(temperatureText(9.999), "+10.00");
    EXPECT_EQ(temperatureText(0.05), "+0.05");
}

TEST(SensorLine, BadLinesBreakTheRuleTheyAreMeantTo) {
    const SkySample s{-30.5, 8.25};
    Rng rng(3);
    EXPECT_EQ(badLine(BadKind::kDollar, s, rng), "$S-30.50C:A+8.25C:\r\n");
    EXPECT_EQ(badLine(BadKind::kSkyError, s, rng), "SE-30.50C:A+8.25C:\r\n");
    EXPECT_EQ(badLine(BadKind::kAmbientError, s, rng), "S-30.50C:E+8.25C:\r\n");
    EXPECT_EQ(badLine(BadKind::kNoLineEnd, s, rng), "S-30.50C:A+8.25C:");
    for (int i = 0; i < 50; ++i) {
        const std::string garbage = badLine(BadKind::kGarbage, s, rng);
        ASSERT_GE(garbage.size(), 8u);
        EXPECT_TRUE(garbage.ends_with("\r\n"));
        EXPECT_EQ(garbage.find_first_of("\r\n"), garbage.size() - 2);
        bool high = false;
        for (unsigned char c : garbage) high = high || c >= 128;
        EXPECT_TRUE(high) << "garbage without a byte of 128 or above";
    }
}

TEST(SensorLine, SequenceSpoilsEveryNthLineCyclingThroughTheKinds) {
    const SkySample s{-20, 10};
    const std::string good = sensorLine(s);
    LineSequence lines(3, 1);
    for (int n = 1; n <= 18; ++n) {
        const std::string line = lines.next(s);
        if (n % 3 != 0) {
            EXPECT_EQ(line, good) << "line " << n;
            continue;
        }
        EXPECT_NE(line, good) << "line " << n;
        const int kind = (n / 3 - 1) % kBadKinds;
        switch (kind) {
            case 0:
                EXPECT_EQ(line[0], '$');
                break;
            case 1:
                EXPECT_EQ(line.substr(0, 2), "SE");
                break;
            case 2:
                EXPECT_EQ(line[line.find(':') + 1], 'E');
                break;
            case 3:
                EXPECT_FALSE(line.ends_with("\r\n"));
                break;
            default:
                EXPECT_TRUE(line.ends_with("\r\n"));  // garbage, checked above
        }
    }
}

}  // namespace
}  // namespace skarvel::sim
