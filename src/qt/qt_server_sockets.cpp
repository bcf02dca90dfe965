#include "qt/qt_server_sockets.h"

#include <sys/socket.h>
#include <QNetworkDatagram>
#include <QTcpSocket>

#include "platform/desktop_services.h"

namespace skarvel {

QtServerSockets::QtServerSockets(const AutomationSettings& settings, DesktopServices& services,
                                 QObject* parent)
    : QObject(parent), settings_(settings), services_(services) {
    clock_.start();
    connect(&tcp_, &QTcpServer::newConnection, this, &QtServerSockets::accept);
    connect(&udp_, &QUdpSocket::readyRead, this, &QtServerSockets::answerDiscovery);
    connect(&sweeper_, &QTimer::timeout, this, [this] { server_->sweep(clock_.elapsed()); });
}

void QtServerSockets::start(AlpacaServer& server) {
    server_ = &server;
    if (settings_.alpacaPort <= 0) return;
    if (!settings_.alpacaAddress.empty() &&
        !address_.setAddress(QString::fromStdString(settings_.alpacaAddress))) {
        services_.messageBox("The Alpaca server is off: alpacaAddress \"" +
                             settings_.alpacaAddress + "\" is not an IP address.");
        return;
    }
    connect(&retry_, &QTimer::timeout, this, &QtServerSockets::listen);
    listen();
}

void QtServerSockets::listen() {
    const auto report = [this](const std::string& text) {
        if (!text.empty()) services_.messageBox(text);
    };
    if (!tcpPort_.open()) {
        const bool opened = tcp_.listen(address_, quint16(settings_.alpacaPort));
        report(tcpPort_.tried(opened, tcp_.errorString().toStdString()));
        if (opened) sweeper_.start(AlpacaServer::kSweepMs);
    }
    // Bound to every interface: a socket bound to one address misses the broadcasts.
    if (tcpPort_.open() && settings_.discoveryPort > 0 && !udpPort_.open()) {
        const bool bound =
            udp_.bind(QHostAddress::AnyIPv4, quint16(settings_.discoveryPort),
                      QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint);
        report(udpPort_.tried(bound, udp_.errorString().toStdString()));
    }
    if (tcpPort_.open() && (settings_.discoveryPort <= 0 || udpPort_.open()))
        retry_.stop();
    else if (!retry_.isActive())
        retry_.start(ServerPort::kRetryMs);
}

void QtServerSockets::accept() {
    while (QTcpSocket* socket = tcp_.nextPendingConnection()) {
        const Id id = ++lastId_;
        sockets_[id] = socket;
        // Qt reads no further ahead than the largest request.
        socket->setReadBufferSize(qint64(AlpacaServer::kMaxRequestBytes));
        // Qt may signal these from inside write() or close(), while the server is still at
        // work on the connection: they wait for the event loop, and a late one finds no id.
        const auto queued = Qt::QueuedConnection;
        connect(socket, &QTcpSocket::readyRead, this,
                [this, id] { server_->readable(id, clock_.elapsed()); });
        connect(
            socket, &QTcpSocket::bytesWritten, this,
            [this, id] { server_->readable(id, clock_.elapsed()); }, queued);
        connect(
            socket, &QTcpSocket::disconnected, this,
            [this, id] {
                server_->gone(id);
                abort(id);
            },
            queued);
        server_->accepted(id, clock_.elapsed());
    }
}

std::string QtServerSockets::read(Id id, std::size_t max) {
    const auto it = sockets_.find(id);
    if (it == sockets_.end()) return {};
    const QByteArray bytes = it->second->read(qint64(max));
    return bytes.toStdString();
}

void QtServerSockets::write(Id id, std::string_view bytes) {
    const auto it = sockets_.find(id);
    if (it == sockets_.end()) return;
    QTcpSocket* socket = it->second;
    // Straight into the kernel while Qt holds nothing back: Qt's own write posts a flush and a
    // bytesWritten, each waking the event loop, which costs more than answering the request.
    if (socket->bytesToWrite() == 0) {
        const ssize_t sent = ::send(int(socket->socketDescriptor()), bytes.data(), bytes.size(),
                                    MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) bytes.remove_prefix(std::size_t(sent));
        if (bytes.empty()) return;
    }
    // The rest, and any error, go through Qt.
    socket->write(bytes.data(), qint64(bytes.size()));
    // Into the kernel now: Qt closes the socket as soon as it reads the end of the stream.
    socket->flush();
}

std::size_t QtServerSockets::unsent(Id id) const {
    const auto it = sockets_.find(id);
    return it == sockets_.end() ? 0 : std::size_t(it->second->bytesToWrite());
}

void QtServerSockets::close(Id id) {
    const auto it = sockets_.find(id);
    if (it != sockets_.end()) it->second->disconnectFromHost();
}

void QtServerSockets::abort(Id id) {
    const auto it = sockets_.find(id);
    if (it == sockets_.end()) return;
    QTcpSocket* socket = it->second;
    sockets_.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void QtServerSockets::answerDiscovery() {
    while (udp_.hasPendingDatagrams()) {
        const QNetworkDatagram d = udp_.receiveDatagram(64);
        if (!d.isValid()) continue;
        const auto answer = AlpacaServer::discoveryReply(d.data().toStdString(), port());
        if (answer)
            udp_.writeDatagram(QByteArray::fromStdString(*answer), d.senderAddress(),
                               quint16(d.senderPort()));
    }
}

}  // namespace skarvel
