#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "automation/mqtt_messages.h"

namespace skarvel {

class DesktopServices;

/// The connection to the broker, as each platform makes it. It never blocks: an outcome comes
/// back later as MqttLink::opened() or MqttLink::lost().
class MqttClient {
  public:
    virtual ~MqttClient() = default;
    /// Starts a new connection with `will` as its last will, dropping any earlier one.
    virtual void open(const MqttMessage& will) = 0;
    /// QoS 1, retained; called only while open.
    virtual void publish(const MqttMessage& message) = 0;
    /// Sends what is queued, then ends the connection with a DISCONNECT.
    virtual void close() = 0;
    /// Drops the connection or the attempt without a word to the broker.
    virtual void abort() = 0;
};

/// What the monitor keeps on the broker: its status, its discovery configs and the state of the
/// last cycle, all published again at every connection. A broker that is down, silent or
/// refusing is reported once per outage and tried again with a back-off of 1 s doubling to a
/// minute; nothing here waits for it.
class MqttLink {
  public:
    using Clock = std::chrono::steady_clock;
    /// An attempt without an answer in this time is given up; a broker whose packets vanish
    /// would otherwise hold it for minutes.
    static constexpr std::chrono::seconds answerWithin{15};
    static constexpr std::chrono::seconds longestBackOff{60};

    MqttLink(const AutomationSettings& settings, std::string version, MqttClient& client,
             DesktopServices& services);

    /// The first attempt.
    void start(Clock::time_point now);
    /// Called every second: a due attempt is made, an unanswered one given up.
    void tick(Clock::time_point now);
    /// The broker accepted the connection.
    void opened();
    /// The attempt failed or the connection was lost, for the reason `why`.
    void lost(const std::string& why, Clock::time_point now);
    /// After every cycle.
    void publishState(const AutomationState& state, std::chrono::sys_seconds utc);
    /// A clean stop: "offline", then DISCONNECT.
    void stop();

    bool isOpen() const { return phase_ == Phase::open; }

  private:
    enum class Phase { idle, connecting, open, waiting, stopped };

    void connect(Clock::time_point now);

    AutomationSettings settings_;
    std::string version_;
    MqttClient& client_;
    DesktopServices& services_;
    Phase phase_ = Phase::idle;
    Clock::time_point since_{};
    std::chrono::seconds backOff_{1};
    bool reported_ = false;
    std::optional<MqttMessage> state_;
};

}  // namespace skarvel
