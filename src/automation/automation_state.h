#pragma once

#include <charconv>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "automation/notify_settings.h"
#include "automation/sky_model.h"
#include "store/date_time.h"

namespace skarvel {

/// The settings of automation.ini, with their defaults.
struct AutomationSettings {
    /// The first state that is unsafe: "CLOUDY" (only CLEAR is safe) or "V.CLOUDY"; or the
    /// cloud cover that is, "N%" (1 to 100).
    std::string unsafeFrom = "CLOUDY";
    int staleSeconds = 120;
    int safeDelayMinutes = 10;
    /// 0 turns the Alpaca server off.
    int alpacaPort = 11111;
    /// Empty: every interface.
    std::string alpacaAddress;
    int discoveryPort = 32227;
    std::string uniqueId;
    /// The MQTT broker; empty: MQTT off.
    std::string mqttHost;
    int mqttPort = 1883;
    std::string mqttTopic = "skarvel";
    std::string mqttUser;
    std::string mqttPassword;
    bool mqttTls = false;
    /// Empty until read: then "skarvel-" and the first 8 characters of uniqueId.
    std::string mqttClientId;
    bool homeAssistant = true;
    /// skyModel=learn: the clear sky is learned from the log; off: no cloud cover.
    bool learnSkyModel = true;
    NotifySettings notify;

    /// N of unsafeFrom=N%; none for a state.
    std::optional<int> unsafeCover() const {
        if (!unsafeFrom.ends_with('%')) return std::nullopt;
        int n = 0;
        const char* end = unsafeFrom.data() + unsafeFrom.size() - 1;
        if (std::from_chars(unsafeFrom.data(), end, n).ptr != end) return std::nullopt;
        return n;
    }

    bool operator==(const AutomationSettings&) const = default;
};

/// One cause behind an unsafe verdict, as the SafetyEvents of ASCOM's SafetyMonitor V4 proposal
/// tell it.
struct SafetyEvent {
    /// Stable for one cause for as long as it lasts: "skarvel-sky", "skarvel-stale"...
    std::string id;
    /// What is monitored.
    std::string name;
    std::string type;
    std::string trigger;
    /// One sentence with the value and the limit.
    std::string description;
    /// When this cause began (UTC).
    std::chrono::sys_seconds since{};
};

/// The one safety verdict every interface reports.
struct Verdict {
    bool safe = false;
    /// One line, for people and for the consumers that show a reason.
    std::string reason;
    /// Why it is unsafe; empty when safe.
    std::vector<SafetyEvent> events;
};

/// What the automation interfaces publish, kept up to date after every cycle. Everything the
/// Alpaca server answers comes from here, in memory.
struct AutomationState {
    Verdict verdict;
    /// Whether the port was open in the last cycle; unknown before the first.
    bool linkOpen = false;
    /// At least one successful reading since start-up; the values below are valid only then.
    bool haveReading = false;
    /// Local time of the last successful reading.
    LocalTime lastReadingAt{};
    /// The same moment in UTC, for ages that do not jump when the local clock changes.
    std::chrono::sys_seconds lastReadingUtc{};
    float sky = 0;
    float ambient = 0;
    float difference = 0;
    /// "CLEAR", "CLOUDY" or "V.CLOUDY" of the last successful reading.
    std::string state;
    /// Cloud cover of the last successful reading, per cent (0 to 100): absent until the clear sky
    /// is learned, or when the air is too close to the clear sky to tell.
    std::optional<float> cloudCover;
    /// The clear sky the cover is measured from, or why there is none yet.
    SkyModel skyModel;
    /// The thresholds the last reading was classified with.
    float cloudyThreshold = -25;
    float vCloudyThreshold = -15;
    /// Local time of the last cycle, successful or not.
    LocalTime updatedAt{};
    /// When safety.json was last written: the file's timestamp, so it can be served byte for
    /// byte.
    std::chrono::sys_seconds publishedUtc{};
    bool anyCycle = false;
    /// Why the files of the last cycle could not be written; empty when they were.
    std::string fileTrouble;
    /// Since start-up: the cycles that ran, and those whose read of the sensor failed.
    std::uint64_t cycles = 0;
    std::uint64_t readFailures = 0;
    /// When the monitor started (UTC).
    std::chrono::sys_seconds startedUtc{};
};

}  // namespace skarvel
