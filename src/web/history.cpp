#include "web/history.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "automation/safety_verdict.h"
#include "store/field_reader.h"
#include "store/readings_log.h"
#include "store/value_text.h"

namespace skarvel {

namespace {

using namespace std::chrono;

std::optional<local_days> parseDay(std::string_view s) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return std::nullopt;
    int part[3] = {0, 0, 0};
    for (std::size_t i = 0, p = 0; i < s.size(); ++i) {
        if (i == 4 || i == 7) {
            ++p;
        } else if (s[i] >= '0' && s[i] <= '9') {
            part[p] = part[p] * 10 + (s[i] - '0');
        } else {
            return std::nullopt;
        }
    }
    const year_month_day ymd{year(part[0]), month(unsigned(part[1])), day(unsigned(part[2]))};
    if (!ymd.ok()) return std::nullopt;
    return local_days(ymd);
}

std::string dayText(local_days d) {
    const year_month_day ymd{d};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", int(ymd.year()), unsigned(ymd.month()),
                  unsigned(ymd.day()));
    return text;
}

/// Two decimals at most, no trailing zeros: the log holds tenths.
std::string number(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string out = text;
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out == "-0" ? "0" : out;
}

std::string number(std::optional<double> value) {
    return value ? number(*value) : "null";
}

std::string classify(float difference, const HistoryRules& r) {
    if (difference > r.vCloudyThreshold) return "V.CLOUDY";
    if (difference > r.cloudyThreshold) return "CLOUDY";
    return "CLEAR";
}

/// The next line follows on within a quarter hour and the few seconds a cycle may lag.
bool follows(const HistoryLine& before, const HistoryLine& after) {
    return after.time - before.time <= minutes(20);
}

}  // namespace

std::variant<DayRange, std::string> parseDayRange(std::string_view from, std::string_view to) {
    const auto a = parseDay(from), b = parseDay(to);
    if (!a || !b) return "from and to must be dates as YYYY-MM-DD";
    if (*a > *b) return "from is after to";
    if ((*b - *a).count() + 1 > kMaxHistoryDays)
        return "at most " + std::to_string(kMaxHistoryDays) + " days per request";
    return DayRange{*a, *b};
}

std::vector<HistoryLine> readHistory(const std::string& folder, DayRange range,
                                     const HistoryRules& rules) {
    std::vector<HistoryLine> lines;
    for (local_days d = range.from; d <= range.to; d += days(1)) {
        // The file's name is made from the date, never from what a request said.
        const LocalTime day{d};
        try {
            FieldReader reader = FieldReader::fromFile(folder + dayFileName(day));
            while (!reader.atEnd()) {
                HistoryLine line;
                try {
                    // A bad date, or a line cut off at the end: only that line is lost.
                    const std::string when = reader.readText();
                    const FieldValue ambient = reader.readValue(), sky = reader.readValue();
                    if (!ambient.numeric || !sky.numeric) continue;
                    line.time = parseDateTime(when);
                    line.ambient = ambient.number, line.sky = sky.number;
                } catch (const std::exception&) {
                    continue;
                }
                if (floor<days>(line.time) != day) continue;
                float difference = std::round(float(line.sky - line.ambient) * 10) / 10;
                difference = std::min(difference, 0.0f);
                line.cover = cloudCover(rules.model, line.ambient, line.sky);
                line.safe = unsafeReason({true, classify(difference, rules), 0, difference,
                                          rules.cloudyThreshold, rules.vCloudyThreshold, line.cover,
                                          rules.model.learned},
                                         rules.settings)
                                .empty();
                if (!lines.empty() && line.time <= lines.back().time) continue;
                lines.push_back(line);
            }
        } catch (const std::exception&) {
            // No file for the day.
        }
    }
    return lines;
}

