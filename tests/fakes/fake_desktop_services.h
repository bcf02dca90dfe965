#pragma once

#include <functional>
#include <string>
#include <vector>

#include "store/date_time.h"
#include "ui/desktop_services.h"

namespace skarvel::testing {

/// Desktop services on virtual time: sleep advances the clock at once, messages are recorded.
class FakeDesktopServices : public DesktopServices {
  public:
    explicit FakeDesktopServices(std::string appPath = "/tmp/skarvel-test",
                                 LocalTime start = makeTime(2008, 12, 1, 21, 39, 5))
        : appPath_(std::move(appPath)),
          now_(std::chrono::floor<std::chrono::milliseconds>(start)) {}

    using DesktopServices::messageBox;
    void messageBox(const std::string& text, const std::string& about) override {
        messages.push_back(text);
        concerning.push_back(about);
        if (onMessage) onMessage(text);
    }
    void sleep(int ms) override {
        now_ += std::chrono::milliseconds(ms);
        sleptMs += ms;
        if (onSleep) onSleep();
    }
    void doEvents() override {
        ++doEventsCalls;
        if (onDoEvents) onDoEvents();
    }
    std::string appPath() const override { return appPath_; }
    std::string title() const override { return "Skarvel"; }
    Version version() const override { return {}; }
    LocalTime now() const override { return std::chrono::floor<std::chrono::seconds>(now_); }

    void setNow(LocalTime t) { now_ = t; }
    void advance(std::chrono::milliseconds d) { now_ += d; }
    void setAppPath(std::string p) { appPath_ = std::move(p); }
    /// Virtual time with milliseconds, for timing assertions.
    std::chrono::local_time<std::chrono::milliseconds> preciseNow() const { return now_; }

    std::vector<std::string> messages;
    std::vector<std::string> concerning;
    long long sleptMs = 0;
    int doEventsCalls = 0;
    std::function<void(const std::string&)> onMessage;
    std::function<void()> onSleep;
    std::function<void()> onDoEvents;

  private:
    std::string appPath_;
    std::chrono::local_time<std::chrono::milliseconds> now_;
};

}  // namespace skarvel::testing
