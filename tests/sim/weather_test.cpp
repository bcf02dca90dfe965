#include "weather.h"

#include <cmath>

#include <gtest/gtest.h>

namespace skarvel::sim {
namespace {

TEST(NightSky, StaysInRangeVisitsEverySkyChangesSmoothlyAndFollowsItsSeed) {
    const NightSky night(1), same(1), other(8);
    int clear = 0, passing = 0, overcast = 0, changes = 0, differ = 0;
    SkySample last = night.at(0);
    const int steps = 8 * 3600 * 2;  // eight hours of lines at 0.5 s
    for (int i = 1; i <= steps; ++i) {
        const SkySample s = night.at(i * 0.5);
        const double delta = s.sky - s.ambient;
        ASSERT_TRUE(s.ambient >= 4.9 && s.ambient <= 15.1 && delta >= -35.5 && delta <= -4.5) << i;
        ASSERT_TRUE(std::fabs(s.sky - last.sky) < 1.5 && std::fabs(s.ambient - last.ambient) < 0.2)
            << "a jump at step " << i;
        ASSERT_EQ(same.at(i * 0.5).sky, s.sky);
        differ += std::fabs(other.at(i * 0.5).sky - s.sky) > 0.5;
        clear += delta < -28;
        overcast += delta > -12;
        passing += delta > -23 && delta < -17;
        changes += (delta < -28) != (last.sky - last.ambient < -28);
        last = s;
    }
    EXPECT_GT(clear, steps / 10);
    EXPECT_GT(overcast, steps / 10);
    EXPECT_GT(passing, steps / 100);
    EXPECT_GT(changes, 10) << "the sky should not sit in one state all night";
    EXPECT_GT(differ, steps / 2);
}

TEST(HistoricWeather, ColderWinterWarmerAfternoonsClearAndCloudyNights) {
    const HistoricWeather weather(1);
    double january = 0, july = 0, dawn = 0, afternoon = 0;
    int clearNights = 0, cloudyNights = 0;
    for (int day = 0; day < 365; ++day) {
        const LocalTime midnight = addDays(makeTime(2023, 1, 1), day);
        const int month = toCivil(midnight).month;
        const SkySample night = weather.at(addHours(midnight, 1));
        clearNights += night.sky - night.ambient < -27;
        cloudyNights += night.sky - night.ambient > -12;
        dawn += weather.at(addHours(midnight, 5)).ambient;
        afternoon += weather.at(addHours(midnight, 15)).ambient;
        for (int h = 0; h < 24; ++h) {
            const double a = weather.at(addHours(midnight, h)).ambient;
            ASSERT_TRUE(a > -30 && a < 40) << day;
            if (month == 1) january += a;
            if (month == 7) july += a;
        }
    }
    EXPECT_LT(january + 10 * 31 * 24, july);  // both months have 31 days
    EXPECT_LT(dawn + 2 * 365, afternoon);
    EXPECT_GT(clearNights, 30);
    EXPECT_GT(cloudyNights, 30);
}

}  // namespace
}  // namespace skarvel::sim
