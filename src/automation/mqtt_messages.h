#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "automation/automation_state.h"

namespace skarvel {

/// One message to the broker; every one is published with QoS 1 and retained.
struct MqttMessage {
    std::string topic;
    std::string payload;

    bool operator==(const MqttMessage&) const = default;
};

/// `<topic>/status` "online", or "offline": the last will, and the last word of a clean stop.
MqttMessage mqttStatus(const AutomationSettings& settings, bool online);

/// `<topic>/state` after a cycle at `utc`: {"time":"2026-12-07T22:15:03Z","sky":-30.1,
/// "ambient":10.0,"difference":-40.1,"cloudCover":12.5,"state":"CLEAR","safe":true,
/// "reason":"CLEAR"}. The readings are left out before the first one, the cover while there is
/// none, the state before the first cycle; it is "ERROR" while the link is down.
MqttMessage mqttState(const AutomationSettings& settings, const AutomationState& state,
                      std::chrono::sys_seconds utc);

/// Home Assistant's discovery configs: the three temperatures, the cloud cover, the sky state and
/// the verdict as one device reading `<topic>/state`, available while `<topic>/status` is "online".
std::vector<MqttMessage> homeAssistantConfigs(const AutomationSettings& settings,
                                              const std::string& version);

}  // namespace skarvel
