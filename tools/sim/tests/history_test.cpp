#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "history.h"
#include "store/date_time.h"
#include "store/file_io.h"
#include "store/value_text.h"

namespace skarvel::sim {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2) {
        lines.push_back(text.substr(from, end - from));
    }
    EXPECT_EQ(from, text.size()) << "text after the last CR LF";
    return lines;
}

TEST(History, QuarterHourLinesUpToNowThatTheMonitorCanReadBack) {
    const LocalTime now = makeTime(2024, 3, 5, 10, 14);
    const auto files = makeHistory(2, now, 1);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].name, "2024_3_3.csv");
    EXPECT_EQ(files[1].name, "2024_3_4.csv");
    EXPECT_EQ(files[2].name, "2024_3_5.csv");

    const std::size_t expected[] = {96, 96, 41};  // today: 00:00 to 10:00
    for (std::size_t f = 0; f < files.size(); ++f) {
        const auto lines = splitLines(files[f].text);
        ASSERT_EQ(lines.size(), expected[f]) << files[f].name;
        const LocalTime day = addDays(makeTime(2024, 3, 3), std::int64_t(f));
        for (std::size_t q = 0; q < lines.size(); ++q) {
            const std::string& line = lines[q];
            const auto c1 = line.find(',');
            const auto c2 = line.find(',', c1 + 1);
            ASSERT_NE(c2, std::string::npos) << line;
            ASSERT_EQ(line.find(',', c2 + 1), std::string::npos) << line;
            const LocalTime stamp = parseDateTime(line.substr(0, c1));
            const auto late = stamp - addMinutes(day, std::int64_t(q) * 15);
            EXPECT_GE(late.count(), 1) << line;
            EXPECT_LE(late.count(), 14) << line;
            EXPECT_LE(stamp, now);
            const float ambient = parseSingle(line.substr(c1 + 1, c2 - c1 - 1));
            const float sky = parseSingle(line.substr(c2 + 1));
            EXPECT_NEAR(ambient * 10, std::round(ambient * 10), 1e-3) << "one decimal: " << line;
            EXPECT_LT(sky, ambient - 3) << line;
            EXPECT_GT(sky, ambient - 37) << line;
        }
    }
}

TEST(History, SameSeedGivesTheSameLinesWhateverTheStartingPoint) {
    const auto earlier = makeHistory(3, makeTime(2024, 6, 10, 22, 40), 9);
    const auto later = makeHistory(1, makeTime(2024, 6, 11, 5, 0), 9);
    // 2024_6_10 appears in both, whole; the later run's first day is the earlier run's last.
    ASSERT_EQ(later.front().name, earlier.back().name);
    const auto& whole = later.front().text;
    const auto& part = earlier.back().text;
    EXPECT_TRUE(whole.starts_with(part));
    EXPECT_GT(whole.size(), part.size());
    EXPECT_NE(makeHistory(0, makeTime(2024, 6, 10, 22, 40), 10).back().text, part);
}

TEST(History, MidnightGivesNoEmptyFileForToday) {
    const auto files = makeHistory(1, makeTime(2024, 1, 1, 0, 0), 1);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, "2023_12_31.csv");
}

TEST(History, WritingReplacesDayFilesWholeAndRepeatsExactly) {
    const fs::path folder = fs::temp_directory_path() / ("sim_history_" + std::to_string(getpid()));
    fs::remove_all(folder);
    const fs::path today = folder / "2024_3_5.csv";
    const fs::path untouched = folder / "2024_3_1.csv";
    fs::create_directories(folder);
    writeFileAtomic(today.string(), "old line that must go\r\n");
    writeFileAtomic(untouched.string(), "kept\r\n");

    const LocalTime now = makeTime(2024, 3, 5, 10, 14);
    EXPECT_EQ(writeHistory(folder.string(), 2, now, 4), 3);
    const std::string first = readWholeFile(today.string());
    EXPECT_EQ(first, makeHistory(2, now, 4).back().text);
    EXPECT_EQ(writeHistory(folder.string(), 2, now, 4), 3);
    EXPECT_EQ(readWholeFile(today.string()), first);
    EXPECT_EQ(readWholeFile(untouched.string()), "kept\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 4);

    // A folder that is not there yet is made.
    const fs::path fresh = folder / "new" / "demo";
    EXPECT_EQ(writeHistory(fresh.string(), 0, now, 4), 1);
    EXPECT_TRUE(fs::exists(fresh / "2024_3_5.csv"));
    fs::remove_all(folder);
}

}  // namespace
}  // namespace skarvel::sim
