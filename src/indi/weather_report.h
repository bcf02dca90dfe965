#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace skarvel::indi {

/// Where the monitor's state document is, from the driver's URL text.
struct StateAddress {
    std::string host;
    std::string port = "80";
    /// The URL's own path with "/state.json" after it.
    std::string path;

    bool operator==(const StateAddress&) const = default;
};

/// "http://host[:port][/path]" (an IPv6 host in brackets); nothing for any other text.
std::optional<StateAddress> stateAddress(const std::string& url);

/// What the driver shows after one update.
struct WeatherReport {
    bool safe = false;
    /// The monitor's reason, or why the driver has none.
    std::string reason;
    /// Absent values keep what the driver showed before.
    std::optional<double> sky, ambient, cloudCover;

    bool operator==(const WeatherReport&) const = default;
};

/// The report on one HTTP exchange: `response` is everything the monitor sent, or empty with
/// `error` when the request failed. Only a fresh, well-formed document that says safe is safe: a
/// document whose time is more than `staleSeconds` before `now` is a monitor whose cycle has
/// stopped.
WeatherReport weatherReport(const std::string& response, const std::string& error,
                            std::chrono::sys_seconds now, int staleSeconds);

}  // namespace skarvel::indi
