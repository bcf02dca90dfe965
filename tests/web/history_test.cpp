// The dashboard's history and nights from real day files: ranges, rows, and the nights' sums.
#include <gmock/gmock.h>

#include "fakes/temp_dir.h"
#include "store/readings_log.h"
#include "store/value_text.h"
#include "web/history.h"

namespace skarvel {
namespace {

using namespace std::chrono;

TEST(History, RangesAndTheirRefusals) {
    const local_days dec7{2026y / 12 / 7};
    const std::tuple<const char*, const char*, std::string> rows[] = {
        {"2026-12-07", "2026-12-07", ""},
        {"2025-12-08", "2026-12-08", ""},  // 366 days
        {"2025-12-07", "2026-12-08", "at most 366 days per request"},
        {"2026-12-08", "2026-12-07", "from is after to"},
        {"2026-02-29", "2026-03-01", "from and to must be dates as YYYY-MM-DD"},
        {"2026-12-7", "2026-12-08", "from and to must be dates as YYYY-MM-DD"},
        {"2026/12/07", "2026-12-08", "from and to must be dates as YYYY-MM-DD"},
        {"2026-1/-07", "2026-12-08", "from and to must be dates as YYYY-MM-DD"},
        {"2026-12/07", "2026-12-08", "from and to must be dates as YYYY-MM-DD"},
        {"2019-09-09", "2019-09-19", ""},
        {"", "2026-12-08", "from and to must be dates as YYYY-MM-DD"},
    };
    for (const auto& [from, to, why] : rows) {
        const auto got = parseDayRange(from, to);
        EXPECT_EQ(std::holds_alternative<std::string>(got) ? std::get<std::string>(got) : "", why);
    }
    EXPECT_EQ(std::get<DayRange>(parseDayRange("2026-12-07", "2026-12-08")).from, dec7);
}

// One night, noon to noon, a line every quarter hour: cloudy from 20:00 to 21:00, the 03:00 line
// missing; the night before has no lines at all, the day after only its morning.
TEST(History, NightsAcrossMidnightAndTheRowsOfARange) {
    testing::TempDir dir;
    const LocalTime noon = makeTime(2026, 12, 7, 12, 0, 0);
    // Not readings, each in its place, and the first line's stamp again: none is a line, and
    // the lines after them stand.
    std::map<std::string, std::string> files = {
        {dayFileName(noon),
         "12/7/2026 12:01:00 PM,x,1\r\n12/7/2026 12:02:00 PM,5,x\r\n"
         "12/7/2026 12:03:00 PM,1e999,5\r\n12/7/2026 12:04:00 PM,5,1e999\r\n"
         "12/7/2026 12:15:00 PM,5,-19.96\r\n"}};
    for (int q = 1; q <= 96; ++q) {
        const LocalTime t = noon + minutes(15 * q);
        if (t == makeTime(2026, 12, 8, 3, 0, 0)) continue;
        const bool cloudy = t >= makeTime(2026, 12, 7, 20) && t <= makeTime(2026, 12, 7, 21);
        // The first line is 24.96 °C under the air: -25.0 to a tenth, so CLEAR.
        files[dayFileName(t)] += dateTimeText(t) + (cloudy   ? ",5,-15\r\n"
                                                    : q == 1 ? ",5,-19.96\r\n"
                                                             : ",5,-25\r\n");
    }
    for (const auto& [name, text] : files) testing::TempDir::write(dir / name, text);
    HistoryRules rules;
    rules.model.learned = true, rules.model.c = -30;  // 14.29 % at -25, 42.86 % at -15
    const DayRange nights{local_days{2026y / 12 / 6}, local_days{2026y / 12 / 8}};
    const auto lines = readHistory(dir.folder(), nights, rules);
    ASSERT_EQ(lines.size(), 95u);
    EXPECT_EQ(nightsJson(summarizeNights(lines, nights)),
              "[{\"evening\":\"2026-12-08\",\"lines\":0,\"hoursSafe\":0,\"longestSafeHours\":0,"
              "\"changes\":0,\"meanCover\":null},{\"evening\":\"2026-12-07\",\"lines\":95,"
              "\"hoursSafe\":22.5,\"longestSafeHours\":9,\"changes\":2,\"meanCover\":15.94},"
              "{\"evening\":\"2026-12-06\",\"lines\":0,\"hoursSafe\":0,\"longestSafeHours\":0,"
              "\"changes\":0,\"meanCover\":null}]");
    // The morning summary's night reads its own two day files.
    EXPECT_EQ(nightsJson({readNight(dir.folder(), local_days{2026y / 12 / 7}, rules)}),
              nightsJson({summarizeNights(lines, nights)[1]}));
    const DayRange two{local_days{2026y / 12 / 7}, local_days{2026y / 12 / 8}};
    EXPECT_THAT(
        historyJson(lines, two),
        ::testing::StartsWith("{\"from\":\"2026-12-07\",\"to\":\"2026-12-08\",\"daily\":"
                              "false,\"rows\":[[\"2026-12-07T12:15:00\",5,-19.96,28.69,1],"));
    EXPECT_THAT(historyJson(lines, two),
                ::testing::HasSubstr("[\"2026-12-07T20:00:00\",5,-15,42.86,0],"));
    EXPECT_THAT(historyJson(lines, {local_days{2026y / 12 / 1}, local_days{2026y / 12 / 10}}),
                ::testing::HasSubstr("\"daily\":false"));
    // Eleven days are daily rows: sky, ambient (min, mean, max), the mean cover, hours safe.
    EXPECT_EQ(historyJson(lines, {local_days{2026y / 12 / 1}, local_days{2026y / 12 / 11}}),
              "{\"from\":\"2026-12-01\",\"to\":\"2026-12-11\",\"daily\":true,\"rows\":["
              "[\"2026-12-07\",-25,-23.83,-15,5,5,5,17.63,10.5],"
              "[\"2026-12-08\",-25,-25,-25,5,5,5,14.29,12]]}");
    // 15.0 and 23.0 °C under the air are CLOUDY, 37.0 is CLEAR; all safe from V.CLOUDY on,
    // with staleSeconds=0 too. The day's row: its lowest ambient first, its highest last.
    testing::TempDir::write(dir / "2026_12_9.csv",
                            "12/9/2026 1:00:00 AM,5,-10\r\n12/9/2026 1:15:00 AM,5,-18\r\n"
                            "12/9/2026 1:30:00 AM,7,-30\r\n");
    const DayRange dec9{local_days{2026y / 12 / 9}, local_days{2026y / 12 / 9}},
        eleven{local_days{2026y / 12 / 1}, local_days{2026y / 12 / 11}};
    const auto safe = [&] {
        return std::ranges::count(readHistory(dir.folder(), dec9, rules), true, &HistoryLine::safe);
    };
    EXPECT_EQ(safe(), 1);
    EXPECT_THAT(historyJson(readHistory(dir.folder(), eleven, rules), eleven),
                ::testing::HasSubstr("[\"2026-12-09\",-30,-19.33,-10,5,5.67,7,"));
    rules.settings.unsafeFrom = "V.CLOUDY", rules.settings.staleSeconds = 0;
    EXPECT_EQ(safe(), 3);
    // A safe stretch starts after an unsafe line and holds across 20 minutes, not 20.5.
    const LocalTime at = makeTime(2026, 12, 9, 22);
    const Night night = summarizeNights({{at, 5, -30, {}, false},
                                         {at + 15min, 5, -30, {}, true},
                                         {at + 35min, 5, -30, {}, true},
                                         {at + 55min + 30s, 5, -30, {}, true}},
                                        dec9)[0];
    EXPECT_EQ(std::tuple(night.lines, night.changes, night.hoursSafe, night.longestSafeHours),
              std::tuple(4, 1, 0.75, 0.5));
}

}  // namespace
}  // namespace skarvel
