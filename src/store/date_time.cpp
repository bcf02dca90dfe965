#include "store/date_time.h"

#include "store/vb_error.h"

namespace skarvel {

using namespace std::chrono;

CivilTime toCivil(LocalTime t) {
    const auto day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss hms{t - day};
    return CivilTime{
        int(ymd.year()),          int(unsigned(ymd.month())), int(unsigned(ymd.day())),
        int(hms.hours().count()), int(hms.minutes().count()), int(hms.seconds().count())};
}

LocalTime fromCivil(const CivilTime& c) {
    const year_month_day ymd{year{c.year}, month{unsigned(c.month)}, day{unsigned(c.day)}};
    if (c.year < 100 || c.year > 9999 || !ymd.ok() || c.hour < 0 || c.hour > 23 || c.minute < 0 ||
        c.minute > 59 || c.second < 0 || c.second > 59) {
        throw vbError(err::kTypeMismatch);
    }
    return local_days{ymd} + hours{c.hour} + minutes{c.minute} + seconds{c.second};
}

LocalTime makeTime(int y, int mo, int d, int h, int mi, int s) {
    return fromCivil(CivilTime{y, mo, d, h, mi, s});
}

LocalTime addHours(LocalTime t, std::int64_t n) {
    return t + hours{n};
}
LocalTime addMinutes(LocalTime t, std::int64_t n) {
    return t + minutes{n};
}
LocalTime addDays(LocalTime t, std::int64_t n) {
    return t + days{n};
}

std::int64_t minuteBoundaries(LocalTime from, LocalTime to) {
    return (floor<minutes>(to) - floor<minutes>(from)).count();
}

}  // namespace skarvel
