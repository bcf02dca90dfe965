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
using V = LineVerdict;

TEST(SensorText, AcceptsSkipsOrFailsAsTheLineFormatSays) {
    const struct {
        const char* text;
        LineVerdict verdict;
        float sky = 99, ambient = 99;  // left alone unless accepted
    } cases[] = {
        // clang-format off
        {"S-12.34C:A+21.56C:\r\n", V::Accepted, -12.34f, 21.56f}, {"S 3e1C:A 1.0 C:xyz\r\n", V::Accepted, 30, 1},
        // only the first two ':' count, so both may lie in the first of two lines
        {"S-1.5C:A2.5C:\r\nS-9C:A9C:\r\n", V::Accepted, -1.5f, 2.5f},
        {"$S-12.34C:A+21.56C:\r\n", V::Skipped}, {"S-12.34C:A+21.56C:", V::Skipped}, {"", V::Skipped},
        {"S-12.34C:A+21.56C:\n", V::Skipped}, {"no separator\r\n", V::Skipped},
        {"E-12.34C:A+21.56C:\r\n", V::Skipped}, {"SE12.34C:A+21.56C:\r\n", V::Skipped},
        {"S-12.34C:E+21.56C:\r\n", V::Skipped},
        // the first ':' at position 1, no second one, the two side by side, nothing after the lead
        {":A+21.56C:\r\n", V::Failed}, {"S-12.34C:A+21.56C\r\n", V::Failed}, {"S-12.34C::\r\n", V::Failed},
        {"Sx:A+21.56C:\r\n", V::Failed}, {"SC:AC:\r\n", V::Failed}, {"S-12.34C:A:\r\n", V::Failed},
        {"S-12.34C:Ax:\r\n", V::Failed}, {"S-1x.3C:A+21.56C:\r\n", V::Failed}, {"S--1C:A1C:\r\n", V::Failed},
        {"S1,5C:A1C:\r\n", V::Failed}};
    // clang-format on
    for (const auto& c : cases) {
        float sky = 99, ambient = 99;
        EXPECT_EQ(parseSensorText(c.text, sky, ambient), c.verdict) << c.text;
        EXPECT_EQ(std::pair(sky, ambient), std::pair(c.sky, c.ambient)) << c.text;
    }
    const std::uint8_t high[] = {'S', 0xB0, 0xFF, ':'};
    EXPECT_EQ(OctetToCharStr(high), std::string("S\xB0\xFF:"));
}

// Each read on virtual time: the port is polled every 100 ms up to 20 times, then 200 ms more;
// the first burst is thrown away, then up to six passes must bring three accepted lines.
TEST(SensorRead, TakesMediansOfThreeLinesOnVirtualTime) {
    const std::string ok = "S-1C:A1C:\r\n", skip = "$x\r\n";
    const struct {
        std::vector<std::pair<int, std::string>> lines;  // at ms after the read starts
        bool read;
        float sky, ambient;  // unchanged from 8 and 7 when the read fails
        int ms;
    } cases[] = {
        // clang-format off
        {{{-5000, "stale\r\n"}, {300, "S-30C:A10C:\r\n"}, {2600, "S-20.1C:A21C:\r\n"}, {3600, "S15C:A21C:\r\n"},
          {4600, "S-20.2C:A23.5C:\r\n"}}, true, -20.1f, 21, 4800},
        {{}, false, 8, 7, 15400},  // a silent sensor
        {{{100, "burst\r\n"}, {1000, "$S-1C:A1C:\r\n"}, {2000, "SE1C:A1C:\r\n"}, {3000, ok},
          {4000, "S-12.34C:E1C:\r\n"}, {5000, "S-2C:A2C:\r\n"}, {6000, "S-3C:A3C:\r\n"}}, true, -2, 2, 6200},
        {{{100, "burst\r\n"}, {1000, skip}, {2000, skip}, {3000, ok}, {4000, skip}, {5000, ok}, {6000, skip},
          {7000, ok}}, false, 8, 7, 6200},  // a seventh line is never looked at
        {{{100, "burst\r\n"}, {1000, "Sx:A1C:\r\n"}, {2000, ok}, {3000, ok}, {4000, ok}}, false, 8, 7,
         1200},  // a line that cannot be cut ends the read
        {{{100, ok}, {1100, ok}, {2100, ok}, {3100, ok}}, false, 8, 7, 2100}};  // unplugged at 2 s
    // clang-format on
    for (const auto& c : cases) {
        FakeDesktopServices services;
        auto script = std::make_shared<FakePortScript>();
        FakeSerialControl link(services, script);
        link.setPortOpen(true);
        const auto start = services.preciseNow();
        for (const auto& [ms, bytes] : c.lines)
            script->at(start, std::chrono::milliseconds(ms), bytes);
        const bool unplug = c.ms == 2100;
        services.onSleep = [&] { script->gone = unplug && services.preciseNow() - start > 2s; };
        float ambient = 7, sky = 8;
        const auto realStart = std::chrono::steady_clock::now();
        EXPECT_EQ(getReadings(link, services, ambient, sky), c.read) << c.ms;
        EXPECT_EQ((services.preciseNow() - start).count(), c.ms);
        EXPECT_FLOAT_EQ(sky, c.sky) << c.ms;
        EXPECT_FLOAT_EQ(ambient, c.ambient) << c.ms;
        EXPECT_EQ(link.deviceGone(), unplug);
        EXPECT_LT(std::chrono::steady_clock::now() - realStart, 500ms);
        if (c.ms == 15400) {
            EXPECT_EQ(services.doEventsCalls, 7 * 20);
        }
    }
}

TEST(Comms, OpensInOrderAndReportsAPortThatCannotBeOpened) {
    FakeDesktopServices services;
    auto script = std::make_shared<FakePortScript>();
    std::unique_ptr<SerialControl> link;
    std::int16_t port = 3;
    const auto factory = testing::fakeFactory(services, script);
    ASSERT_TRUE(getComms(port, kLineSettings, link, factory, services));
    EXPECT_TRUE(link->portOpen());
    EXPECT_EQ(link->commPort(), 3);
    EXPECT_EQ(script->settingsSeen, std::vector<std::string>{"9600,n,8,1"});
    script->exists = false;
    EXPECT_FALSE(getComms(port, kLineSettings, link, factory, services));
    ASSERT_TRUE(link);  // the new, unopened control is kept
    EXPECT_FALSE(link->portOpen());
    EXPECT_FALSE(getComms(port, kLineSettings, link, SerialFactory{}, services));
    EXPECT_FALSE(link);
    EXPECT_EQ(services.messages,
              (std::vector<std::string>{"Error opening comm port 3, click the 'Setup' button and "
                                        "verify the com port selection",
                                        "Undefined/null comms object returned"}));
}

}  // namespace
}  // namespace skarvel
