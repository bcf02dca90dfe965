#include "qt/qt_mqtt_client.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <csignal>
#include <utility>

namespace skarvel {

QtMqttClient::QtMqttClient(QObject* parent) : QObject(parent) {
    // A TLS write to a broker that has gone raises SIGPIPE, which would end the monitor.
    std::signal(SIGPIPE, SIG_IGN);
    ticker_.setInterval(1000);
    connect(&ticker_, &QTimer::timeout, this, [this] { client_->tick(); });
}

QtMqttClient::~QtMqttClient() = default;

void QtMqttClient::start(MosquittoClient& client) {
    client_ = &client;
    ticker_.start();
}

void QtMqttClient::lookUp(const std::string& name) {
    const QString host = QString::fromStdString(name);
    if (!QHostAddress(host).isNull()) return client_->resolved({});
    lookup_ = QHostInfo::lookupHost(host, this, [this](const QHostInfo& info) {
        lookup_ = -1;
        client_->resolved(info.error() == QHostInfo::NoError ? std::string()
                                                             : info.errorString().toStdString());
    });
}

void QtMqttClient::watch(int socket) {
    reader_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    writer_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
    connect(reader_.get(), &QSocketNotifier::activated, this, [this] { client_->pump(); });
    connect(writer_.get(), &QSocketNotifier::activated, this, [this] { client_->pump(); });
}

void QtMqttClient::watchWrite(bool on) {
    if (writer_) writer_->setEnabled(on);
}

void QtMqttClient::stop() {
    if (lookup_ >= 0) QHostInfo::abortHostLookup(std::exchange(lookup_, -1));
    reader_.reset();
    writer_.reset();
}

}  // namespace skarvel
