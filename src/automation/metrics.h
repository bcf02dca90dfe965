#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "automation/automation_state.h"

namespace skarvel {

inline constexpr std::string_view kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

/// What the metrics tell beside the automation state, read when they are asked for.
struct MonitorHealth {
    /// Messages shown since start, repeats included.
    std::uint64_t messages = 0;
    /// The process's user and system CPU time and resident memory, where the system tells them.
    std::optional<double> cpuSeconds;
    std::optional<std::uint64_t> residentBytes;
};

/// The health figures of this process: the CPU time and resident memory on Linux, none elsewhere.
MonitorHealth processHealth();

/// The sky, the verdict and the monitor's health in Prometheus' text format 0.0.4. A value not
/// known yet (the readings before the first, the cover before it is learned) is left out.
std::string metricsText(const AutomationState& state, const MonitorHealth& health,
                        std::string_view version);

}  // namespace skarvel
