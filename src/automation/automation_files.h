#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "automation/automation_state.h"

namespace skarvel {

/// "2026-12-07T22:15:03Z".
std::string utcText(std::chrono::sys_seconds utc);

/// `text` inside a JSON string's quotes.
std::string jsonEscaped(const std::string& text);

/// safety.json for INDI's Weather Safety Proxy, one line:
/// {"timestamp_utc":"2026-12-07T22:15:03Z","roof_status":{"open_ok":1,"reasons":"CLEAR"}}
std::string safetyJsonText(const Verdict& verdict, std::chrono::sys_seconds utc);

/// boltwood.txt, the Boltwood one-line data file: 21 fields in the manual's columns, written at
/// local time `now`, with the last reading `ageSeconds` old. Fields without a sensor hold
/// neutral values: SenT the ambient, wind 0.0, humidity 0, dew point -99.9, heater 0, rain and
/// wet flags 0 and the wind, rain and daylight codes 0 (unknown).
std::string boltwoodText(const AutomationState& state, const AutomationSettings& settings,
                         std::int64_t ageSeconds, LocalTime now);

}  // namespace skarvel
