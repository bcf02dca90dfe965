#pragma once

#include "graphs/graph_plot.h"

namespace skarvel {

/// A top-level window as the forms drive it; each desktop implements it for its own windows.
class WindowView {
  public:
    virtual ~WindowView() = default;
    virtual bool isVisible() const = 0;
    virtual void show() = 0;
    /// Brings an open window forward with the keyboard focus.
    virtual void bringToFront() = 0;
    virtual void close() = 0;
    /// Shows the picture as drawn now.
    virtual void repaint() = 0;
};

/// One of the three history graph windows (frmHistory, frmMonth, frmYear). It is created
/// unloaded; the first showing or the first redraw loads it, and closing it unloads it again.
/// Redraws happen whether it is shown or not.
class GraphWindow final : public GraphRedraw {
  public:
    GraphWindow(GraphKind kind, DrawingSurface& surface, const Settings& settings,
                DesktopServices& services, WindowView& view)
        : plot_(kind, surface, settings, services), view_(view) {}

    /// Redraws from the day files and writes both images; reports its own failures.
    void PlotGraph() override;
    /// Shows the window modelessly, loading it (and so drawing it) on first use, or brings it
    /// forward when it is already open.
    void showWindow();
    /// Closes the window if it is open and marks it unloaded.
    void unloadWindow();
    /// The window was closed by its close box.
    void closed() { loaded_ = false; }
    bool isLoaded() const { return loaded_; }
    bool isShown() const { return view_.isVisible(); }

    const GraphPlot& plot() const { return plot_; }

  private:
    GraphPlot plot_;
    WindowView& view_;
    bool loaded_ = false;
};

}  // namespace skarvel
