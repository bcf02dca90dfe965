#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "automation/mqtt_link.h"

struct mosquitto;

namespace skarvel {

class MosquittoClient;

/// What a desktop's event loop does for the MQTT client. It answers through
/// MosquittoClient::resolved() and MosquittoClient::pump().
class MqttTransport {
  public:
    virtual ~MqttTransport() = default;
    /// Calls `client`'s tick() every second from now on; it is the one answered below.
    virtual void start(MosquittoClient& client) = 0;
    /// Looks the broker's name up off the event loop; an address is answered at once.
    virtual void lookUp(const std::string& host) = 0;
    /// Calls pump() whenever `socket` can be read, and written while watchWrite(true).
    virtual void watch(int socket) = 0;
    virtual void watchWrite(bool on) = 0;
    /// Forgets the socket and any lookup under way.
    virtual void stop() = 0;
};

/// libmosquitto on a desktop's event loop: the client's socket and a once-a-second tick() come
/// from the desktop's transport, so nothing waits on the user-interface thread. What is
/// published and when to try again is the link's.
class MosquittoClient final : public MqttClient {
  public:
    MosquittoClient(const AutomationSettings& settings, DesktopServices& services,
                    const std::string& version, MqttTransport& transport);
    /// A clean stop: "offline" is sent before the connection ends.
    ~MosquittoClient() override;
    MosquittoClient(const MosquittoClient&) = delete;
    MosquittoClient& operator=(const MosquittoClient&) = delete;

    void start();
    void publishState(const AutomationState& state, std::chrono::sys_seconds utc) {
        link_.publishState(state, utc);
    }
    /// Every second: keep-alive, retries and give-ups.
    void tick();
    /// Reads, writes and keeps alive what is due, then hands the outcome to the link.
    void pump();
    /// The broker's name was looked up; `error` is empty when it was found.
    void resolved(const std::string& error);

  private:
    void open(const MqttMessage& will) override;
    void publish(const MqttMessage& message) override;
    void close() override;
    void abort() override;
    void fail(const std::string& why);

    AutomationSettings settings_;
    DesktopServices& services_;
    MqttTransport& transport_;
    MqttLink link_;
    mosquitto* mosq_ = nullptr;
    bool lookingUp_ = false;
    bool watching_ = false;
    /// What the broker answered to CONNECT, set from inside libmosquitto's loop.
    std::optional<int> connack_;
};

}  // namespace skarvel
