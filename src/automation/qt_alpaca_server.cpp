#include "automation/qt_alpaca_server.h"

#include <QDateTime>
#include <QFile>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <string_view>

namespace skarvel {

namespace {

/// Enough for a request of the largest accepted size; Qt reads no further ahead, so a flood
/// waits in the kernel rather than in the monitor's memory.
constexpr qint64 kMaxRequestBytes = qint64(kMaxHeaderBytes + kMaxBodyBytes + 4);
/// Replies not yet taken by a client that keeps sending requests: no more are read until it
/// takes them.
constexpr qint64 kMaxBacklog = 4 * 1024 * 1024;
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

}  // namespace

QtAlpacaServer::QtAlpacaServer(const AutomationSettings& settings, const AutomationState& state,
                               DesktopServices& services, std::function<std::string()> webFolder,
                               std::string settingsFile, std::string version, QObject* parent)
    : QObject(parent),
      settings_(settings),
      state_(state),
      services_(services),
      webFolder_(std::move(webFolder)),
      api_(settings, std::move(version), std::move(settingsFile)) {
    clock_.start();
    connect(&tcp_, &QTcpServer::newConnection, this, &QtAlpacaServer::accept);
    connect(&udp_, &QUdpSocket::readyRead, this, &QtAlpacaServer::answerDiscovery);
    connect(&sweeper_, &QTimer::timeout, this, &QtAlpacaServer::sweep);
}

void QtAlpacaServer::start() {
    if (settings_.alpacaPort <= 0) return;
    QHostAddress address = QHostAddress::Any;
    if (!settings_.alpacaAddress.empty() &&
        !address.setAddress(QString::fromStdString(settings_.alpacaAddress))) {
        services_.messageBox("The Alpaca server is off: alpacaAddress \"" +
                             settings_.alpacaAddress + "\" is not an IP address.");
        return;
    }
    if (!tcp_.listen(address, quint16(settings_.alpacaPort))) {
        services_.messageBox("The Alpaca server is off: port " +
                             std::to_string(settings_.alpacaPort) + " cannot be opened (" +
                             tcp_.errorString().toStdString() + ").");
        return;
    }
    sweeper_.start(1000);
    // Bound to every interface: a socket bound to one address misses the broadcasts.
    if (settings_.discoveryPort > 0 &&
        !udp_.bind(QHostAddress::AnyIPv4, quint16(settings_.discoveryPort),
                   QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint)) {
        services_.messageBox("Alpaca discovery is off: port " +
                             std::to_string(settings_.discoveryPort) + " cannot be opened (" +
                             udp_.errorString().toStdString() + ").");
    }
}

void QtAlpacaServer::accept() {
    while (QTcpSocket* socket = tcp_.nextPendingConnection()) {
        if (int(connections_.size()) >= kMaxConnections) {
            // The quietest connection makes room, so idle ones never lock out a client that
            // asks.
            auto oldest = connections_.begin();
            for (auto it = connections_.begin(); it != connections_.end(); ++it)
                if (it->second.lastActivity < oldest->second.lastActivity) oldest = it;
            drop(oldest->first);
        }
        socket->setReadBufferSize(kMaxRequestBytes);
        connections_[socket].lastActivity = clock_.elapsed();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            const auto it = connections_.find(socket);
            if (it == connections_.end()) return;
            it->second.lastActivity = clock_.elapsed();
            serve(socket);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
    }
}

void QtAlpacaServer::serve(QTcpSocket* socket) {
    const auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    Connection& c = it->second;
    if (c.closing) {
        socket->read(kMaxRequestBytes);  // what comes after a refusal is not read
        return;
    }
    while (socket->bytesToWrite() < kMaxBacklog) {
        const QByteArray more = socket->read(kMaxRequestBytes - c.in.size());
        if (!more.isEmpty()) c.lastActivity = clock_.elapsed();
        c.in += more;
        if (c.in.isEmpty()) return;
        if (c.requestSince < 0) c.requestSince = clock_.elapsed();
        const HttpParse p = parseHttpRequest(std::string_view(c.in.constData(), c.in.size()));
        if (p.outcome == HttpParse::Outcome::NeedMore && c.in.size() < kMaxRequestBytes) return;
        if (p.outcome != HttpParse::Outcome::Ready) {
            const int status = p.outcome == HttpParse::Outcome::Bad ? p.status : 413;
            const std::string text = (p.reason.empty() ? "Request too large" : p.reason) + "\n";
            const std::string out = httpResponse(status, "text/plain; charset=utf-8", text, false);
            socket->write(out.data(), qint64(out.size()));
            c.closing = true;
            c.in.clear();
            socket->flush();  // may find the client gone and drop the connection, `c` with it
            if (connections_.contains(socket)) socket->disconnectFromHost();
            return;
        }
        c.in.remove(0, qsizetype(p.used));
        c.requestSince = c.in.isEmpty() ? -1 : clock_.elapsed();
        socket->write(reply(p.request));
        // Into the kernel now: Qt closes the socket as soon as it reads the end of the stream,
        // which a client that half-closes after its request sends at once.
        socket->flush();
        if (!connections_.contains(socket)) return;  // dropped: the client had gone
        if (!p.request.keepAlive) {
            c.closing = true;
            socket->disconnectFromHost();
            return;
        }
    }
}

QByteArray QtAlpacaServer::reply(const HttpRequest& request) {
    const auto utc =
        std::chrono::sys_seconds(std::chrono::seconds(QDateTime::currentSecsSinceEpoch()));
    AlpacaReply r = api_.handle({request.method, request.path, request.query, request.body}, state_,
                                services_.now(), utc);
    if (!r.file.empty()) {
        // The name is one of the api's fixed few; nothing of the request is in it.
        const std::string folder = webFolder_();
        QFile file(QString::fromStdString(folder + r.file));
        // No web folder yet (before start-up has read config.ini) is no page, not the
        // working directory's.
        if (!folder.empty() && file.open(QIODevice::ReadOnly) && file.size() <= kMaxFileBytes) {
            r.body = file.readAll().toStdString();
        } else {
            r = {404, "text/plain; charset=utf-8", r.file + " is not there (yet)\n", {}};
        }
    }
    const std::string out =
        httpResponse(r.status, r.contentType, r.body, request.keepAlive, request.method == "HEAD");
    return QByteArray(out.data(), qsizetype(out.size()));
}

void QtAlpacaServer::drop(QTcpSocket* socket) {
    if (connections_.erase(socket) == 0) return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void QtAlpacaServer::sweep() {
    const qint64 now = clock_.elapsed();
    std::vector<QTcpSocket*> idle;
    for (const auto& [socket, c] : connections_)
        if (now - c.lastActivity > kIdleMs ||
            (c.requestSince >= 0 && now - c.requestSince > kRequestMs))
            idle.push_back(socket);
    for (QTcpSocket* socket : idle) drop(socket);
}

void QtAlpacaServer::answerDiscovery() {
    while (udp_.hasPendingDatagrams()) {
        const QNetworkDatagram d = udp_.receiveDatagram(64);
        if (!d.isValid() || !d.data().startsWith("alpacadiscovery1")) continue;
        udp_.writeDatagram(QByteArray("{\"AlpacaPort\":") + QByteArray::number(port()) + "}",
                           d.senderAddress(), quint16(d.senderPort()));
    }
}

}  // namespace skarvel
