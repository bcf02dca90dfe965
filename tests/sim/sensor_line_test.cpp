#include "sensor_line.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace skarvel::sim {
namespace {

TEST(SensorLine, HasTheSensorsLayout) {
    EXPECT_EQ(sensorLine({-12.34, 21.56}), "S-12.34C:A+21.56C:\r\n");
    // Rounding to hundredths, and the sign on every value, zero and small negatives included.
    EXPECT_EQ(temperatureText(-0.004), "+0.00");
    EXPECT_EQ(temperatureText(-0.006), "-0.01");
    EXPECT_EQ(temperatureText(9.999), "+10.00");
    EXPECT_EQ(temperatureText(0.05), "+0.05");
}

TEST(SensorLine, EveryNthLineBreaksTheRulesInTurn) {
    const SkySample s{-30.5, 8.25};
    const char* const spoilt[] = {"$S-30.50C:A+8.25C:\r\n", "SE-30.50C:A+8.25C:\r\n",
                                  "S-30.50C:E+8.25C:\r\n", "S-30.50C:A+8.25C:"};
    LineSequence lines(3, 1);
    for (int n = 1; n <= 3 * kBadKinds * 40; ++n) {
        const std::string line = lines.next(s);
        const int kind = (n / 3 - 1) % kBadKinds;
        if (n % 3 != 0) {
            EXPECT_EQ(line, sensorLine(s)) << n;
        } else if (kind < 4) {
            EXPECT_EQ(line, spoilt[kind]) << n;
        } else {
            // Line noise: one line, with a byte of 128 or above in it.
            ASSERT_GE(line.size(), 8u);
            EXPECT_EQ(line.find_first_of("\r\n"), line.size() - 2);
            EXPECT_TRUE(line.ends_with("\r\n"));
            EXPECT_TRUE(std::any_of(line.begin(), line.end(), [](char c) { return c & 0x80; }));
        }
    }
}

}  // namespace
}  // namespace skarvel::sim
