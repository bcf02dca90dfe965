#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>

#include "automation/mqtt_link.h"

class QSocketNotifier;
struct mosquitto;

namespace skarvel {

/// libmosquitto on Qt's event loop: the client's socket watched by notifiers, its keep-alive
/// driven by a timer, the broker's name looked up off the loop. What is published and when to
/// try again is the link's.
class QtMqttClient final : public QObject, public MqttClient {
    Q_OBJECT
  public:
    QtMqttClient(const AutomationSettings& settings, DesktopServices& services,
                 const std::string& version, QObject* parent = nullptr);
    /// A clean stop: "offline" is sent before the connection ends.
    ~QtMqttClient() override;

    void start();
    void publishState(const AutomationState& state, std::chrono::sys_seconds utc) {
        link_.publishState(state, utc);
    }

  private:
    void open(const MqttMessage& will) override;
    void publish(const MqttMessage& message) override;
    void close() override;
    void abort() override;
    void connectTo();
    /// Reads, writes and keeps alive what is due, then hands the outcome to the link.
    void pump();
    void fail(const std::string& why);

    AutomationSettings settings_;
    MqttLink link_;
    mosquitto* mosq_ = nullptr;
    std::unique_ptr<QSocketNotifier> reader_, writer_;
    QTimer ticker_;
    int lookup_ = -1;
    /// What the broker answered to CONNECT, set from inside libmosquitto's loop.
    std::optional<int> connack_;
};

}  // namespace skarvel
