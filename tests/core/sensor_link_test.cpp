#include "core/sensor_link.h"

#include <gtest/gtest.h>

#include <chrono>

#include "fakes/fake_desktop_services.h"
#include "fakes/fake_serial_control.h"

namespace skarvel {
namespace {

using namespace std::chrono_literals;
using testing::FakeDesktopServices;
using testing::FakePortScript;
using testing::FakeSerialControl;

const std::string kLine = "S-12.34C:A+21.56C:\r\n";

TEST(SensorText, AcceptsSkipsOrFailsAsTheLineFormatSays) {
    struct Case {
        const char* text;
        LineVerdict verdict;
        float sky = 0, ambient = 0;
    };
    const Case cases[] = {
        {"S-12.34C:A+21.56C:\r\n", LineVerdict::Accepted, -12.34f, 21.56f},
        // only the first two ':' count, so both may lie in the first of two lines
        {"S-1.5C:A2.5C:\r\nS-9C:A9C:\r\n", LineVerdict::Accepted, -1.5f, 2.5f},
        {"S 3e1C:A 1.0 C:xyz\r\n", LineVerdict::Accepted, 30.0f, 1.0f},
        {"$S-12.34C:A+21.56C:\r\n", LineVerdict::Skipped},
        {"S-12.34C:A+21.56C:", LineVerdict::Skipped},
        {"S-12.34C:A+21.56C:\n", LineVerdict::Skipped},
        {"no separator\r\n", LineVerdict::Skipped},
        {"E-12.34C:A+21.56C:\r\n", LineVerdict::Skipped},
        {"SE12.34C:A+21.56C:\r\n", LineVerdict::Skipped},
        {"S-12.34C:E+21.56C:\r\n", LineVerdict::Skipped},
        {":A+21.56C:\r\n", LineVerdict::Failed},         // first ':' at position 1
        {"S-12.34C:A+21.56C\r\n", LineVerdict::Failed},  // no second ':'
        {"S-12.34C::\r\n", LineVerdict::Failed},         // the two ':' side by side
        {"Sx:A+21.56C:\r\n", LineVerdict::Failed},       // nothing after the lead character
        {"S-12.34C:Ax:\r\n", LineVerdict::Failed},
        {"S-1x.3C:A+21.56C:\r\n", LineVerdict::Failed},  // not a number
        {"S--1C:A1C:\r\n", LineVerdict::Failed},
        {"S1,5C:A1C:\r\n", LineVerdict::Failed},  // only a point separates decimals
    };
    for (const auto& c : cases) {
        float sky = 99, ambient = 99;
        EXPECT_EQ(parseSensorText(c.text, sky, ambient), c.verdict) << c.text;
        if (c.verdict == LineVerdict::Accepted) {
            EXPECT_FLOAT_EQ(sky, c.sky) << c.text;
            EXPECT_FLOAT_EQ(ambient, c.ambient) << c.text;
        }
    }
    const std::uint8_t high[] = {'S', 0xB0, 0xFF, ':'};
    EXPECT_EQ(OctetToCharStr(high), std::string("S\xB0\xFF:"));
}

class ReadTest : public ::testing::Test {
  protected:
    FakeDesktopServices services;
    std::shared_ptr<FakePortScript> script = std::make_shared<FakePortScript>();
    FakeSerialControl link{services, script};
    FakePortScript::Ms start = services.preciseNow();

