#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "automation/automation_state.h"

namespace skarvel {

/// What the verdict is decided from after a cycle.
struct SafetyConditions {
    bool linkOpen = false;
    /// State of the last successful reading; empty when there was none since start-up.
    std::string state;
    /// Seconds since that reading.
    std::int64_t ageSeconds = 0;
    /// Its sky minus ambient and the thresholds it was classified with, for the events' texts.
    float difference = 0;
    float cloudyThreshold = -25;
    float vCloudyThreshold = -15;
    /// That reading's cloud cover, when there is one, and whether the clear sky is learned.
    std::optional<float> cloudCover;
    bool coverLearned = false;
};

/// Why the conditions are unsafe right now; empty when they are safe.
std::string unsafeReason(const SafetyConditions& conditions, const AutomationSettings& settings);

/// The one safety verdict. It turns safe only once the conditions have been safe at every cycle
/// for `safeDelayMinutes`, counted from the first safe cycle, which holds at start-up too.
class SafetyVerdict {
  public:
    /// After the cycle that ended at `now` (a clock that never jumps with the local time). An
    /// unsafe verdict carries every cause behind it as an event, each with the time it began.
    Verdict update(const SafetyConditions& conditions, const AutomationSettings& settings,
                   std::chrono::sys_seconds now);

  private:
    std::optional<std::chrono::sys_seconds> safeSince_;
    /// When each cause that still holds began, by its event id.
    std::map<std::string, std::chrono::sys_seconds> causesSince_;
};

}  // namespace skarvel
