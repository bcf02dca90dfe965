#pragma once

#include <string>

#include "automation/automation_state.h"
#include "forms/frm_main.h"

namespace skarvel {

/// The STATUS line systemd shows for a verdict: "CLEAR, safe", "STALE: no reading for 135 s",
/// "UNSAFE: CLOUDY".
std::string serviceStatus(const Verdict& verdict);

/// systemd's service protocol (sd_notify): READY once the timer runs, WATCHDOG and the verdict
/// as STATUS after every cycle, STOPPING when a clean end begins. Outside systemd (no
/// NOTIFY_SOCKET), and in a build without libsystemd, it sends nothing.
class SystemdNotifier final : public ServiceNotifier {
  public:
    /// `next` is told of each cycle first; `state` then holds the verdict to report.
    SystemdNotifier(CycleObserver& next, const AutomationState& state);

    void cycleEnded(const CycleOutcome& outcome) override;
    void ready() override;
    void stopping() override;

  private:
    void send(const std::string& message);

    CycleObserver& next_;
    const AutomationState& state_;
};

}  // namespace skarvel