    void SetUp() override { link.setPortOpen(true); }
    double elapsedSeconds() const {
        return std::chrono::duration<double>(services.preciseNow() - start).count();
    }
    bool read(float& ambient, float& sky) { return getReadings(link, services, ambient, sky); }
};

TEST_F(ReadTest, SteadySensorGivesMediansAndStaleBytesAreDiscarded) {
    script->at(start, -5s, "stale bytes from before the read\r\n");
    script->at(start, 300ms, "S-30C:A10C:\r\n");  // first burst: thrown away
    script->at(start, 2600ms, "S-20.1C:A21C:\r\n");
    script->at(start, 3600ms, "S15C:A21C:\r\n");
    script->at(start, 4600ms, "S-20.2C:A23.5C:\r\n");
    float ambient = 0, sky = 0;
    ASSERT_TRUE(read(ambient, sky));
    EXPECT_FLOAT_EQ(sky, -20.1f);
    EXPECT_FLOAT_EQ(ambient, 21.0f);
    EXPECT_LT(elapsedSeconds(), 6.0);
}

TEST_F(ReadTest, SilentSensorFailsAfterAboutFifteenSecondsOfVirtualTime) {
    float ambient = 7, sky = 8;
    const auto realStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(read(ambient, sky));
    EXPECT_NEAR(elapsedSeconds(), 15.4, 0.05);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 500ms);
    EXPECT_FLOAT_EQ(ambient, 7);
    EXPECT_FLOAT_EQ(sky, 8);
    EXPECT_EQ(services.doEventsCalls, 7 * 20);
}

TEST_F(ReadTest, SkippedLinesCostOnePassEachWithinSixPasses) {
    // Sensor sends a line every second; pass k sees one line each.
    const char* lines[] = {"$S-1C:A1C:\r\n",    "SE1C:A1C:\r\n", "S-1C:A1C:\r\n",
                           "S-12.34C:E1C:\r\n", "S-2C:A2C:\r\n", "S-3C:A3C:\r\n"};
    script->at(start, 100ms, "burst\r\n");
    for (int i = 0; i < 6; ++i) script->at(start, 1000ms + i * 1000ms, lines[i]);
    float ambient = 0, sky = 0;
    ASSERT_TRUE(read(ambient, sky));
    EXPECT_FLOAT_EQ(sky, -2);
    EXPECT_FLOAT_EQ(ambient, 2);

    // A seventh line is never looked at: four skips among six passes fail the read.
    script->chunks.clear();
    start = services.preciseNow();
    const char* more[] = {"$x\r\n",        "$x\r\n", "S-1C:A1C:\r\n", "$x\r\n",
                          "S-1C:A1C:\r\n", "$x\r\n", "S-1C:A1C:\r\n"};
    script->at(start, 100ms, "burst\r\n");
    for (int i = 0; i < 7; ++i) script->at(start, 1000ms + i * 1000ms, more[i]);
    EXPECT_FALSE(read(ambient, sky));
    EXPECT_FLOAT_EQ(sky, -2);
}

TEST_F(ReadTest, UncuttableLineEndsTheReadAtOnce) {
    script->at(start, 100ms, "burst\r\n");
    script->at(start, 1000ms, "Sx:A1C:\r\n");
    script->every(start, 2000ms, 1s, 10, "S-1C:A1C:\r\n");
    float ambient = 0, sky = 0;
    EXPECT_FALSE(read(ambient, sky));
    EXPECT_LT(elapsedSeconds(), 3.0);
}

TEST_F(ReadTest, VanishedDeviceFailsTheRead) {
    script->every(start, 100ms, 1s, 20, kLine);
    services.onSleep = [&] {
        if (elapsedSeconds() > 2) script->gone = true;
    };
    float ambient = 0, sky = 0;
    EXPECT_FALSE(read(ambient, sky));
    EXPECT_TRUE(link.deviceGone());
}

TEST(Comms, OpensInOrderAndReportsAPortThatCannotBeOpened) {
    FakeDesktopServices services;
    auto script = std::make_shared<FakePortScript>();
    std::unique_ptr<SerialControl> link;
    std::int16_t port = 3;
    ASSERT_TRUE(
        getComms(port, kLineSettings, link, testing::fakeFactory(services, script), services));
    EXPECT_TRUE(link->portOpen());
    EXPECT_EQ(link->commPort(), 3);
    EXPECT_EQ(script->settingsSeen, std::vector<std::string>{"9600,n,8,1"});
    EXPECT_TRUE(services.messages.empty());

    script->exists = false;
    EXPECT_FALSE(
        getComms(port, kLineSettings, link, testing::fakeFactory(services, script), services));
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0],
              "Error opening comm port 3, click the 'Setup' button and verify the com port "
              "selection");
    ASSERT_TRUE(link);  // the new, unopened control is kept
    EXPECT_FALSE(link->portOpen());

    EXPECT_FALSE(getComms(port, kLineSettings, link, SerialFactory{}, services));
    EXPECT_EQ(services.messages.back(), "Undefined/null comms object returned");
    EXPECT_FALSE(link);
}

}  // namespace
}  // namespace skarvel
