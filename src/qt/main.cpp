#include <QApplication>
#include <cstdio>
#include <optional>

#include "qt/folder_lock.h"
#include "qt/qt_desktop_services.h"
#include "qt/qt_main_window.h"
#include "qt/qt_mqtt_client.h"
#include "qt/qt_server_sockets.h"
#include "qt/qt_termination.h"
#include "skarvel_version.h"
#include "store/config.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName("Skarvel");
    app.setApplicationVersion(SKARVEL_VERSION);
    // Before anything of the folder is touched: two monitors would take turns at every file.
    const skarvel::FolderLock lock(skarvel::QtDesktopServices().appPath() + "/");
    if (!lock.held()) {
        std::fprintf(stderr, "%s\n", lock.refusal().c_str());
        return 1;
    }
    skarvel::QtMainWindow window;
    const skarvel::QtTerminationSignals termination(&window);
    window.Form_Load();
    // The devices report the verdict the window's cycle keeps; Form_Load made it.
    skarvel::AutomationPublisher& automation = *window.automation();
    const std::string version = app.applicationVersion().toStdString();
    skarvel::QtServerSockets alpaca(
        automation.settings(), automation.state(), window.services(),
        [&window] { return window.settings().webPath; },
        skarvel::GetEXEPath(window.services()) + "automation.ini", version);
    alpaca.start();
    std::optional<skarvel::QtMqttClient> mqtt;
    if (!automation.settings().mqttHost.empty()) {
        mqtt.emplace(automation.settings(), window.services(), version);
        mqtt->client().publishState(automation.state(), std::chrono::floor<std::chrono::seconds>(
                                                            std::chrono::system_clock::now()));
        automation.onPublished(
            [&mqtt](const auto& state, auto utc) { mqtt->client().publishState(state, utc); });
        mqtt->start();
    }
    // The program ends with its main window. Qt's own quit on the last window closed is
    // sometimes lost when the window closes while a cycle waits for the sensor.
    QObject::connect(&window, &skarvel::QtMainWindow::closed, &app,
                     [] { QCoreApplication::exit(0); });
    window.show();
    const int code = app.exec();
    automation.onPublished({});
    return code;
}
