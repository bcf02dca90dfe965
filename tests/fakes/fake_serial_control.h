#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/serial_control.h"
#include "fakes/fake_desktop_services.h"
#include "store/vb_error.h"

namespace skarvel::testing {

/// What a scripted port does over virtual time; shared by the controls a factory hands out, so a
/// test can unplug and replug the sensor between cycles.
struct FakePortScript {
    using Ms = std::chrono::local_time<std::chrono::milliseconds>;
    std::multimap<Ms, std::string> chunks;  ///< bytes by time of arrival
    bool exists = true;                     ///< opening fails with 8002 when false
    bool gone = false;                ///< the device vanished: reads fail, deviceGone() is true
    std::vector<std::string> opened;  ///< port and line settings of each opening
};

struct FakeSerialControl : SerialControl {
    FakeSerialControl(FakeDesktopServices& clock, std::shared_ptr<FakePortScript> script)
        : clock_(clock), script_(std::move(script)) {}

    void setCommPort(std::int16_t port) override { port_ = port; }
    std::int16_t commPort() const override { return port_; }
    void setPortOpen(bool open) override {
        if (open && (!script_->exists || script_->gone)) throw vbError(err::kInvalidPortNumber);
        open_ = open;
    }
    bool portOpen() const override { return open_; }
    void setSettings(const std::string& s) override {
        script_->opened.push_back(std::to_string(port_) + " " + s);
    }
    int inBufferCount() override { return int(take(false).size()); }
    void setInBufferCount(int count) override { take(count == 0); }
    std::vector<std::uint8_t> input() override { return take(true); }
    bool deviceGone() const override { return script_->gone; }

    /// The bytes that have arrived by now.
    std::vector<std::uint8_t> take(bool remove) {
        if (!open_ || script_->gone) throw vbError(err::kPortNotOpen);
        std::vector<std::uint8_t> out;
        auto& chunks = script_->chunks;
        const auto arrived = chunks.upper_bound(clock_.preciseNow());
        for (auto c = chunks.begin(); c != arrived; ++c)
            out.insert(out.end(), c->second.begin(), c->second.end());
        if (remove) chunks.erase(chunks.begin(), arrived);
        return out;
    }

    FakeDesktopServices& clock_;
    std::shared_ptr<FakePortScript> script_;
    std::int16_t port_ = 0;
    bool open_ = false;
};

inline SerialFactory fakeFactory(FakeDesktopServices& clock,
                                 std::shared_ptr<FakePortScript> script) {
    return [&clock, script] { return std::make_unique<FakeSerialControl>(clock, script); };
}

}  // namespace skarvel::testing
