#include "automation/mqtt_link.h"

#include <algorithm>

#include "platform/desktop_services.h"

namespace skarvel {

MqttLink::MqttLink(const AutomationSettings& settings, std::string version, MqttClient& client,
                   DesktopServices& services)
    : settings_(settings), version_(std::move(version)), client_(client), services_(services) {}

void MqttLink::start(Clock::time_point now) {
    if (phase_ == Phase::idle) connect(now);
}

void MqttLink::connect(Clock::time_point now) {
    phase_ = Phase::connecting;
    since_ = now;
    client_.open(mqttStatus(settings_, false));
}

void MqttLink::tick(Clock::time_point now) {
    if (phase_ == Phase::waiting && now - since_ >= backOff_) {
        backOff_ = std::min(backOff_ * 2, std::chrono::seconds(longestBackOff));
        connect(now);
    } else if (phase_ == Phase::connecting && now - since_ >= answerWithin) {
        lost("no answer within " + std::to_string(answerWithin.count()) + " s", now);
    }
}

void MqttLink::opened() {
    if (phase_ != Phase::connecting) return;
    phase_ = Phase::open;
    backOff_ = std::chrono::seconds(1);
    reported_ = false;
    client_.publish(mqttStatus(settings_, true));
    if (settings_.homeAssistant) {
        for (const MqttMessage& config : homeAssistantConfigs(settings_, version_))
            client_.publish(config);
    }
    if (state_) client_.publish(*state_);
}

void MqttLink::lost(const std::string& why, Clock::time_point now) {
    if (phase_ != Phase::connecting && phase_ != Phase::open) return;
    client_.abort();
    phase_ = Phase::waiting;
    since_ = now;
    if (reported_) return;
    reported_ = true;
    const std::string reason = why.ends_with('.') ? why.substr(0, why.size() - 1) : why;
    services_.messageBox("MQTT: no connection to the broker at " + settings_.mqttHost + ":" +
                         std::to_string(settings_.mqttPort) + " (" + reason +
                         "). Skarvel goes on monitoring and tries again, at least once a "
                         "minute.");
}

void MqttLink::publishState(const AutomationState& state, std::chrono::sys_seconds utc) {
    state_ = mqttState(settings_, state, utc);
    if (phase_ == Phase::open) client_.publish(*state_);
}

void MqttLink::stop() {
    if (phase_ == Phase::open) {
        client_.publish(mqttStatus(settings_, false));
        client_.close();
    } else if (phase_ != Phase::stopped) {
        client_.abort();
    }
    phase_ = Phase::stopped;
}

}  // namespace skarvel
