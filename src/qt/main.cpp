#include <QApplication>
#include <cstdio>
#include <string_view>

#include "forms/desktop_wiring.h"
#include "qt/folder_lock.h"
#include "qt/qt_curl_loop.h"
#include "qt/qt_desktop_services.h"
#include "qt/qt_main_window.h"
#include "qt/qt_mqtt_client.h"
#include "qt/qt_server_sockets.h"
#include "qt/qt_termination.h"
#include "skarvel_version.h"
#include "store/config.h"

int main(int argc, char** argv) {
    // Beside a running monitor of the same folder, without a window or the folder's lock.
    if (argc == 2 && std::string_view(argv[1]) == "--notify-test") {
        QCoreApplication app(argc, argv);
        skarvel::QtDesktopServices services;
        skarvel::QtCurlLoop loop;
        return skarvel::runNotifyTest(
            skarvel::GetEXEPath(services), loop, services,
            [](const std::function<bool()>& done) {
                while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            },
            [](const std::string& line) { std::printf("%s\n", line.c_str()); });
    }
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
    const skarvel::DesktopWiring wiring(
        window.form(), window.services(),
        std::make_unique<skarvel::QtServerSockets>(window.automation()->settings(),
                                                   window.services()),
        [] { return std::make_unique<skarvel::QtMqttClient>(); },
        [] { return std::make_unique<skarvel::QtCurlLoop>(); });
    // The program ends with its main window. Qt's own quit on the last window closed is
    // sometimes lost when the window closes while a cycle waits for the sensor.
    QObject::connect(&window, &skarvel::QtMainWindow::closed, &app,
                     [] { QCoreApplication::exit(0); });
    window.show();
    return app.exec();
}
