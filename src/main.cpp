#include <QApplication>

#include "ui/frm_main.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName("Skarvel");
    app.setApplicationVersion("1.3.0");
    skarvel::frmMain window;
    // Start-up runs before the window appears, so a port message comes first.
    window.Form_Load();
    window.show();
    return app.exec();
}
