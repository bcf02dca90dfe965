#include "live_sensor.h"

#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>

#include "pty_port.h"
#include "sensor_line.h"
#include "weather.h"

namespace skarvel::sim {

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int) {
    stopRequested = 1;
}

// The stop signals stay blocked except inside ppoll, so one arriving between the check and
// the wait still wakes the wait at once.
class StopSignals {
  public:
    StopSignals() {
        sigset_t stop;
        sigemptyset(&stop);
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        for (int s : kSignals) {
            sigaddset(&stop, s);
            sigaction(s, &action, &previous_[index(s)]);
        }
        sigprocmask(SIG_BLOCK, &stop, &waitMask_);
        sigdelset(&waitMask_, SIGINT);
        sigdelset(&waitMask_, SIGTERM);
        sigdelset(&waitMask_, SIGHUP);
    }
    ~StopSignals() {
        sigset_t stop;
        sigemptyset(&stop);
        for (int s : kSignals) sigaddset(&stop, s);
        sigprocmask(SIG_UNBLOCK, &stop, nullptr);
        for (int s : kSignals) sigaction(s, &previous_[index(s)], nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    /// Sleeps until `until`; false when a stop signal came first.
    bool sleepUntil(Clock::time_point until) const {
        for (;;) {
            if (stopRequested) return false;
            const auto now = Clock::now();
            if (now >= until) return true;
            const auto wait = std::min<Clock::duration>(until - now, std::chrono::seconds(1));
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            const timespec ts{time_t(ns / 1000000000), long(ns % 1000000000)};
            ppoll(nullptr, 0, &ts, &waitMask_);
        }
    }

  private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    static int index(int s) { return s == SIGINT ? 0 : s == SIGTERM ? 1 : 2; }
    struct sigaction previous_[3]{};
    sigset_t waitMask_{};
};

Clock::time_point after(Clock::time_point start, double seconds) {
    return start +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

int runLiveSensor(const Options& o, LocalTime now) {
    stopRequested = 0;
    const StopSignals signals;
    PseudoTerminal port;
    DeviceLink link(o.link, port.slaveName());
    std::printf("skarvel-sensor-sim: %s linked as %s\n", port.slaveName().c_str(),
                link.path().c_str());
    std::fflush(stdout);

    const SeasonalWeather weather(o.seed);
    const double from = double(now.time_since_epoch().count());
    const std::function<SkySample(double)> sensed =
        o.sky ? std::function<SkySample(double)>([&](double) {
            return SkySample{*o.sky, *o.ambient};
        })
              : [&](double t) { return weather.at(from + t); };
    LineSequence lines(o.badEvery, o.seed);
    LineWriter writer(port.master());

    const auto start = Clock::now();
    const auto unplugAt = o.unplugAfter ? after(start, *o.unplugAfter) : Clock::time_point::max();
    std::int64_t tick = 0;
    std::int64_t made = 0;
    bool warned = false;
    for (;;) {
        const auto next = o.silent ? unplugAt : std::min(after(start, tick * o.interval), unplugAt);
        if (!signals.sleepUntil(next)) return 0;
        if (Clock::now() >= unplugAt) {
            port.close();
            link.leave();
            return 0;
        }
        if (!writer.send(lines.next(sensed(tick * o.interval))) && !warned) {
            std::fputs("skarvel-sensor-sim: nobody is reading; dropping lines\n", stderr);
            warned = true;
        }
        ++made;
        if (o.count && made >= *o.count) break;
        ++tick;
        // After a stall (a suspended machine) carry on at the pace instead of catching up.
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        if (elapsed > (tick + 1) * o.interval) tick = std::int64_t(elapsed / o.interval);
    }

    // Unread bytes die with the master, so give the reader a moment to take the last lines.
    // The count of unread bytes lags a fresh write, hence the pause before trusting it.
    const auto giveUp = Clock::now() + std::chrono::seconds(2);
    auto check = Clock::now() + std::chrono::milliseconds(50);
    while (signals.sleepUntil(check) && check < giveUp) {
        if (writer.flush() && port.unread() == 0) break;
        check += std::chrono::milliseconds(10);
    }
    return 0;
}

}  // namespace skarvel::sim
