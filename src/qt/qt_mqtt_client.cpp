#include "qt/qt_mqtt_client.h"

#include <mosquitto.h>
#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

namespace skarvel {

namespace {

// A keep-alive interval that a broker notices a vanished monitor within 45 s of.
constexpr int keepAliveSeconds = 30;

std::string describe(int rc) {
    return rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
}

}  // namespace

QtMqttClient::QtMqttClient(const AutomationSettings& settings, DesktopServices& services,
                           const std::string& version, QObject* parent)
    : QObject(parent), settings_(settings), link_(settings, version, *this, services) {
    static const bool initialised = [] {
        mosquitto_lib_init();
        // A TLS write to a broker that has gone raises SIGPIPE, which would end the monitor.
        std::signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)initialised;
    ticker_.setInterval(1000);
    connect(&ticker_, &QTimer::timeout, this, [this] {
        pump();
        link_.tick(MqttLink::Clock::now());
    });
}

QtMqttClient::~QtMqttClient() {
    link_.stop();
    abort();
}

void QtMqttClient::start() {
    ticker_.start();
    link_.start(MqttLink::Clock::now());
}

void QtMqttClient::open(const MqttMessage& will) {
    abort();
    mosq_ = mosquitto_new(settings_.mqttClientId.c_str(), true, this);
    if (!mosq_) return fail("out of memory");
    mosquitto_will_set(mosq_, will.topic.c_str(), int(will.payload.size()), will.payload.data(), 1,
                       true);
    if (!settings_.mqttUser.empty()) {
        mosquitto_username_pw_set(mosq_, settings_.mqttUser.c_str(),
                                  settings_.mqttPassword.c_str());
    }
    if (settings_.mqttTls) mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
    mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
        static_cast<QtMqttClient*>(self)->connack_ = rc;
    });
    const QString host = QString::fromStdString(settings_.mqttHost);
    if (!QHostAddress(host).isNull()) return connectTo();
    // The library would look the name up on this thread, for as long as the resolver takes.
    lookup_ = QHostInfo::lookupHost(host, this, [this](const QHostInfo& info) {
        lookup_ = -1;
        if (info.error() != QHostInfo::NoError) return fail(info.errorString().toStdString());
        connectTo();
    });
}

void QtMqttClient::connectTo() {
    const int rc = mosquitto_connect_async(mosq_, settings_.mqttHost.c_str(), settings_.mqttPort,
                                           keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) return fail(describe(rc));
    const int socket = mosquitto_socket(mosq_);
    reader_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
    writer_ = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
    connect(reader_.get(), &QSocketNotifier::activated, this, &QtMqttClient::pump);
    connect(writer_.get(), &QSocketNotifier::activated, this, &QtMqttClient::pump);
}

void QtMqttClient::pump() {
    if (!mosq_ || !reader_) return;
    const int rc = mosquitto_loop(mosq_, 0, 1);
    if (const std::optional<int> connack = std::exchange(connack_, std::nullopt)) {
        if (*connack != 0) return fail(mosquitto_connack_string(*connack));
        link_.opened();
    }
    if (rc != MOSQ_ERR_SUCCESS) return fail(describe(rc));
    if (writer_) writer_->setEnabled(mosquitto_want_write(mosq_));
}

void QtMqttClient::publish(const MqttMessage& message) {
    mosquitto_publish(mosq_, nullptr, message.topic.c_str(), int(message.payload.size()),
                      message.payload.data(), 1, true);
    // A lost connection shows in the next pump.
    if (writer_) writer_->setEnabled(mosquitto_want_write(mosq_));
}

void QtMqttClient::close() {
    mosquitto_disconnect(mosq_);
    // The last words go before the process may end; a second at most.
    for (int i = 0; i < 10 && mosquitto_want_write(mosq_); ++i) mosquitto_loop(mosq_, 100, 1);
}

void QtMqttClient::abort() {
    if (lookup_ >= 0) QHostInfo::abortHostLookup(std::exchange(lookup_, -1));
    reader_.reset();
    writer_.reset();
    connack_.reset();
    if (mosq_) mosquitto_destroy(std::exchange(mosq_, nullptr));
}

void QtMqttClient::fail(const std::string& why) {
    link_.lost(why, MqttLink::Clock::now());
}

}  // namespace skarvel
