#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "automation/mosquitto_client.h"
#include "web/alpaca_server.h"

namespace skarvel {

class AutomationPublisher;
class frmMain;

/// What every desktop builds once the main form has loaded: the Alpaca server and its devices,
/// MQTT, and the verdict's listeners. A desktop brings only its event loop's sockets.
class DesktopWiring {
  public:
    /// `mqtt` is asked for a transport only when automation.ini names a broker.
    DesktopWiring(frmMain& form, DesktopServices& services, std::unique_ptr<ServerListener> sockets,
                  const std::function<std::unique_ptr<MqttTransport>()>& mqtt);
    ~DesktopWiring();
    DesktopWiring(const DesktopWiring&) = delete;
    DesktopWiring& operator=(const DesktopWiring&) = delete;

  private:
    AutomationPublisher& automation_;
    std::unique_ptr<ServerListener> sockets_;
    std::optional<AlpacaServer> server_;
    std::unique_ptr<MqttTransport> transport_;
    std::optional<MosquittoClient> mqtt_;
};

}  // namespace skarvel
