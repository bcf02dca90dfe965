#include <gtest/gtest.h>

#include <cmath>

#include "store/date_time.h"
#include "weather.h"

namespace skarvel::sim {
namespace {

TEST(NightSky, StaysInRangeVisitsEverySkyAndChangesSmoothly) {
    const NightSky night(1);
    int clear = 0, passing = 0, overcast = 0, changes = 0;
    bool wasClear = false;
    SkySample last = night.at(0);
    const int steps = 8 * 3600 * 2;  // eight hours of lines at 0.5 s
    for (int i = 1; i <= steps; ++i) {
        const SkySample s = night.at(i * 0.5);
        const double delta = s.sky - s.ambient;
        ASSERT_GE(s.ambient, 4.9) << i;
        ASSERT_LE(s.ambient, 15.1) << i;
        ASSERT_GE(delta, -35.5) << i;
        ASSERT_LE(delta, -4.5) << i;
        ASSERT_LT(std::fabs(s.sky - last.sky), 1.5) << "a jump at step " << i;
        ASSERT_LT(std::fabs(s.ambient - last.ambient), 0.2) << "a jump at step " << i;
        clear += delta < -28;
        overcast += delta > -12;
        passing += delta > -23 && delta < -17;
        if ((delta < -28) != wasClear) ++changes, wasClear = !wasClear;
        last = s;
    }
    EXPECT_GT(clear, steps / 10);
    EXPECT_GT(overcast, steps / 10);
    EXPECT_GT(passing, steps / 100);
    EXPECT_GT(changes, 10) << "the sky should not sit in one state all night";
}

TEST(NightSky, SeedFixesTheNight) {
    const NightSky a(7), b(7), other(8);
    int differ = 0;
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(a.at(i * 3.7).sky, b.at(i * 3.7).sky);
        EXPECT_EQ(a.at(i * 3.7).ambient, b.at(i * 3.7).ambient);
        differ += std::fabs(a.at(i * 3.7).sky - other.at(i * 3.7).sky) > 0.5;
    }
    EXPECT_GT(differ, 500);
}

TEST(HistoricWeather, ColderWinterWarmerAfternoonsClearAndCloudyNights) {
    const HistoricWeather weather(1);
    double january = 0, july = 0, dawn = 0, afternoon = 0;
    int clearNights = 0, cloudyNights = 0;
    for (int day = 0; day < 365; ++day) {
        const LocalTime midnight = addDays(makeTime(2023, 1, 1), day);
        const CivilTime c = toCivil(midnight);
        const double night =
            weather.at(addHours(midnight, 1)).sky - weather.at(addHours(midnight, 1)).ambient;
        clearNights += night < -27;
        cloudyNights += night > -12;
        dawn += weather.at(addHours(midnight, 5)).ambient;
        afternoon += weather.at(addHours(midnight, 15)).ambient;
        for (int h = 0; h < 24; ++h) {
            const double a = weather.at(addHours(midnight, h)).ambient;
            if (c.month == 1) january += a / (31 * 24);
            if (c.month == 7) july += a / (31 * 24);
            ASSERT_GT(a, -30) << day;
            ASSERT_LT(a, 40) << day;
        }
    }
    EXPECT_LT(january + 10, july);
    EXPECT_LT(dawn / 365 + 2, afternoon / 365);
    EXPECT_GT(clearNights, 30);
    EXPECT_GT(cloudyNights, 30);
}

}  // namespace
}  // namespace skarvel::sim
