#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "automation/automation_publisher.h"
#include "core/file_publishing.h"
#include "core/monitor.h"
#include "forms/frm_setup.h"
#include "graphs/graph_window.h"
#include "platform/main_window_controls.h"
#include "store/settings.h"

namespace skarvel {

/// The main window on a desktop: Timer1 and the windows it owns.
class MainWindowView {
  public:
    virtual ~MainWindowView() = default;
    virtual void startTimer1(int intervalMs) = 0;
    virtual void stopTimer1() = 0;
    /// Runs `step` from the event loop, after the event being handled.
    virtual void later(std::function<void()> step) = 0;
    /// Creates the graph window of `kind`, unloaded and hidden; the view keeps it.
    virtual GraphWindow& createGraphWindow(GraphKind kind) = 0;
    /// Creates the setup dialog's window for `form` and hands it to the form.
    virtual void createSetupDialog(frmSetup& form) = 0;
};

/// A service manager watching the monitor: told of every cycle after the verdict's files, ready
/// once the timer runs, stopping when the end begins.
class ServiceNotifier : public CycleObserver {
  public:
    virtual void ready() = 0;
    virtual void stopping() = 0;
};
/// Makes the notifier at start-up; it passes each cycle on to `next` first, then reads `state`.
using ServiceNotifierFactory =
    std::function<std::unique_ptr<ServiceNotifier>(CycleObserver& next, const AutomationState&)>;

/// The main window's behaviour, the same on every desktop: start-up, the timer, the five
/// buttons and the end.
class frmMain {
  public:
    /// `factory` makes the serial control the monitor opens.
    frmMain(MainWindowView& view, MainWindowControls& controls, DesktopServices& services,
            SerialFactory factory);
    ~frmMain();

    /// Where there is a service manager, the notifier for it; call before Form_Load.
    void setServiceNotifier(ServiceNotifierFactory factory) {
        notifierFactory_ = std::move(factory);
    }
    /// Start-up: settings, automation.ini, the link, the windows and the timer.
    void Form_Load();
    void Timer1_Timer();
    void HistoryButton_Click() { showGraph(0); }
    void MonthButton_Click() { showGraph(1); }
    void YearButton_Click() { showGraph(2); }
    void SetupButton_Click();
    void AboutButton_Click();
    /// Graph windows unloaded newest first, the boxes closed, config.ini saved. Once only.
    void Form_Unload();

    Monitor& monitor() { return *monitor_; }
    Settings& settings() { return settings_; }
    frmSetup& setup() { return setup_; }
    GraphWindow* graphWindow(int index) const;
    /// The safety verdict and its files; null before Form_Load.
    AutomationPublisher* automation() const { return automation_.get(); }

  private:
    void showGraph(int index);
    void createWindowsAndStartTimer();
    void saveConfigReporting(const char* procedure);

    MainWindowView& view_;
    DesktopServices& services_;
    Settings settings_;
    FilePublishing publishing_;
    std::unique_ptr<AutomationPublisher> automation_;
    ServiceNotifierFactory notifierFactory_;
    std::unique_ptr<ServiceNotifier> notifier_;
    std::unique_ptr<Monitor> monitor_;
    frmSetup setup_;
    std::vector<GraphWindow*> graphs_;
    std::vector<GraphWindow*> loadOrder_;
    bool windowsCreated_ = false;
    bool setupPending_ = false;
    bool unloaded_ = false;
};

}  // namespace skarvel
