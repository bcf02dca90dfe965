#pragma once

#include <chrono>
#include <cstdint>

namespace skarvel {

/// Local wall-clock time to the second, as the desktop clock reports it. Arithmetic on it is
/// plain calendar arithmetic (no time-zone shifts), as the log and the graphs expect.
using LocalTime = std::chrono::local_seconds;

struct CivilTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

CivilTime toCivil(LocalTime t);
/// Throws VbError 13 when the fields do not name a real date and time.
LocalTime fromCivil(const CivilTime& c);
LocalTime makeTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

LocalTime addHours(LocalTime t, std::int64_t hours);
LocalTime addMinutes(LocalTime t, std::int64_t minutes);
LocalTime addDays(LocalTime t, std::int64_t days);

/// Minute boundaries crossed going from `from` to `to`: positive when `from` is earlier.
std::int64_t minuteBoundaries(LocalTime from, LocalTime to);

}  // namespace skarvel
