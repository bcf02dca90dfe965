#include <algorithm>
#include <cstdio>
#include <ctime>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "history.h"
#include "live_sensor.h"
#include "options.h"
#include "store/date_time.h"
#include "store/vb_error.h"

namespace {

skarvel::LocalTime localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return skarvel::makeTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                             std::min(tm.tm_sec, 59));
}

}  // namespace

int main(int argc, char** argv) {
    using namespace skarvel::sim;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedOptions parsed = parseOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "skarvel-sensor-sim: %s\nTry skarvel-sensor-sim --help.\n",
                     parsed.error.c_str());
        return 2;
    }
    const Options& o = parsed.options;
    const skarvel::LocalTime now = o.now.value_or(localNow());
    try {
        switch (o.mode) {
            case Mode::kHelp:
                std::fputs(helpText().c_str(), stdout);
                return 0;
            case Mode::kHistory: {
                int files = 0;
                try {
                    files = writeHistory(o.folder, o.historyDays, now, o.seed, o.force);
                } catch (const skarvel::VbError& e) {
                    std::fprintf(stderr,
                                 "skarvel-sensor-sim: cannot write into %s: error %d (%s)\n",
                                 o.folder.c_str(), e.number(), e.description().c_str());
                    return 1;
                }
                std::printf("skarvel-sensor-sim: %d day files written in %s\n", files,
                            o.folder.c_str());
                return 0;
            }
            case Mode::kLive:
                return runLiveSensor(o, now);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "skarvel-sensor-sim: %s\n", e.what());
    }
    return 1;
}
