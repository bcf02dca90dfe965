#pragma once

#include <QObject>
#include <QTimer>
#include <memory>

#include "automation/mosquitto_client.h"

class QSocketNotifier;

namespace skarvel {

/// The MQTT client on Qt's event loop: the client's socket watched by notifiers, the tick
/// driven by a timer, the broker's name looked up off the loop.
class QtMqttClient final : public QObject, public MqttTransport {
    Q_OBJECT
  public:
    QtMqttClient(const AutomationSettings& settings, DesktopServices& services,
                 const std::string& version, QObject* parent = nullptr);
    ~QtMqttClient() override;

    MosquittoClient& client() { return client_; }
    void start();

  private:
    void lookUp(const std::string& host) override;
    void watch(int socket) override;
    void watchWrite(bool on) override;
    void stop() override;

    std::unique_ptr<QSocketNotifier> reader_, writer_;
    QTimer ticker_;
    int lookup_ = -1;
    // Last: its farewell goes out through the members above.
    MosquittoClient client_;
};

}  // namespace skarvel
