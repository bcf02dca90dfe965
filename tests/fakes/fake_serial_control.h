#pragma once

#include <algorithm>
#include <chrono>
#include <deque>
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
    struct Chunk {
        Ms at;
        std::string bytes;
    };
    std::deque<Chunk> chunks;  ///< in order of arrival
    bool exists = true;        ///< opening fails with 8002 when false
    bool gone = false;         ///< the device vanished: reads fail, deviceGone() is true
    int opens = 0;
    std::vector<std::string> settingsSeen;

    /// Bytes that arrive `offset` after `from`.
    void at(Ms from, std::chrono::milliseconds offset, std::string bytes) {
        const auto pos = std::find_if(chunks.begin(), chunks.end(),
                                      [&](const Chunk& c) { return c.at > from + offset; });
        chunks.insert(pos, Chunk{from + offset, std::move(bytes)});
    }
    /// One line every `period` starting `first` after `from`.
    void every(Ms from, std::chrono::milliseconds first, std::chrono::milliseconds period,
               int count, const std::string& line) {
        for (int i = 0; i < count; ++i) at(from, first + i * period, line);
    }
};

class FakeSerialControl : public SerialControl {
  public:
    FakeSerialControl(FakeDesktopServices& clock, std::shared_ptr<FakePortScript> script)
        : clock_(clock), script_(std::move(script)) {}

    void setCommPort(std::int16_t port) override { port_ = port; }
    std::int16_t commPort() const override { return port_; }
    void setInputLen(int) override {}
    void setInputMode(int) override {}
    void setRThreshold(int) override {}
    void setPortOpen(bool open) override {
        if (open && (!script_->exists || script_->gone)) throw vbError(err::kInvalidPortNumber);
        script_->opens += open;
        open_ = open;
    }
    bool portOpen() const override { return open_; }
    void setSettings(const std::string& s) override { script_->settingsSeen.push_back(s); }
    int inBufferCount() override {
        check();
        int n = 0;
        for (auto c = script_->chunks.begin(); ready(c); ++c) n += int(c->bytes.size());
        return n;
    }
    void setInBufferCount(int count) override {
        if (count == 0) input();
    }
    std::vector<std::uint8_t> input() override {
        check();
        std::vector<std::uint8_t> out;
        for (auto& chunks = script_->chunks; ready(chunks.begin()); chunks.pop_front()) {
            out.insert(out.end(), chunks.front().bytes.begin(), chunks.front().bytes.end());
        }
        return out;
    }
    bool deviceGone() const override { return script_->gone; }

  private:
    void check() const {
        if (!open_ || script_->gone) throw vbError(err::kPortNotOpen);
    }
    bool ready(std::deque<FakePortScript::Chunk>::iterator c) const {
        return c != script_->chunks.end() && c->at <= clock_.preciseNow();
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
