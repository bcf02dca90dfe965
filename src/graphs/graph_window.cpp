#include "graphs/graph_window.h"

namespace skarvel {

void GraphWindow::PlotGraph() {
    // A redraw of an unloaded window loads it; the load's own redraw would draw the same
    // picture again, so it is skipped.
    loaded_ = true;
    plot_.PlotGraph();
    view_.repaint();
}

void GraphWindow::showWindow() {
    if (!loaded_) {
        loaded_ = true;
        plot_.PlotGraph();  // Form_Load
    }
    if (view_.isVisible()) {
        view_.bringToFront();
    } else {
        view_.show();
    }
}

void GraphWindow::unloadWindow() {
    if (view_.isVisible()) view_.close();
    loaded_ = false;
}

}  // namespace skarvel
