#include "qt/qt_graph_window.h"

#include <QCloseEvent>
#include <QPainter>

#include "forms/form_table.h"

namespace skarvel {

QtGraphWindow::QtGraphWindow(GraphKind kind, const Settings& settings, DesktopServices& services,
                             QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      surface_(GraphPlot::surfaceWidth(kind), GraphPlot::surfaceHeight(kind)),
      form_(kind, surface_, settings, services, *this) {
    setWindowTitle(QString::fromLatin1(form_.plot().caption()));
    setObjectName(QString::fromLatin1(form_.plot().formName()));
    setFixedSize(GraphFormTable::kClientWidth, GraphFormTable::kClientHeight);
    // The main window keeps this window for the whole run; closing only unloads it.
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void QtGraphWindow::bringToFront() {
    raise();
    activateWindow();
}

void QtGraphWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.drawImage(GraphFormTable::kSurfaceLeft, GraphFormTable::kSurfaceTop, surface_.image());
}

void QtGraphWindow::closeEvent(QCloseEvent* event) {
    form_.closed();
    event->accept();
}

}  // namespace skarvel
