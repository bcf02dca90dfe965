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
    explicit QtMqttClient(QObject* parent = nullptr);
    ~QtMqttClient() override;

  private:
    void start(MosquittoClient& client) override;
    void lookUp(const std::string& host) override;
    void watch(int socket) override;
    void watchWrite(bool on) override;
    void stop() override;

    std::unique_ptr<QSocketNotifier> reader_, writer_;
    QTimer ticker_;
    int lookup_ = -1;
    MosquittoClient* client_ = nullptr;
};

}  // namespace skarvel
