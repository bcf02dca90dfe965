#include "graphs/graph_window.h"

#include <QCloseEvent>
#include <QPainter>

namespace skarvel {

GraphWindow::GraphWindow(GraphKind kind, const Settings& settings, DesktopServices& services,
                         QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      surface_(GraphPlot::surfaceWidth(kind), GraphPlot::surfaceHeight(kind)),
      plot_(kind, surface_, settings, services) {
    setWindowTitle(QString::fromLatin1(plot_.caption()));
    setObjectName(QString::fromLatin1(plot_.formName()));
    setFixedSize(kClientWidth, kClientHeight);
    // The main window keeps this window for the whole run; closing only unloads it.
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void GraphWindow::Form_Load() {
    plot_.PlotGraph();
}

void GraphWindow::PlotGraph() {
    // A redraw of an unloaded window loads it; the load's own redraw would draw the same
    // picture again, so it is skipped.
    loaded_ = true;
    plot_.PlotGraph();
    update();
}

void GraphWindow::showWindow() {
    if (!loaded_) {
        loaded_ = true;
        Form_Load();
    }
    if (isVisible()) {
        raise();
        activateWindow();
    } else {
        show();
    }
}

void GraphWindow::unloadWindow() {
    if (isVisible()) close();
    loaded_ = false;
}

void GraphWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.drawImage(kSurfaceLeft, kSurfaceTop, surface_.image());
}

void GraphWindow::closeEvent(QCloseEvent* event) {
    loaded_ = false;
    event->accept();
}

}  // namespace skarvel
