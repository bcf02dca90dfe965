#include "forms/frm_main.h"

#include <algorithm>

#include "platform/desktop_services.h"
#include "store/config.h"
#include "store/vb_error.h"

namespace skarvel {

frmMain::frmMain(MainWindowView& view, MainWindowControls& controls, DesktopServices& services,
                 SerialFactory factory)
    : view_(view),
      services_(services),
      publishing_(settings_, services_, controls),
      monitor_(std::make_unique<Monitor>(settings_, services_, controls, std::move(factory),
                                         publishing_)),
      setup_(settings_, services_) {}

frmMain::~frmMain() = default;

void frmMain::Form_Load() {
    // automation.ini is read once; the verdict follows every cycle from the first on.
    automation_ = std::make_unique<AutomationPublisher>(GetEXEPath(services_), services_);
    if (notifierFactory_) notifier_ = notifierFactory_(*automation_, automation_->state());
    monitor_->setCycleObserver(notifier_ ? static_cast<CycleObserver*>(notifier_.get())
                                         : automation_.get());
    monitor_->Form_Load([this] { createWindowsAndStartTimer(); });
}

void frmMain::createWindowsAndStartTimer() {
    for (GraphKind kind : {GraphKind::History, GraphKind::Month, GraphKind::Year})
        graphs_.push_back(&view_.createGraphWindow(kind));
    publishing_.setGraphs(graphs_[0], graphs_[1], graphs_[2]);
    view_.createSetupDialog(setup_);
    windowsCreated_ = true;
    view_.startTimer1(10000);
    if (notifier_) notifier_->ready();
}

GraphWindow* frmMain::graphWindow(int index) const {
    return index >= 0 && index < int(graphs_.size()) ? graphs_[index] : nullptr;
}

void frmMain::Timer1_Timer() {
    if (unloaded_) return;
    const bool outer = !monitor_->cycleRunning();
    monitor_->Timer1_Timer();
    if (outer) services_.settleMessages();
    // Setup pressed while the cycle waited for the sensor opens once the cycle is done.
    if (outer && setupPending_) {
        setupPending_ = false;
        view_.later([this] { SetupButton_Click(); });
    }
}

void frmMain::showGraph(int index) {
    GraphWindow* window = graphWindow(index);
    if (!window) return;
    if (!window->isShown()) {
        loadOrder_.erase(std::remove(loadOrder_.begin(), loadOrder_.end(), window),
                         loadOrder_.end());
        loadOrder_.push_back(window);
    }
    window->showWindow();
}

void frmMain::saveConfigReporting(const char* procedure) {
    try {
        publishing_.SaveConfig();
    } catch (const std::exception& e) {
        reportError(services_, e, 0, procedure, "frmMain");
    }
}

void frmMain::SetupButton_Click() {
    if (!windowsCreated_ || unloaded_) return;
    if (monitor_->cycleRunning()) {
        setupPending_ = true;
        return;
    }
    setup_.showModal();
    saveConfigReporting("SetupButton_Click");
    Timer1_Timer();
}

void frmMain::AboutButton_Click() {
    const Version v = services_.version();
    services_.messageBox(services_.title() + " - Version " + std::to_string(v.major) + "." +
                         std::to_string(v.minor) + "." + std::to_string(v.revision));
}

void frmMain::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    if (notifier_) notifier_->stopping();
    view_.stopTimer1();
    // Newest first, the main window never. Windows loaded only by a redraw count as older.
    for (GraphWindow* g : graphs_) {
        if (g->isLoaded() && std::find(loadOrder_.begin(), loadOrder_.end(), g) == loadOrder_.end())
            loadOrder_.insert(loadOrder_.begin(), g);
    }
    for (auto it = loadOrder_.rbegin(); it != loadOrder_.rend(); ++it) (*it)->unloadWindow();
    loadOrder_.clear();
    services_.closeMessages();
    saveConfigReporting("Form_Unload");
}

}  // namespace skarvel
