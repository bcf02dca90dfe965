#include "core/monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "fakes/fake_controls.h"
#include "fakes/fake_desktop_services.h"
#include "fakes/fake_serial_control.h"
#include "store/file_io.h"
#include "store/value_text.h"
#include "store/vb_error.h"

namespace skarvel {
namespace {

using namespace std::chrono_literals;
using testing::FakeControls;
using testing::FakeDesktopServices;
using testing::FakePortScript;

struct RecordingPublishing : Publishing {
    explicit RecordingPublishing(const FakeControls& c) : controls(c) {}
    void LoadConfig() override {
        calls.push_back("LoadConfig");
        if (loadFails) throw vbError(err::kInputPastEnd);
    }
    void SaveConfig() override {
        calls.push_back("SaveConfig");
        if (saveFails) throw vbError(err::kPermissionDenied);
    }
    void LogReadings(LogState& state, float ambient, float sky) override {
        calls.push_back("LogReadings");
        // the page is built from the window during this call, so the window must be current
        captionAtLog = controls.caption;
        skyAtLog = controls.sky;
        lastAmbient = ambient;
        lastSky = sky;
        countAtLog = state.readingCount;
    }
    void SaveStatus(const std::string& state) override { calls.push_back("SaveStatus:" + state); }

    const FakeControls& controls;
    std::vector<std::string> calls;
    bool loadFails = false, saveFails = false;
    std::string captionAtLog, skyAtLog;
    float lastAmbient = 0, lastSky = 0;
    int countAtLog = 0;
};

struct RecordingObserver : CycleObserver {
    void cycleEnded(const CycleOutcome& outcome) override { outcomes.push_back(outcome); }
    std::vector<CycleOutcome> outcomes;
};

class MonitorTest : public ::testing::Test {
  protected:
    FakeDesktopServices services{"/opt/sky", makeTime(2026, 12, 7, 10, 7, 0)};
    FakeControls controls;
    Settings settings;
    std::shared_ptr<FakePortScript> script = std::make_shared<FakePortScript>();
    RecordingPublishing publishing{controls};
    Monitor monitor{settings, services, controls, testing::fakeFactory(services, script),
                    publishing};
    RecordingObserver observer;
    bool started = false;

