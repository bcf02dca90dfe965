#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "automation/automation_state.h"
#include "automation/safety_verdict.h"
#include "store/cycle_outcome.h"

namespace skarvel {

class DesktopServices;

/// Keeps the automation state up to date after every cycle and rewrites safety.json and
/// boltwood.txt in the program folder.
class AutomationPublisher final : public CycleObserver {
  public:
    using UtcClock = std::function<std::chrono::sys_seconds()>;

    /// Reads automation.ini in `folder` (ending with the separator) and at once publishes
    /// "unsafe, no reading yet", so files left by an earlier run never speak for this one.
    /// `utc` defaults to the system clock.
    AutomationPublisher(std::string folder, DesktopServices& services, UtcClock utc = {});
    /// Publishes "unsafe, stopped": nobody watches the sky once the monitor has gone.
    ~AutomationPublisher() override;
    AutomationPublisher(const AutomationPublisher&) = delete;
    AutomationPublisher& operator=(const AutomationPublisher&) = delete;

    void cycleEnded(const CycleOutcome& outcome) override;

    /// Told after every cycle, once the state is up to date.
    void onPublished(std::function<void(const AutomationState&, std::chrono::sys_seconds)> f) {
        published_ = std::move(f);
    }

    const AutomationSettings& settings() const { return settings_; }
    const AutomationState& state() const { return state_; }

  private:
    /// The clear sky from the log as it stands at `now`.
    void learnSky(LocalTime now);
    /// Seconds since the last reading.
    std::int64_t ageAt(std::chrono::sys_seconds utc);
    /// Reports the first failure of a run of failed writes only.
    void publish(std::chrono::sys_seconds utc, bool report);

    std::string folder_;
    DesktopServices& services_;
    UtcClock utc_;
    AutomationSettings settings_;
    AutomationState state_;
    SafetyVerdict verdict_;
    bool failing_ = false;
    LocalTime learnedDay_{};
    std::function<void(const AutomationState&, std::chrono::sys_seconds)> published_;
};

}  // namespace skarvel
