#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "automation/mosquitto_client.h"
#include "notify/curl_sender.h"
#include "web/alpaca_server.h"

namespace skarvel {

class AutomationPublisher;

/// `--notify-test`: one message to every target of `folder`'s automation.ini, which is only
/// read; `print` is told each line, `runUntil` runs the event loop until its test is true.
/// Returns 0 when every target took its message.
int runNotifyTest(const std::string& folder, CurlLoop& loop, DesktopServices& services,
                  const std::function<void(const std::function<bool()>&)>& runUntil,
                  const std::function<void(const std::string&)>& print);
class frmMain;

/// What every desktop builds once the main form has loaded: the Alpaca server and its devices,
/// MQTT, and the verdict's listeners. A desktop brings only its event loop's sockets.
class DesktopWiring {
  public:
    /// `mqtt` is asked for a transport only when automation.ini names a broker, `curl` for a
    /// loop only when it names notification targets or a heartbeat.
    DesktopWiring(frmMain& form, DesktopServices& services, std::unique_ptr<ServerListener> sockets,
                  const std::function<std::unique_ptr<MqttTransport>()>& mqtt,
                  const std::function<std::unique_ptr<CurlLoop>()>& curl);
    ~DesktopWiring();
    DesktopWiring(const DesktopWiring&) = delete;
    DesktopWiring& operator=(const DesktopWiring&) = delete;

  private:
    AutomationPublisher& automation_;
    std::unique_ptr<ServerListener> sockets_;
    std::optional<AlpacaServer> server_;
    std::unique_ptr<MqttTransport> transport_;
    std::optional<MosquittoClient> mqtt_;
    std::unique_ptr<CurlLoop> curlLoop_;
    std::optional<CurlSender> sender_;
    std::optional<Notifier> notifier_;
};

}  // namespace skarvel
