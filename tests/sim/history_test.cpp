#include "history.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "store/field_reader.h"
#include "store/file_io.h"
#include "store/readings_log.h"
#include "store/value_text.h"

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

TEST(SimHistory, SameSeedGivesTheSameLinesWhateverTheStartingPoint) {
    const auto earlier = makeHistory(3, makeTime(2024, 6, 10, 22, 40), 9);
    const auto later = makeHistory(1, makeTime(2024, 6, 11, 5, 0), 9);
    // 2024_6_10 appears in both; in the later run it is whole.
    ASSERT_EQ(later.front().name, earlier.back().name);
    EXPECT_TRUE(later.front().text.starts_with(earlier.back().text));
    EXPECT_GT(later.front().text.size(), earlier.back().text.size());
    EXPECT_NE(makeHistory(0, makeTime(2024, 6, 10, 22, 40), 10).back().text, earlier.back().text);
}

TEST(SimHistory, WritingReplacesDayFilesWhole) {
    TempDir dir;
    const std::string today = dir.file("2024_3_5.csv");
    TempDir::write(today, "old line that must go\r\n");
    TempDir::write(dir.file("2024_3_1.csv"), "kept\r\n");
    const LocalTime now = makeTime(2024, 3, 5, 10, 14);
    EXPECT_EQ(writeHistory(dir.str(), 2, now, 4), 3);
    EXPECT_EQ(TempDir::read(today), makeHistory(2, now, 4).back().text);
    EXPECT_EQ(TempDir::read(dir.file("2024_3_1.csv")), "kept\r\n");
    EXPECT_EQ(dir.entryCount(), 4u);

    // A folder that is not there yet is made.
    EXPECT_EQ(writeHistory(dir.file("new/demo"), 0, now, 4), 1);
    EXPECT_TRUE(FileExists(dir.file("new/demo/2024_3_5.csv")));
}

}  // namespace
}  // namespace skarvel::sim
