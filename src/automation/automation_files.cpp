#include "automation/automation_files.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace skarvel {

namespace {

std::string padded(std::string text, std::size_t width, char fill = ' ') {
    if (text.size() < width) text.insert(0, width - text.size(), fill);
    return text;
}

/// printf's "%W.Pf" without the locale (Qt sets the user's, which may use a comma).
std::string fixed(double value, int precision, std::size_t width, char fill = ' ') {
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, value + 0.0, std::chars_format::fixed, precision);
    return padded(std::string(buf, res.ptr), width, fill);
}

/// A temperature in its 6 columns; beyond them the manual's saturation values.
std::string temperature(double value) {
    if (!(value >= -999.0)) value = -999.0;  // NaN too
    if (value > 999.0) value = 999.0;
    return fixed(value, 1, 6);
}

std::string twoDigits(int n) {
    return padded(std::to_string(n), 2, '0');
}

}  // namespace

std::string jsonEscaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

std::string utcText(std::chrono::sys_seconds utc) {
    using namespace std::chrono;
    const auto day = floor<days>(utc);
    const year_month_day date{day};
    const hh_mm_ss<seconds> time{utc - day};
    return std::to_string(int(date.year())) + "-" + twoDigits(int(unsigned(date.month()))) + "-" +
           twoDigits(int(unsigned(date.day()))) + "T" + twoDigits(int(time.hours().count())) + ":" +
           twoDigits(int(time.minutes().count())) + ":" + twoDigits(int(time.seconds().count())) +
           "Z";
}

std::string safetyJsonText(const Verdict& verdict, std::chrono::sys_seconds utc) {
    return "{\"timestamp_utc\":\"" + utcText(utc) +
           "\",\"roof_status\":{\"open_ok\":" + (verdict.safe ? "1" : "0") + ",\"reasons\":\"" +
           jsonEscaped(verdict.reason) + "\"}}\n";
}

std::string boltwoodText(const AutomationState& s, const AutomationSettings& settings,
                         std::int64_t ageSeconds, LocalTime now) {
    const CivilTime c = toCivil(now);
    const bool fresh = s.linkOpen && s.haveReading && ageSeconds <= settings.staleSeconds;
    char cloud = '0';
    const char* states[] = {"CLEAR", "CLOUDY", "V.CLOUDY"};
    for (int i = 0; i < 3 && fresh; ++i) {
        if (s.state == states[i]) cloud = char('1' + i);
    }
    const std::int64_t since =
        s.haveReading ? std::clamp<std::int64_t>(ageSeconds, 0, 99999) : 99999;
    const std::chrono::local_days epoch{std::chrono::year(1899) / 12 / 30};
    const double vbNow = double((now - epoch).count()) / 86400.0;
    const char alert = s.verdict.safe ? '0' : '1';
    std::string line = padded(std::to_string(c.year), 4, '0') + "-" + twoDigits(c.month) + "-" +
                       twoDigits(c.day) + " " + twoDigits(c.hour) + ":" + twoDigits(c.minute) +
                       ":" + twoDigits(c.second) + ".00 C K ";
    line += temperature(s.difference) + " " + temperature(s.ambient) + " " +
            temperature(s.ambient) + " " + fixed(0.0, 1, 6) + "   0 " + fixed(-99.9, 1, 6) +
            "   0 0 0 " + padded(std::to_string(since), 5, '0') + " " + fixed(vbNow, 5, 12, '0') +
            " " + cloud + " 0 0 0 " + alert + " " + alert + "\n";
    return line;
}

}  // namespace skarvel
