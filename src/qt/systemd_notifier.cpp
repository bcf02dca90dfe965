#include "qt/systemd_notifier.h"

#ifdef SKARVEL_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace skarvel {

std::string serviceStatus(const Verdict& verdict) {
    if (verdict.safe) return verdict.reason + ", safe";
    // "ERROR: ...", "STALE: ..." say so themselves; "CLOUDY" does not.
    const std::size_t colon = verdict.reason.find(':');
    if (colon != std::string::npos && verdict.reason.find_first_of(" ,") > colon)
        return verdict.reason;
    return "UNSAFE: " + verdict.reason;
}

SystemdNotifier::SystemdNotifier(CycleObserver& next, const AutomationState& state)
    : next_(next), state_(state) {}

void SystemdNotifier::cycleEnded(const CycleOutcome& outcome) {
    next_.cycleEnded(outcome);
    send("WATCHDOG=1\nSTATUS=" + serviceStatus(state_.verdict));
}

void SystemdNotifier::ready() {
    send("READY=1\nSTATUS=" + serviceStatus(state_.verdict));
}

void SystemdNotifier::stopping() {
    send("STOPPING=1\nSTATUS=Stopping");
}

void SystemdNotifier::send([[maybe_unused]] const std::string& message) {
#ifdef SKARVEL_HAVE_SYSTEMD
    // Nothing to do without NOTIFY_SOCKET; a failure to send is systemd's to notice.
    ::sd_notify(0, message.c_str());
#endif
}

}  // namespace skarvel
