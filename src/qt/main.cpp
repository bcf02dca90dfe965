#include <QApplication>

#include "qt/qt_main_window.h"
#include "qt/qt_server_sockets.h"
#include "qt/qt_termination.h"
#include "store/config.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName("Skarvel");
    app.setApplicationVersion("1.3.0");
    skarvel::QtMainWindow window;
    const skarvel::QtTerminationSignals termination(&window);
    window.Form_Load();
    // The devices report the verdict the window's cycle keeps; Form_Load made it.
    const skarvel::AutomationPublisher& automation = *window.automation();
    skarvel::QtServerSockets alpaca(
        automation.settings(), automation.state(), window.services(),
        [&window] { return window.settings().webPath; },
        skarvel::GetEXEPath(window.services()) + "automation.ini",
        app.applicationVersion().toStdString());
    alpaca.start();
    window.show();
    return app.exec();
}
