#include <QApplication>
#include <QTimer>

#include "automation/qt_alpaca_server.h"
#include "store/config.h"
#include "ui/frm_main.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName("Skarvel");
    app.setApplicationVersion("1.3.0");
    skarvel::frmMain window;
    // Alpaca: until the cycle keeps an AutomationState, the devices report the start-up state.
    // It starts with the first events handled, so it answers while a start-up message is on
    // screen, and its own message holds up no start-up.
    const skarvel::AutomationSettings automationSettings;
    const skarvel::AutomationState automationState;
    skarvel::QtAlpacaServer alpaca(
        automationSettings, automationState, window.services(),
        [&window] { return window.settings().webPath; },
        skarvel::GetEXEPath(window.services()) + "automation.ini",
        app.applicationVersion().toStdString());
    QTimer::singleShot(0, &alpaca, &skarvel::QtAlpacaServer::start);
    // Start-up runs before the window appears, so a port message comes first.
    window.Form_Load();
    window.show();
    return app.exec();
}