    void load() {
        monitor.setCycleObserver(&observer);
        monitor.Form_Load([&] { started = true; });
    }
    /// Whether the last cycle told the observer the link was open and a reading taken.
    std::pair<bool, bool> told() const {
        return {observer.outcomes.back().linkOpen, observer.outcomes.back().readingOk};
    }
    /// The sensor sends `line` every 500 ms for the next 20 s.
    void sensorSends(const std::string& line) {
        script->chunks.clear();
        script->every(services.preciseNow(), 50ms, 500ms, 40, line);
    }
    std::string cycleWith(float sky, float ambient) {
        char line[64];
        std::snprintf(line, sizeof line, "S%.2fC:A%.2fC:\r\n", sky, ambient);
        sensorSends(line);
        monitor.Timer1_Timer();
        return controls.caption;
    }
};

TEST_F(MonitorTest, StartUpLoadsAndSavesSettingsOpensTheLinkAndStartsTheTimer) {
    load();
    EXPECT_EQ(settings.webPath, std::string("/opt/sky") + kPathSeparator);
    EXPECT_EQ(publishing.calls, (std::vector<std::string>{"LoadConfig", "SaveConfig"}));
    EXPECT_TRUE(monitor.linkOpen());
    EXPECT_TRUE(started);
    EXPECT_FLOAT_EQ(monitor.logState().lastLogSlot, 0);
    EXPECT_EQ(controls.caption, "PENDING");
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(MonitorTest, BadConfigIsReportedAndStartUpGoesOn) {
    publishing.loadFails = true;
    publishing.saveFails = true;
    load();
    ASSERT_EQ(services.messages.size(), 2u);
    EXPECT_EQ(services.messages[0],
              "Error 62 (Input past end of file) at line 60 in procedure Form_Load of Form "
              "frmMain");
    EXPECT_EQ(services.messages[1],
              "Error 70 (Permission denied) at line 70 in procedure Form_Load of Form frmMain");
    EXPECT_TRUE(monitor.linkOpen());
    EXPECT_TRUE(started);
}

TEST_F(MonitorTest, ClassifiesWithStrictComparisonsAndShowsCutValues) {
    load();
    struct Case {
        float sky, ambient;
        const char* state;
        int color;
        const char *skyText, *ambientText, *diffText;
    };
    const Case cases[] = {
        {-12.34f, 21.57f, "CLEAR", 65280, "-12.4", "21.5", "-33.9"},
        {-5.0f, 10.0f, "CLOUDY", 33023, "-5", "10", "-15"},  // -15 is not above -15
        {-4.9f, 10.0f, "V.CLOUDY", 255, "-4.9", "10", "-14.9"},
        {-15.0f, 10.0f, "CLEAR", 65280, "-15", "10", "-25"},  // -25 is not above -25
        {-14.9f, 10.0f, "CLOUDY", 33023, "-14.9", "10", "-24.9"},
        {5.0f, 3.0f, "V.CLOUDY", 255, "5", "3", "0"},  // clamped to 0
        {2.3f, 0.05f, "V.CLOUDY", 255, "2.3", "0", "0"},
        {-0.05f, 0.0f, "V.CLOUDY", 255, "-0.1", "0", "-0.1"},  // floor toward minus infinity
        // The difference is rounded to a tenth: no single-precision noise, -15 is -15.
        {1.3f, 9.9f, "V.CLOUDY", 255, "1.3", "9.9", "-8.6"},
        {1.3f, 16.3f, "CLOUDY", 33023, "1.3", "16.3", "-15"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cycleWith(c.sky, c.ambient), c.state) << c.sky << " " << c.ambient;
        EXPECT_EQ(controls.color, c.color);
        EXPECT_EQ(controls.sky, c.skyText);
        EXPECT_EQ(controls.ambient, c.ambientText);
        EXPECT_EQ(controls.diff, c.diffText);
        EXPECT_EQ(controls.bar, "");
        EXPECT_EQ(publishing.calls.back(), std::string("SaveStatus:") + c.state);
        const CycleOutcome& told = observer.outcomes.back();
        EXPECT_TRUE(told.linkOpen && told.readingOk);
        EXPECT_EQ(told.state, c.state);
        EXPECT_EQ(singleText(told.difference), c.diffText);
        EXPECT_EQ(told.at, services.now());
    }
    EXPECT_TRUE(services.messages.empty());

    // Thresholds in the wrong order: the very-cloudy test comes first.
    settings.cloudyThreshold = -5;
    settings.vCloudyThreshold = -20;
    EXPECT_EQ(cycleWith(-8, 10), "V.CLOUDY");
}

TEST_F(MonitorTest, HandsTheRunningMeanToTheLogAfterTheWindowIsSet) {
    load();
    cycleWith(-10.06f, 5);
    cycleWith(-20.0f, 5);
    EXPECT_EQ(publishing.captionAtLog, "CLEAR");
    EXPECT_EQ(publishing.skyAtLog, "-20");
    EXPECT_FLOAT_EQ(publishing.lastSky, (-10.1f + -20.0f) / 2);
    EXPECT_FLOAT_EQ(publishing.lastAmbient, 5);
    EXPECT_EQ(publishing.countAtLog, 2);
    const auto n = publishing.calls.size();
    EXPECT_EQ(publishing.calls[n - 2], "LogReadings");
    EXPECT_EQ(publishing.calls[n - 1], "SaveStatus:CLEAR");
}

TEST_F(MonitorTest, FailedReadChangesNothing) {
    load();
    cycleWith(-30, 5);
    const FakeControls before = controls;
    const auto callsBefore = publishing.calls.size();
    sensorSends("$garbage\r\n");
    monitor.Timer1_Timer();
    EXPECT_EQ(controls.bar, "Failed to get readings");
    EXPECT_EQ(controls.caption, before.caption);
    EXPECT_EQ(controls.color, before.color);
    EXPECT_EQ(controls.sky, before.sky);
    EXPECT_EQ(controls.diff, before.diff);
    EXPECT_EQ(publishing.calls.size(), callsBefore);
    EXPECT_TRUE(services.messages.empty());
    EXPECT_TRUE(monitor.linkOpen());  // soft failures leave the link open
    EXPECT_EQ(told(), std::make_pair(true, false));
}

TEST_F(MonitorTest, LinkDownAtStartShowsErrorAndComesBack) {
    script->exists = false;
    load();
    EXPECT_FALSE(monitor.linkOpen());
    ASSERT_EQ(services.messages.size(), 1u);

    monitor.Timer1_Timer();  // still missing
    EXPECT_EQ(controls.bar, "Error opening port");
    EXPECT_EQ(controls.caption, "ERROR");
    EXPECT_EQ(controls.color, 255);
    EXPECT_EQ(services.messages.size(), 2u);
    EXPECT_EQ(told(), std::make_pair(false, false));

    script->exists = true;
    monitor.Timer1_Timer();  // reopens, takes no reading
    EXPECT_TRUE(monitor.linkOpen());
    EXPECT_EQ(controls.caption, "ERROR");
    EXPECT_EQ(publishing.calls.size(), 2u);

    EXPECT_EQ(cycleWith(-30, 5), "CLEAR");
    EXPECT_EQ(services.messages.size(), 2u);
}

TEST_F(MonitorTest, UnpluggedSensorIsMarkedDownAndReopened) {
    load();
    cycleWith(-30, 5);
    sensorSends("S-30C:A5C:\r\n");
    services.onSleep = [&] { script->gone = true; };
    monitor.Timer1_Timer();
    services.onSleep = nullptr;
    EXPECT_EQ(controls.bar, "Failed to get readings");
    EXPECT_FALSE(monitor.linkOpen());
    EXPECT_EQ(told(), std::make_pair(false, false));

    // still unplugged: the next cycles show ERROR and retry
    monitor.Timer1_Timer();
    EXPECT_EQ(controls.caption, "ERROR");
    EXPECT_FALSE(monitor.linkOpen());

    script->gone = false;  // plugged back in
    monitor.Timer1_Timer();
    EXPECT_TRUE(monitor.linkOpen());
    EXPECT_EQ(cycleWith(-5, 5), "V.CLOUDY");
    EXPECT_EQ(script->opens, 2);
}

TEST_F(MonitorTest, TickDuringARunningCycleIsSkipped) {
    load();
    sensorSends("S-30C:A5C:\r\n");
    int nested = 0;
    services.onDoEvents = [&] {
        ++nested;
        EXPECT_TRUE(monitor.cycleRunning());
        monitor.Timer1_Timer();  // a tick that arrives while the read waits
    };
    monitor.Timer1_Timer();
    services.onDoEvents = nullptr;
    EXPECT_GT(nested, 0);
    EXPECT_FALSE(monitor.cycleRunning());
    EXPECT_EQ(std::count(publishing.calls.begin(), publishing.calls.end(), "LogReadings"), 1);
}

TEST_F(MonitorTest, CountOverflowIsReportedAndNothingIsWritten) {
    load();
    monitor.logState().readingCount = 32767;
    const auto callsBefore = publishing.calls.size();
    cycleWith(-30, 5);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0],
              "Error 6 (Overflow) at line 390 in procedure Update of Form frmMain");
    EXPECT_EQ(publishing.calls.size(), callsBefore);
}

}  // namespace
}  // namespace skarvel
