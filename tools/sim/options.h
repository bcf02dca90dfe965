#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "store/date_time.h"

namespace skarvel::sim {

enum class Mode { kLive, kHistory, kHelp };

struct Options {
    Mode mode = Mode::kLive;
    std::uint64_t seed = 1;
    std::optional<LocalTime> now;  ///< the local time to play or write up to; unset: the clock

    // Live sensor.
    std::string link;
    double interval = 0.5;
    std::optional<double> sky;  ///< with ambient: fixed values instead of the weather
    std::optional<double> ambient;
    int badEvery = 0;
    bool silent = false;
    std::optional<double> unplugAfter;
    std::optional<std::int64_t> count;

    // History.
    int historyDays = 0;
    std::string folder;
    bool force = false;  ///< replace day files that are already there
};

struct ParsedOptions {
    Options options;
    std::string error;  ///< empty when the command line was good
};

/// The arguments after the program name.
ParsedOptions parseOptions(std::span<const std::string_view> args);

std::string helpText();

}  // namespace skarvel::sim
