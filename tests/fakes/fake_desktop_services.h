#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/desktop_services.h"
#include "store/date_time.h"

namespace skarvel::testing {

/// Desktop services on virtual time: sleep advances the clock at once, messages are recorded.
struct FakeDesktopServices : DesktopServices {
    explicit FakeDesktopServices(std::string appPath = "/tmp/skarvel-test",
                                 LocalTime start = makeTime(2008, 12, 1, 21, 39, 5))
        : appPath_(std::move(appPath)), now_(start) {}

    void messageBox(const std::string& text, const std::string&) override {
        messages.push_back(text);
    }
    void closeMessages() override {}
    std::uint64_t messageCount() const override { return messages.size(); }
    void sleep(int ms) override {
        now_ += std::chrono::milliseconds(ms);
        if (onSleep) onSleep();
    }
    void doEvents() override {
        ++doEventsCalls;
        if (onDoEvents) onDoEvents();
    }
    std::string appPath() const override { return appPath_; }
    LocalTime now() const override { return std::chrono::floor<std::chrono::seconds>(now_); }

    /// Virtual time to the millisecond, for the read's timing.
    std::chrono::local_time<std::chrono::milliseconds> preciseNow() const { return now_; }

    std::vector<std::string> messages;
    int doEventsCalls = 0;
    std::function<void()> onSleep, onDoEvents;

    std::string appPath_;
    std::chrono::local_time<std::chrono::milliseconds> now_;
};

}  // namespace skarvel::testing
