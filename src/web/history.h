#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "automation/automation_state.h"
#include "store/date_time.h"

namespace skarvel {

/// One quarter-hour line of the log with what the dashboard shows of it.
struct HistoryLine {
    LocalTime time{};
    double ambient = 0, sky = 0;
    std::optional<float> cover;
    bool safe = false;
};

/// Days, both ends included.
struct DayRange {
    std::chrono::local_days from, to;
};

/// The history's rules.
inline constexpr int kMaxHistoryDays = 366;
/// Up to this many days the lines are given as they are; beyond, a row per day.
inline constexpr int kMaxLineDays = 10;
inline constexpr int kNights = 14;

/// "YYYY-MM-DD" to "YYYY-MM-DD", no more than kMaxHistoryDays; otherwise why not, in one line.
std::variant<DayRange, std::string> parseDayRange(std::string_view from, std::string_view to);

/// What a line is judged by: the thresholds it is classified with, the verdict's rule, the clear
/// sky the cover is measured from.
struct HistoryRules {
    float cloudyThreshold = -25, vCloudyThreshold = -15;
    AutomationSettings settings;
    SkyModel model;
};

/// The log's lines of `range`, oldest first, from the day files in `folder` (ending with the
/// separator); a day without a file has none, a file that breaks off gives what it held.
std::vector<HistoryLine> readHistory(const std::string& folder, DayRange range,
                                     const HistoryRules& rules);

/// One night, noon to noon local time, as the dashboard's table and the morning summary tell it.
struct Night {
    std::chrono::local_days evening;  ///< the date at its noon
    int lines = 0;
    double hoursSafe = 0;
    double longestSafeHours = 0;
    /// How often the verdict turned, safe to unsafe or back.
    int changes = 0;
    std::optional<double> meanCover;
};

/// The nights whose evening lies in `evenings`, newest first, from lines in time order. A line
/// stands for the quarter hour it ends; a stretch of safe lines breaks where one is missing.
std::vector<Night> summarizeNights(const std::vector<HistoryLine>& lines, DayRange evenings);

/// The night whose evening is `evening`, from the day files in `folder`.
Night readNight(const std::string& folder, std::chrono::local_days evening,
                const HistoryRules& rules);

/// `/history.json` of `range`: {"from","to","daily",...,"rows":[...]}; the lines as they are
/// up to kMaxLineDays, one min/mean/max row per day beyond.
std::string historyJson(const std::vector<HistoryLine>& lines, DayRange range);
/// `/nights.json`: the kNights nights before `now`, newest first.
std::string nightsJson(const std::vector<Night>& nights);

}  // namespace skarvel
