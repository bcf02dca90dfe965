#include "core/monitor.h"

#include <gtest/gtest.h>

#include "fakes/fake_controls.h"
#include "fakes/fake_desktop_services.h"
#include "fakes/fake_serial_control.h"
#include "store/value_text.h"
#include "store/vb_error.h"

namespace skarvel {
namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

/// The monitor on fakes and virtual time; what it hands over or tells is noted, in order.
struct MonitorTest : ::testing::Test, Publishing, CycleObserver {
    testing::FakeDesktopServices services{"/opt/sky", makeTime(2026, 12, 7, 10, 22, 0)};
    testing::FakeControls controls;
    Settings settings;
    std::shared_ptr<testing::FakePortScript> script = std::make_shared<testing::FakePortScript>();
    Monitor monitor{settings, services, controls, testing::fakeFactory(services, script), *this};
    Texts calls;
    bool configFails = false, started = false;

    MonitorTest() { monitor.setCycleObserver(this); }
    void LoadConfig() override { configFails ? throw vbError(err::kInputPastEnd) : void(); }
    void SaveConfig() override { configFails ? throw vbError(err::kPermissionDenied) : void(); }
    void LogReadings(LogState& s, float ambient, float sky) override {
        // the page is built from the window during this call, so the window must be current
        calls.push_back("Log " + controls.sky + " | " + singleText(ambient) + " " +
                        singleText(sky) + " #" + std::to_string(s.readingCount));
    }
    void SaveStatus(const std::string& state) override { calls.push_back("Status " + state); }
    void cycleEnded(const CycleOutcome& o) override {
        EXPECT_EQ(o.at, services.now());
        std::string told = std::string("Told ") + (o.linkOpen ? "up" : "down");
        if (o.readingOk) told += " " + o.state;
        for (float v : {o.sky, o.ambient, o.difference, o.cloudyThreshold, o.vCloudyThreshold})
            if (o.readingOk) told += " " + singleText(v);
        calls.push_back(told);
    }
    /// One cycle while the sensor sends `line` every 500 ms; what the window shows after it.
    std::string cycle(const std::string& line) {
        script->chunks.clear();
        for (int i = 0; i < 40; ++i)
            script->chunks.emplace(services.preciseNow() + 50ms + i * 500ms, line + "\r\n");
        calls.clear();
        monitor.Timer1_Timer();
        return controls.caption + " " + controls.sky + " " + controls.ambient + " " +
               controls.diff + " [" + controls.bar + "] " + std::to_string(controls.color) +
               (monitor.linkOpen() ? " up" : " down");
    }
};

TEST_F(MonitorTest, ClassifiesWithStrictComparisonsOnValuesCutToATenth) {
    monitor.Form_Load({});
    services.onSleep = [&] { EXPECT_EQ(controls.bar, "Updating readings"); };
    const std::pair<const char*, std::string> rows[] = {
        {"S-12.34C:A21.57C:", "CLEAR -12.4 21.5 -33.9 [] 65280 up"},  // cut toward minus infinity
        {"S-15C:A10C:", "CLEAR -15 10 -25 [] 65280 up"},              // -25 is not above -25
        {"S5C:A3C:", "V.CLOUDY 5 3 0 [] 255 up"},                     // clamped to 0
        // The difference is rounded to a tenth: no single-precision noise, -15 is -15.
        {"S1.3C:A9.9C:", "V.CLOUDY 1.3 9.9 -8.6 [] 255 up"},
        {"S1.3C:A16.3C:", "CLOUDY 1.3 16.3 -15 [] 33023 up"},
    };
    for (const auto& [line, want] : rows) EXPECT_EQ(cycle(line), want) << line;
    // Thresholds in the wrong order: the very-cloudy test comes first.
    settings.cloudyThreshold = -5;
    settings.vCloudyThreshold = -20;
    EXPECT_EQ(cycle("S-8C:A10C:"), "V.CLOUDY -8 10 -18 [] 255 up");
}

TEST_F(MonitorTest, CyclesNeverNestAndTheLogGetsTheRunningMeanUpToTheCountLimit) {
    monitor.Form_Load({});
    settings.vCloudyThreshold = -14;
    services.onDoEvents = [&] { monitor.Timer1_Timer(); };  // a tick while the read waits
    cycle("S-10.06C:A5C:");
    cycle("S-20C:A5C:");
    EXPECT_EQ(calls,
              (Texts{"Log -20 | 5 -15.05 #2", "Status CLEAR", "Told up CLEAR -20 5 -25 -25 -14"}));
    monitor.logState().readingCount = 32767;
    cycle("S-30C:A5C:");
    EXPECT_EQ(services.messages,
              (Texts{"Error 6 (Overflow) at line 390 in procedure Update of Form frmMain"}));
    EXPECT_EQ(calls.size(), 1u);  // only the observer hears of that cycle
}

TEST_F(MonitorTest, FailuresAreReportedAndChangeNothingAndALostLinkIsReopened) {
    // The sensor is "there", "missing", "gone" between cycles or "goes" during the read. After
    // each cycle: the window, the link, the messages so far, and the last thing written or told.
    // Start-up finds a bad config.ini and no sensor and still goes on.
    const std::string steps[][3] = {
        {"missing", "", "ERROR    [Error opening port] 255 down 4 Told down"},
        {"there", "", "ERROR    [Error opening port] 255 up 4 Told up"},  // reopened, no read
        {"there", "S-30C:A5C:", "CLEAR -30 5 -35 [] 65280 up 4 Status CLEAR"},
        {"there", "$garbage", "CLEAR -30 5 -35 [Failed to get readings] 65280 up 4 Told up"},
        {"goes", "S-30C:A5C:", "CLEAR -30 5 -35 [Failed to get readings] 65280 down 4 Told down"},
        {"gone", "", "ERROR -30 5 -35 [Error opening port] 255 down 5 Told down"},
        {"there", "", "ERROR -30 5 -35 [Error opening port] 255 up 5 Told up"},
        {"there", "S-5C:A5C:", "V.CLOUDY -5 5 -10 [] 255 up 5 Status V.CLOUDY"},
        // gone before the read is noticed before it
        {"gone", "", "ERROR -5 5 -10 [Error opening port] 255 down 6 Told down"},
    };
    script->exists = false;
    configFails = true;
    monitor.Form_Load([&] { started = true; });
    for (const auto& [sensor, line, want] : steps) {
        script->exists = sensor != "missing";
        script->gone = sensor == "gone";
        services.onSleep = [&, s = sensor] { script->gone |= s == "goes"; };
        const std::string shown = cycle(line);  // first: it changes what follows
        EXPECT_EQ(
            shown + " " + std::to_string(services.messages.size()) + " " + calls[calls.size() > 1],
            want);
    }
    const std::string where = " in procedure Form_Load of Form frmMain";
    EXPECT_EQ(Texts(services.messages.begin(), services.messages.begin() + 3),
              (Texts{"Error 62 (Input past end of file) at line 60" + where,
                     "Error 70 (Permission denied) at line 70" + where,
                     "Error opening comm port 1, click the 'Setup' button and verify the com port "
                     "selection"}));
    EXPECT_TRUE(started);
    EXPECT_EQ(script->opened.back(), "1 9600,n,8,1");
}

}  // namespace
}  // namespace skarvel
