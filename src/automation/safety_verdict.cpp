#include "automation/safety_verdict.h"

#include <charconv>
#include <cmath>

namespace skarvel {

namespace {

/// CLEAR 0, CLOUDY 1, V.CLOUDY 2; anything else is beyond every state.
int severity(const std::string& state) {
    if (state == "CLEAR") return 0;
    if (state == "CLOUDY") return 1;
    if (state == "V.CLOUDY") return 2;
    return 3;
}

/// A temperature as the window shows it: a point, a tenth, no trailing zeros.
std::string degrees(float value) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr) + " °C";
}

/// A whole per cent, never more than the cover: 39.6 is "39%", below a limit of 40%.
std::string percent(float cover) {
    return std::to_string(int(std::floor(cover))) + "%";
}

/// The state whose rule decides when the cover cannot: CLOUDY stands in for N%.
std::string stateRule(const AutomationSettings& s) {
    return s.unsafeCover() ? "CLOUDY" : s.unsafeFrom;
}

/// Whether the verdict goes by the cover of this reading.
bool byCover(const SafetyConditions& c, const AutomationSettings& s) {
    return s.unsafeCover() && c.cloudCover;
}

bool skyUnsafe(const SafetyConditions& c, const AutomationSettings& s) {
    if (byCover(c, s)) return *c.cloudCover >= float(*s.unsafeCover());
    return severity(c.state) >= severity(stateRule(s));
}

/// The sky as the reason names it.
std::string skyText(const SafetyConditions& c, const AutomationSettings& s) {
    if (!s.unsafeCover()) return c.state;
    if (c.cloudCover) return "CLOUD COVER " + percent(*c.cloudCover);
    return c.state +
           (c.coverLearned ? " (cloud cover not available)" : " (cloud cover not learned yet)");
}

/// Every cause that makes the conditions unsafe, without their times. Type and Trigger are members
/// of the SafetyMonitor V4 proposal's SafetyEventType and SafetyEventTrigger, which a checker
/// parses as enumerations: the sensor's port closed is SkyTemperature/Offline ("a required device
/// is unavailable"), no reading yet or none for staleSeconds SkyTemperature/Inactive ("not
/// running"), the sky over its limit CloudCover/AboveThreshold, and the safe delay still running
/// CloudCover/Unsafe ("the monitored condition is unsafe").
std::vector<SafetyEvent> causes(const SafetyConditions& c, const AutomationSettings& s) {
    std::vector<SafetyEvent> out;
    if (!c.linkOpen)
        out.push_back({"skarvel-link",
                       "Sensor port",
                       "SkyTemperature",
                       "Offline",
                       "The sensor's port is not open; it is tried again every cycle.",
                       {}});
    if (c.state.empty()) {
        out.push_back({"skarvel-pending",
                       "Sky temperature reading",
                       "SkyTemperature",
                       "Inactive",
                       "No reading since the monitor started.",
                       {}});
    } else if (c.ageSeconds > s.staleSeconds) {
        out.push_back({"skarvel-stale",
                       "Age of the last reading",
                       "SkyTemperature",
                       "Inactive",
                       "No reading for " + std::to_string(c.ageSeconds) + " s; the limit is " +
                           std::to_string(s.staleSeconds) + " s (staleSeconds).",
                       {}});
    } else if (byCover(c, s) && skyUnsafe(c, s)) {
        out.push_back({"skarvel-cover",
                       "Cloud cover",
                       "CloudCover",
                       "AboveThreshold",
                       "Cloud cover " + percent(*c.cloudCover) + "; the limit is " + s.unsafeFrom +
                           " (unsafeFrom).",
                       {}});
    } else if (skyUnsafe(c, s)) {
        const bool cloudy = severity(stateRule(s)) <= 1;
        const std::string from =
            !s.unsafeCover()
                ? s.unsafeFrom
                : "CLOUDY while the cloud cover is " +
                      std::string(c.coverLearned ? "not available" : "not learned yet") +
                      " (unsafeFrom=" + s.unsafeFrom + ")";
        out.push_back({"skarvel-sky",
                       "Sky state",
                       "CloudCover",
                       "AboveThreshold",
                       c.state + ": sky minus ambient " + degrees(c.difference) + " is above the " +
                           (cloudy ? "cloudy" : "very cloudy") + " threshold " +
                           degrees(cloudy ? c.cloudyThreshold : c.vCloudyThreshold) +
                           "; unsafe from " + from + ".",
                       {}});
    }
    return out;
}

}  // namespace

std::string unsafeReason(const SafetyConditions& c, const AutomationSettings& s) {
    if (!c.linkOpen) return "ERROR: sensor port not open";
    if (c.state.empty()) return "PENDING: no reading yet";
    if (c.ageSeconds > s.staleSeconds) {
        return "STALE: no reading for " + std::to_string(c.ageSeconds) + " s";
    }
    if (skyUnsafe(c, s)) return skyText(c, s);
    return {};
}

Verdict SafetyVerdict::update(const SafetyConditions& c, const AutomationSettings& s,
                              std::chrono::sys_seconds now) {
    Verdict verdict;
    std::string reason = unsafeReason(c, s);
    if (!reason.empty()) {
        safeSince_.reset();
        verdict = {false, std::move(reason), causes(c, s)};
    } else {
        // A clock set back must not shorten the wait.
        if (!safeSince_ || *safeSince_ > now) safeSince_ = now;
        const std::int64_t safeFor = (now - *safeSince_).count();
        const std::int64_t needed = std::int64_t(s.safeDelayMinutes) * 60;
        if (safeFor >= needed) {
            verdict = {true, skyText(c, s), {}};
        } else {
            const std::string progress = skyText(c, s) + ", safe for " + std::to_string(safeFor) +
                                         " of " + std::to_string(needed) + " s";
            verdict = {false,
                       progress,
                       {{"skarvel-safe-delay", "Safe delay", "CloudCover", "Unsafe",
                         "Safe for " + std::to_string(safeFor) + " of the " +
                             std::to_string(needed) + " s needed (safeDelayMinutes).",
                         *safeSince_}}};
        }
    }
    // Each cause keeps the time it began for as long as it holds.
    std::map<std::string, std::chrono::sys_seconds> since;
    for (SafetyEvent& e : verdict.events) {
        const auto known = causesSince_.find(e.id);
        if (e.since == std::chrono::sys_seconds{})
            e.since = known != causesSince_.end() && known->second <= now ? known->second : now;
        since[e.id] = e.since;
    }
    causesSince_ = std::move(since);
    return verdict;
}

}  // namespace skarvel
