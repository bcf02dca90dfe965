#include "history.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <gmock/gmock.h>

#include "fakes/temp_dir.h"
#include "store/field_reader.h"
#include "store/file_io.h"
#include "store/readings_log.h"
#include "store/value_text.h"
#include "weather.h"

namespace skarvel::sim {
namespace {

using testing::TempDir;

TEST(SimHistory, QuarterHourLinesUpToNowThatTheMonitorCanReadBack) {
    const LocalTime now = makeTime(2024, 3, 5, 10, 14);
    const auto files = makeHistory(2, now, 1);
    ASSERT_EQ(files.size(), 3u);
    const int expected[] = {96, 96, 41};  // today: 00:00 to 10:00
    for (std::size_t f = 0; f < files.size(); ++f) {
        const LocalTime day = addDays(makeTime(2024, 3, 3), std::int64_t(f));
        EXPECT_EQ(files[f].name, dayFileName(day));
        const std::string& text = files[f].text;
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), expected[f]);
        FieldReader r(text);
        for (int q = 0; q < expected[f]; ++q) {
            const LocalTime stamp = parseDateTime(r.readText());
            const float ambient = r.readSingle();
            const float sky = r.readSingle();
            const auto late = (stamp - addMinutes(day, q * 15)).count();
            EXPECT_TRUE(late >= 1 && late <= 14 && stamp <= now) << dateTimeText(stamp);
            EXPECT_NEAR(ambient * 10, std::round(ambient * 10), 1e-3) << "one decimal";
            EXPECT_TRUE(sky < ambient - 3 && sky > ambient - 37) << sky << " " << ambient;
        }
        EXPECT_TRUE(r.atEnd());
    }
    // Just after midnight today has no line yet, and no file.
    const auto early = makeHistory(1, makeTime(2024, 1, 1, 0, 0), 1);
    ASSERT_EQ(early.size(), 1u);
    EXPECT_EQ(early[0].name, "2023_12_31.csv");
}

TEST(SimHistory, RefusesToReplaceADayFileUnlessForced) {
    TempDir dir;
    const LocalTime now = makeTime(2024, 3, 5, 10, 14);
    TempDir::write(dir / "2024_3_4.csv", "a real log\r\n");
    TempDir::write(dir / "2024_3_1.csv", "kept\r\n");
    EXPECT_THAT([&] { writeHistory(dir.str(), 2, now, 4, false); },
                ::testing::ThrowsMessage<std::runtime_error>(
                    ::testing::HasSubstr(dir.file("2024_3_4.csv"))));
    EXPECT_EQ(dir.entryCount(), 2u) << "nothing written";
    EXPECT_EQ(TempDir::read(dir / "2024_3_4.csv"), "a real log\r\n");

    EXPECT_EQ(writeHistory(dir.str(), 2, now, 4, true), 3);
    EXPECT_EQ(TempDir::read(dir / "2024_3_5.csv"), makeHistory(2, now, 4).back().text);
    EXPECT_EQ(TempDir::read(dir / "2024_3_1.csv"), "kept\r\n");
    EXPECT_EQ(writeHistory(dir.file("new/demo"), 0, now, 4, false), 1);  // the folder is made
    EXPECT_TRUE(FileExists(dir.file("new/demo/2024_3_5.csv")));
}

TEST(SeasonalWeather, ColderWinterWarmerAfternoonsClearAndCloudyNights) {
    const SeasonalWeather weather(1);
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
