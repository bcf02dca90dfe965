#include <QApplication>

#include "ui/frm_main.h"
#include "ui/qt_termination.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName("Skarvel");
    app.setApplicationVersion("1.3.0");
    skarvel::frmMain window;
    const skarvel::QtTerminationSignals termination(&window);
    window.Form_Load();
    window.show();
    return app.exec();
}
