#pragma once

#include <array>

#include "core/monitor.h"

namespace skarvel {

/// The cycle's files: config.ini, the day files with the graphs they redraw, status.txt and
/// the status page.
class FilePublishing final : public Publishing {
  public:
    FilePublishing(Settings& settings, DesktopServices& services,
                   const MainWindowControls& controls);

    void LoadConfig() override;
    void SaveConfig() override;
    void LogReadings(LogState& state, float ambient, float sky) override;
    void SaveStatus(const std::string& state) override;

    /// Three-day, thirty-day and year graph, redrawn in that order after each log line.
    void setGraphs(GraphRedraw* history, GraphRedraw* month, GraphRedraw* year);

  private:
    Settings& settings_;
    DesktopServices& services_;
    const MainWindowControls& controls_;
    std::array<GraphRedraw*, 3> graphs_{};
};

}  // namespace skarvel
