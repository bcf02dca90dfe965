#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <QUdpSocket>
#include <functional>
#include <string>
#include <unordered_map>

#include "automation/alpaca_api.h"
#include "automation/alpaca_http.h"
#include "ui/desktop_services.h"

class QTcpSocket;

namespace skarvel {

/// The Alpaca devices, their discovery and the status page, on the event loop of the monitor.
/// Every reply comes from memory except the page and its images; a client that sends too much,
/// too slowly or nothing at all is dropped, so none can hold up a cycle.
class QtAlpacaServer final : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxConnections = 64;
    static constexpr int kIdleMs = 20000;
    /// A request must arrive whole within this time of its first byte, however slowly it trickles.
    static constexpr int kRequestMs = 10000;

    /// `state` is read at every request. `webFolder` gives the folder of the status page (ending
    /// in the separator) when a request asks for it. `settingsFile` is shown on the setup pages.
    QtAlpacaServer(const AutomationSettings& settings, const AutomationState& state,
                   DesktopServices& services, std::function<std::string()> webFolder,
                   std::string settingsFile, std::string version, QObject* parent = nullptr);

    /// Listens on the settings' ports; alpacaPort 0 leaves everything off. A port that cannot be
    /// bound is reported once and left off; the monitor goes on either way.
    void start();
    /// The port the devices are served on, 0 when off.
    quint16 port() const { return tcp_.isListening() ? tcp_.serverPort() : 0; }

  private:
    struct Connection {
        QByteArray in;
        qint64 lastActivity = 0;
        qint64 requestSince = -1;  ///< first byte of the incomplete request in `in`, -1: none
        bool closing = false;
    };
    void accept();
    void serve(QTcpSocket* socket);
    void drop(QTcpSocket* socket);
    void sweep();
    void answerDiscovery();
    QByteArray reply(const HttpRequest& request);

    AutomationSettings settings_;
    const AutomationState& state_;
    DesktopServices& services_;
    std::function<std::string()> webFolder_;
    AlpacaApi api_;
    QTcpServer tcp_;
    QUdpSocket udp_;
    QTimer sweeper_;
    QElapsedTimer clock_;
    std::unordered_map<QTcpSocket*, Connection> connections_;
};

}  // namespace skarvel
