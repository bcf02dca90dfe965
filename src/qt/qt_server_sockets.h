#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <QUdpSocket>
#include <unordered_map>

#include "web/alpaca_server.h"

class QTcpSocket;

namespace skarvel {

/// The Alpaca server's sockets on Qt's event loop: the devices, their discovery and the status
/// page. What is answered and who is dropped is the server's policy.
class QtServerSockets final : public QObject, public ServerListener {
    Q_OBJECT
  public:
    QtServerSockets(const AutomationSettings& settings, DesktopServices& services,
                    QObject* parent = nullptr);

    void start(AlpacaServer& server) override;
    /// The port the devices are served on, 0 when off.
    quint16 port() const { return tcp_.isListening() ? tcp_.serverPort() : 0; }

  private:
    void listen();
    void accept();
    // Only the server calls these, through the seam.
    std::string read(Id id, std::size_t max) override;
    void write(Id id, std::string_view bytes) override;
    std::size_t unsent(Id id) const override;
    void close(Id id) override;
    void abort(Id id) override;
    void answerDiscovery();

    AutomationSettings settings_;
    DesktopServices& services_;
    AlpacaServer* server_ = nullptr;
    QTcpServer tcp_;
    QUdpSocket udp_;
    QHostAddress address_ = QHostAddress::Any;
    ServerPort tcpPort_{false, settings_.alpacaPort};
    ServerPort udpPort_{true, settings_.discoveryPort};
    QTimer sweeper_, retry_;
    QElapsedTimer clock_;
    std::unordered_map<Id, QTcpSocket*> sockets_;
    Id lastId_ = 0;
};

}  // namespace skarvel
