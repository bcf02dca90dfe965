#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/date_time.h"

namespace skarvel::sim {

struct DayFile {
    std::string name;  ///< "2024_3_5.csv"
    std::string text;  ///< its lines, as the monitor would have logged them
};

/// The log of `days` whole days before the day of `now` and of that day up to `now`: a line
/// each quarter hour, stamped a few seconds after the quarter like the monitor's own lines. A
/// day without any line yet (now just after midnight) is left out. The same seed gives the
/// same line for the same quarter hour, whatever `now` is.
std::vector<DayFile> makeHistory(int days, LocalTime now, std::uint64_t seed);

/// Writes makeHistory's files into `folder` (created when missing). A day file already there
/// may hold real logs: unless `replace`, nothing is written and std::runtime_error names it;
/// with `replace` each is replaced whole. Returns the number of files. Throws VbError or
/// std::filesystem_error too.
int writeHistory(const std::string& folder, int days, LocalTime now, std::uint64_t seed,
                 bool replace);

}  // namespace skarvel::sim
