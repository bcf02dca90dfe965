#include "automation/mosquitto_client.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/desktop_services.h"

namespace skarvel {

namespace {

// A keep-alive interval that a broker notices a vanished monitor within 45 s of.
constexpr int keepAliveSeconds = 30;

std::string describe(int rc) {
    return rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
}

bool libraryHasTls() {
    mosquitto* probe = mosquitto_new(nullptr, true, nullptr);
    const bool has = probe && mosquitto_int_option(probe, MOSQ_OPT_TLS_USE_OS_CERTS, 1) !=
                                  MOSQ_ERR_NOT_SUPPORTED;
    mosquitto_destroy(probe);
    return has;
}

}  // namespace

MosquittoClient::MosquittoClient(const AutomationSettings& settings, DesktopServices& services,
                                 const std::string& version, MqttTransport& transport)
    : settings_(settings),
      services_(services),
      transport_(transport),
      link_(settings, version, *this, services) {
    static const bool initialised = [] { return mosquitto_lib_init() == MOSQ_ERR_SUCCESS; }();
    (void)initialised;
}

MosquittoClient::~MosquittoClient() {
    link_.stop();
    abort();
}

void MosquittoClient::start() {
    // Without TLS the password and the state would cross the network in clear, which whoever
    // asked for TLS did not want.
    if (settings_.mqttTls && !libraryHasTls()) {
        services_.messageBox(
            "automation.ini: mqttTls=1, but this program's MQTT library has no TLS; nothing is "
            "published to the broker.");
        return;
    }
    transport_.start(*this);
    link_.start(MqttLink::Clock::now());
}

void MosquittoClient::tick() {
    pump();
    link_.tick(MqttLink::Clock::now());
}

void MosquittoClient::open(const MqttMessage& will) {
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
        static_cast<MosquittoClient*>(self)->connack_ = rc;
    });
    // The library would look the name up on this thread, for as long as the resolver takes.
    lookingUp_ = true;
    transport_.lookUp(settings_.mqttHost);
}

void MosquittoClient::resolved(const std::string& error) {
    if (!std::exchange(lookingUp_, false) || !mosq_) return;
    if (!error.empty()) return fail(error);
    // The name, not the address: TLS checks the broker's certificate against it.
    const int rc = mosquitto_connect_async(mosq_, settings_.mqttHost.c_str(), settings_.mqttPort,
                                           keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) return fail(describe(rc));
    watching_ = true;
    transport_.watch(mosquitto_socket(mosq_));
    transport_.watchWrite(true);
}

void MosquittoClient::pump() {
    if (!mosq_ || !watching_) return;
    const int rc = mosquitto_loop(mosq_, 0, 1);
    if (const std::optional<int> connack = std::exchange(connack_, std::nullopt)) {
        if (*connack != 0) return fail(mosquitto_connack_string(*connack));
        link_.opened();
    }
    if (rc != MOSQ_ERR_SUCCESS) return fail(describe(rc));
    if (mosq_) transport_.watchWrite(mosquitto_want_write(mosq_));
}

void MosquittoClient::publish(const MqttMessage& message) {
    mosquitto_publish(mosq_, nullptr, message.topic.c_str(), int(message.payload.size()),
                      message.payload.data(), 1, true);
    // A lost connection shows in the next pump.
    if (watching_) transport_.watchWrite(mosquitto_want_write(mosq_));
}

void MosquittoClient::close() {
    mosquitto_disconnect(mosq_);
    // The last words go before the process may end; a second at most.
    for (int i = 0; i < 10 && mosquitto_want_write(mosq_); ++i) mosquitto_loop(mosq_, 100, 1);
}

void MosquittoClient::abort() {
    transport_.stop();
    lookingUp_ = watching_ = false;
    connack_.reset();
    if (mosq_) mosquitto_destroy(std::exchange(mosq_, nullptr));
}

void MosquittoClient::fail(const std::string& why) {
    link_.lost(why, MqttLink::Clock::now());
}

}  // namespace skarvel
