#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/serial_control.h"
#include "store/cycle_outcome.h"
#include "store/readings_log.h"
#include "store/settings.h"

namespace skarvel {

class DesktopServices;
class MainWindowControls;

/// What the cycle hands over to the files and the graphs.
class Publishing {
  public:
    virtual ~Publishing() = default;
    /// Both throw VbError; the caller reports.
    virtual void LoadConfig() = 0;
    virtual void SaveConfig() = 0;
    /// Report their own failures.
    virtual void LogReadings(LogState& state, float ambient, float sky) = 0;
    virtual void SaveStatus(const std::string& state) = 0;
};

/// The main window's monitoring logic: start-up and the 10-second cycle.
class Monitor {
  public:
    Monitor(Settings& settings, DesktopServices& services, MainWindowControls& controls,
            SerialFactory factory, Publishing& publishing);

    /// Start-up. `createWindowsAndStartTimer` runs as its last steps.
    void Form_Load(const std::function<void()>& createWindowsAndStartTimer);
    /// One cycle, unless one is already running (then the call is skipped).
    void Timer1_Timer();
    void Update();

    void setCycleObserver(CycleObserver* observer) { observer_ = observer; }

    bool cycleRunning() const { return running_; }
    bool linkOpen() const { return linkOpen_; }
    const LogState& logState() const { return log_; }
    LogState& logState() { return log_; }

  private:
    void runCycle(CycleOutcome& outcome);

    Settings& settings_;
    DesktopServices& services_;
    MainWindowControls& controls_;
    SerialFactory factory_;
    Publishing& publishing_;

    std::unique_ptr<SerialControl> commLink_;
    bool linkOpen_ = false;
    LogState log_;
    bool running_ = false;
    CycleObserver* observer_ = nullptr;
};

}  // namespace skarvel