std::vector<Night> summarizeNights(const std::vector<HistoryLine>& lines, DayRange evenings) {
    std::vector<Night> nights;
    for (local_days e = evenings.to; e >= evenings.from; e -= days(1)) {
        Night night;
        night.evening = e;
        const LocalTime noon = LocalTime(e) + hours(12), next = noon + hours(24);
        const auto first =
            std::lower_bound(lines.begin(), lines.end(), noon,
                             [](const HistoryLine& l, LocalTime t) { return l.time <= t; });
        double coverSum = 0;
        int covers = 0, stretch = 0, longest = 0;
        for (auto it = first; it != lines.end() && it->time <= next; ++it) {
            ++night.lines;
            const bool joined = it != first && follows(*(it - 1), *it);
            if (it != first && (it - 1)->safe != it->safe) ++night.changes;
            stretch = it->safe ? (joined ? stretch : 0) + 1 : 0;
            longest = std::max(longest, stretch);
            night.hoursSafe += it->safe ? 0.25 : 0;
            if (it->cover) coverSum += *it->cover, ++covers;
        }
        night.longestSafeHours = longest * 0.25;
        if (covers) night.meanCover = coverSum / covers;
        nights.push_back(night);
    }
    return nights;
}

Night readNight(const std::string& folder, local_days evening, const HistoryRules& rules) {
    return summarizeNights(readHistory(folder, {evening, evening + days(1)}, rules),
                           {evening, evening})
        .front();
}

std::string historyJson(const std::vector<HistoryLine>& lines, DayRange range) {
    const bool daily = (range.to - range.from).count() + 1 > kMaxLineDays;
    std::string out = "{\"from\":\"" + dayText(range.from) + "\",\"to\":\"" + dayText(range.to) +
                      "\",\"daily\":" + (daily ? "true" : "false") + ",\"rows\":[";
    const auto row = [&](const std::string& fields) {
        out += (out.back() == '[' ? "[" : ",[") + fields + "]";
    };
    if (!daily) {
        // [time, ambient, sky, cover, safe]
        for (const HistoryLine& l : lines) {
            const CivilTime c = toCivil(l.time);
            char when[24];
            std::snprintf(when, sizeof when, "\"%04d-%02d-%02dT%02d:%02d:%02d\"", c.year, c.month,
                          c.day, c.hour, c.minute, c.second);
            row(std::string(when) + "," + number(l.ambient) + "," + number(l.sky) + "," +
                (l.cover ? number(double(*l.cover)) : "null") + "," + (l.safe ? "1" : "0"));
        }
        return out + "]}";
    }
    // [day, sky min, mean, max, ambient min, mean, max, mean cover, hours safe]
    for (auto it = lines.begin(); it != lines.end();) {
        const local_days d = floor<days>(it->time);
        double sky[3] = {it->sky, 0, it->sky}, air[3] = {it->ambient, 0, it->ambient};
        double coverSum = 0, safe = 0;
        int n = 0, covers = 0;
        for (; it != lines.end() && floor<days>(it->time) == d; ++it, ++n) {
            sky[0] = std::min(sky[0], it->sky), sky[1] += it->sky;
            sky[2] = std::max(sky[2], it->sky);
            air[0] = std::min(air[0], it->ambient), air[1] += it->ambient;
            air[2] = std::max(air[2], it->ambient);
            if (it->cover) coverSum += *it->cover, ++covers;
            safe += it->safe ? 0.25 : 0;
        }
        row("\"" + dayText(d) + "\"," + number(sky[0]) + "," + number(sky[1] / n) + "," +
            number(sky[2]) + "," + number(air[0]) + "," + number(air[1] / n) + "," +
            number(air[2]) + "," +
            number(covers ? std::optional(coverSum / covers) : std::nullopt) + "," + number(safe));
    }
    return out + "]}";
}

std::string nightsJson(const std::vector<Night>& nights) {
    std::string out = "[";
    for (const Night& n : nights)
        out += std::string(out.size() > 1 ? "," : "") + "{\"evening\":\"" + dayText(n.evening) +
               "\",\"lines\":" + std::to_string(n.lines) + ",\"hoursSafe\":" + number(n.hoursSafe) +
               ",\"longestSafeHours\":" + number(n.longestSafeHours) +
               ",\"changes\":" + std::to_string(n.changes) +
               ",\"meanCover\":" + number(n.meanCover) + "}";
    return out + "]";
}

}  // namespace skarvel
