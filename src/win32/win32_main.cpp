// Winsock before anything that brings in windows.h.
#include "win32/win32_server_sockets.h"
// clang-format off
#include <commctrl.h>
// clang-format on

#include <optional>

#include "skarvel_version.h"
#include "store/config.h"
#include "win32/win32_mqtt_client.h"
#include "win32/win32_windows.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    skarvel::Win32DesktopServices services(instance);
    skarvel::Win32MainWindow window(instance, services, {});
    window.form().Form_Load();
    // The devices report the verdict the window's cycle keeps; Form_Load made it.
    skarvel::AutomationPublisher& automation = *window.form().automation();
    skarvel::Win32ServerSockets alpaca(
        automation.settings(), automation.state(), services,
        [&window] { return window.form().settings().webPath; },
        skarvel::GetEXEPath(services) + "automation.ini", SKARVEL_VERSION, instance);
    alpaca.start();
    std::optional<skarvel::Win32MqttClient> mqtt;
    if (!automation.settings().mqttHost.empty()) {
        mqtt.emplace(automation.settings(), services, SKARVEL_VERSION, instance);
        mqtt->client().publishState(automation.state(), std::chrono::floor<std::chrono::seconds>(
                                                            std::chrono::system_clock::now()));
        automation.onPublished(
            [&mqtt](const auto& state, auto utc) { mqtt->client().publishState(state, utc); });
        mqtt->start();
    }
    window.show();
    const int code = services.run();
    automation.onPublished({});
    return code;
}
