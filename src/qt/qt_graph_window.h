#pragma once

#include <QWidget>

#include "graphs/graph_window.h"
#include "qt/qt_drawing_surface.h"

namespace skarvel {

/// A graph window: a fixed tool window that shows its drawing surface.
class QtGraphWindow final : public QWidget, public WindowView {
    Q_OBJECT
  public:
    QtGraphWindow(GraphKind kind, const Settings& settings, DesktopServices& services,
                  QWidget* parent = nullptr);

    GraphWindow& form() { return form_; }
    QtDrawingSurface& surface() { return surface_; }

    bool isVisible() const override { return QWidget::isVisible(); }
    void show() override { QWidget::show(); }
    void bringToFront() override;
    void close() override { QWidget::close(); }
    void repaint() override { update(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QtDrawingSurface surface_;
    GraphWindow form_;
};

}  // namespace skarvel
