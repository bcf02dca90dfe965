#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "store/date_time.h"
#include "store/settings.h"

namespace skarvel {

class DesktopServices;
class MainWindowControls;

/// The averaging state the cycle shares with the log.
struct LogState {
    float lastLogSlot = 0;
    float skySum = 0;
    std::int16_t readingCount = 0;
};

/// A history graph that redraws itself from the day files and saves its images. It reports
/// its own failures and never throws.
class GraphRedraw {
  public:
    virtual ~GraphRedraw() = default;
    virtual void PlotGraph() = 0;
};

/// 0, 15, 30 or 45.
int quarterSlot(int minute);

/// "2008_12_1": the day-file name without ".csv" (also the graphs' date label).
std::string dateLabel(LocalTime t);
/// "2008_12_1.csv".
std::string dayFileName(LocalTime t);
/// "12/1/2008 9:39:05 PM,3.2,-28.46667\r\n".
std::string logLine(LocalTime t, float ambient, float sky);

struct LogContext {
    DesktopServices& services;
    const Settings& settings;
    const MainWindowControls& controls;
    /// Redrawn in order after each new line: three-day, thirty-day, year.
    std::span<GraphRedraw* const> graphs;
};

/// Appends a line when the quarter-hour slot has changed, resets the averaging and has the
/// graphs redrawn; then, on every call, rewrites the status page. Reports its own failures
/// (procedure LogReadings, form frmMain); on failure the state is kept so the next cycle
/// retries the same line.
void LogReadings(LogState& state, float ambient, float sky, const LogContext& context);

}  // namespace skarvel
