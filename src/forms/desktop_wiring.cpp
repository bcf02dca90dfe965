#include "forms/desktop_wiring.h"

#include "automation/automation_ini.h"
#include "forms/frm_main.h"
#include "platform/desktop_services.h"
#include "skarvel_version.h"
#include "store/config.h"
#include "store/file_io.h"

namespace skarvel {

int runNotifyTest(const std::string& folder, CurlLoop& loop, DesktopServices& services,
                  const std::function<void(const std::function<bool()>&)>& runUntil,
                  const std::function<void(const std::string&)>& print) {
    AutomationIni ini;
    try {
        ini = parseAutomationIni(readWholeFile(folder + "automation.ini"), [] { return "-"; });
    } catch (const std::exception& e) {
        print(folder + "automation.ini: " + e.what());
        return 1;
    }
    for (const std::string& problem : ini.problems) print(problem);
    const NotifySettings& notify = ini.settings.notify;
    if (notify.targets.empty() && notify.heartbeatUrl.empty()) {
        print(folder + "automation.ini names no notify.<name>= target and no heartbeatUrl");
        return 1;
    }
    CurlSender sender(loop, notify.caFileIn(folder), "skarvel/" SKARVEL_VERSION);
    Notifier notifier(ini.settings, sender, services, {});
    std::size_t waiting = notify.targets.size() + (notify.heartbeatUrl.empty() ? 0 : 1);
    bool all = ini.problems.empty();
    notifier.test(std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()),
                  [&](const std::string& name, const std::string& outcome, bool delivered) {
                      print(name + ": " + outcome);
                      all = all && delivered;
                      --waiting;
                  });
    runUntil([&] { return waiting == 0; });
    return all ? 0 : 1;
}

DesktopWiring::DesktopWiring(frmMain& form, DesktopServices& services,
                             std::unique_ptr<ServerListener> sockets,
                             const std::function<std::unique_ptr<MqttTransport>()>& mqtt,
                             const std::function<std::unique_ptr<CurlLoop>()>& curl)
    // The devices report the verdict the form's cycle keeps; Form_Load made it.
    : automation_(*form.automation()), sockets_(std::move(sockets)) {
    const AutomationSettings& settings = automation_.settings();
    server_.emplace(
        *sockets_, settings, automation_.state(), services,
        [&form] { return form.settings().webPath; }, GetEXEPath(services) + "automation.ini",
        SKARVEL_VERSION);
    sockets_->start(*server_);
    automation_.onPublished([this, &services](const auto& state, auto utc) {
        server_->publish();
        if (mqtt_) mqtt_->publishState(state, utc);
        if (notifier_) notifier_->cycle(state, utc, services.now());
    });
    if (!settings.notify.targets.empty() || !settings.notify.heartbeatUrl.empty()) {
        curlLoop_ = curl();
        const std::string folder = GetEXEPath(services);
        sender_.emplace(*curlLoop_, settings.notify.caFileIn(folder), "skarvel/" SKARVEL_VERSION);
        notifier_.emplace(settings, *sender_, services,
                          [this, folder](std::chrono::local_days evening) {
                              const AutomationState& s = automation_.state();
                              return std::optional<Night>(
                                  readNight(folder, evening,
                                            HistoryRules{s.cloudyThreshold, s.vCloudyThreshold,
                                                         automation_.settings(), s.skyModel}));
                          });
    }
    if (settings.mqttHost.empty()) return;
    transport_ = mqtt();
    mqtt_.emplace(settings, services, SKARVEL_VERSION, *transport_);
    mqtt_->publishState(automation_.state(),
                        std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    mqtt_->start();
}

DesktopWiring::~DesktopWiring() {
    automation_.onPublished({});
    notifier_.reset();
    sender_.reset();
    curlLoop_.reset();
    // The client's farewell goes out through its transport; sockets that end as they are
    // destroyed still tell the server.
    mqtt_.reset();
    transport_.reset();
    sockets_.reset();
}

}  // namespace skarvel
