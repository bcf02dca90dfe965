#pragma once

#include <QWidget>

#include "graphs/graph_plot.h"
#include "graphs/qt_drawing_surface.h"
#include "store/readings_log.h"
#include "store/settings.h"

namespace skarvel {

class DesktopServices;

/// One of the three history graph windows (frmHistory, frmMonth, frmYear): a fixed tool window
/// that shows its drawing surface. It is created unloaded; the first showing or the first
/// redraw loads it, and closing it unloads it again. Redraws happen whether it is shown or not.
class GraphWindow : public QWidget, public GraphRedraw {
    Q_OBJECT

  public:
    GraphWindow(GraphKind kind, const Settings& settings, DesktopServices& services,
                QWidget* parent = nullptr);

    /// Redraws from the day files and writes both images; reports its own failures.
    void PlotGraph() override;
    /// Shows the window modelessly, loading it (and so drawing it) on first use, or brings it
    /// forward when it is already open.
    void showWindow();
    /// Closes the window if it is open and marks it unloaded.
    void unloadWindow();
    bool isLoaded() const { return loaded_; }

    GraphKind kind() const { return plot_.kind(); }
    QtDrawingSurface& surface() { return surface_; }

    static constexpr int kClientWidth = 1016;
    static constexpr int kClientHeight = 549;
    static constexpr int kSurfaceLeft = 8;
    static constexpr int kSurfaceTop = 8;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void Form_Load();

    QtDrawingSurface surface_;
    GraphPlot plot_;
    bool loaded_ = false;
};

}  // namespace skarvel
