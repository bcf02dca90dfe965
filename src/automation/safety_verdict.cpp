#include "automation/safety_verdict.h"

namespace skarvel {

namespace {

/// CLEAR 0, CLOUDY 1, V.CLOUDY 2; anything else is beyond every state.
int severity(const std::string& state) {
    if (state == "CLEAR") return 0;
    if (state == "CLOUDY") return 1;
    if (state == "V.CLOUDY") return 2;
    return 3;
}

}  // namespace

std::string unsafeReason(const SafetyConditions& c, const AutomationSettings& s) {
    if (!c.linkOpen) return "ERROR: sensor port not open";
    if (c.state.empty()) return "PENDING: no reading yet";
    if (c.ageSeconds > s.staleSeconds) {
        return "STALE: no reading for " + std::to_string(c.ageSeconds) + " s";
    }
    if (severity(c.state) >= severity(s.unsafeFrom)) return c.state;
    return {};
}

Verdict SafetyVerdict::update(const SafetyConditions& c, const AutomationSettings& s,
                              std::chrono::sys_seconds now) {
    std::string reason = unsafeReason(c, s);
    if (!reason.empty()) {
        safeSince_.reset();
        return {false, std::move(reason)};
    }
    // A clock set back must not shorten the wait.
    if (!safeSince_ || *safeSince_ > now) safeSince_ = now;
    const std::int64_t safeFor = (now - *safeSince_).count();
    const std::int64_t needed = std::int64_t(s.safeDelayMinutes) * 60;
    if (safeFor >= needed) return {true, c.state};
    return {false, c.state + ", safe for " + std::to_string(safeFor) + " of " +
                       std::to_string(needed) + " s"};
}

}  // namespace skarvel
