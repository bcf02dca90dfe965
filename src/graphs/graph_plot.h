#pragma once

#include <cstdint>
#include <string>

#include "graphs/drawing_surface.h"
#include "store/date_time.h"
#include "store/field_reader.h"
#include "store/readings_log.h"
#include "store/settings.h"

namespace skarvel {

class DesktopServices;

enum class GraphKind { History, Month, Year };

/// The logic of one history graph window: redraws the picture from the day files and exports
/// it to the program folder and the web folder.
class GraphPlot final : public GraphRedraw {
  public:
    GraphPlot(GraphKind kind, DrawingSurface& surface, const Settings& settings,
              DesktopServices& services);

    void PlotGraph() override;

    /// frmHistory, frmMonth or frmYear.
    const char* formName() const;
    /// "3 Day History Graph", "30 Day History Graph", "Year History Graph".
    const char* caption() const;
    /// history.bmp, month.bmp or year.bmp.
    const char* imageName() const;
    /// Pixel size of the drawing surface for a kind.
    static int surfaceWidth(GraphKind kind);
    static int surfaceHeight(GraphKind kind);

    /// Draws one record (exposed for tests). Reports its own failures and returns normally.
    void plotEntry(LocalTime present, LocalTime recordTime, const FieldValue& ambient,
                   const FieldValue& sky, const bool& firstReading);

  private:
    GraphKind kind_;
    DrawingSurface& surface_;
    const Settings& settings_;
    DesktopServices& services_;
    double prevX_ = 0;
    double prevYd_ = 0;
    double prevYa_ = 0;
    double daySum_ = 0;
    std::int16_t dayCount_ = 0;
    // Set by plotEntry once a record has got far enough to seed the previous point.
    bool placed_ = false;
};

}  // namespace skarvel
