#include "forms/desktop_wiring.h"

#include "forms/frm_main.h"
#include "skarvel_version.h"
#include "store/config.h"

namespace skarvel {

DesktopWiring::DesktopWiring(frmMain& form, DesktopServices& services,
                             std::unique_ptr<ServerListener> sockets,
                             const std::function<std::unique_ptr<MqttTransport>()>& mqtt)
    // The devices report the verdict the form's cycle keeps; Form_Load made it.
    : automation_(*form.automation()), sockets_(std::move(sockets)) {
    const AutomationSettings& settings = automation_.settings();
    server_.emplace(
        *sockets_, settings, automation_.state(), services,
        [&form] { return form.settings().webPath; }, GetEXEPath(services) + "automation.ini",
        SKARVEL_VERSION);
    sockets_->start(*server_);
    automation_.onPublished([this](const auto& state, auto utc) {
        server_->publish();
        if (mqtt_) mqtt_->publishState(state, utc);
    });
    if (settings.mqttHost.empty()) return;
    transport_ = mqtt();
    mqtt_.emplace(settings, services, SKARVEL_VERSION, *transport_);
    mqtt_->publishState(automation_.state(),
                        std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    mqtt_->start();
}

DesktopWiring::~DesktopWiring() {
    automation_.onPublished({});
    // The client's farewell goes out through its transport; sockets that end as they are
    // destroyed still tell the server.
    mqtt_.reset();
    transport_.reset();
    sockets_.reset();
}

}  // namespace skarvel
