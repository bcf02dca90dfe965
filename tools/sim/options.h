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

    // Live sensor.
    std::string link;
    double interval = 0.5;
    std::optional<double> sky;  ///< with ambient: fixed values instead of a night
    std::optional<double> ambient;
    int badEvery = 0;
    bool silent = false;
    std::optional<double> unplugAfter;
    std::optional<std::int64_t> count;

    // History.
    int historyDays = 0;
    std::string folder;
    std::optional<LocalTime> now;
};

struct ParsedOptions {
    Options options;
    std::string error;  ///< empty when the command line was good
};

/// The arguments after the program name.
ParsedOptions parseOptions(std::span<const std::string_view> args);

std::string helpText();

}  // namespace skarvel::sim
