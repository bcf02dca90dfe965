#include "core/sensor_link.h"

#include <gtest/gtest.h>

#include <chrono>
#include <tuple>

#include "fakes/fake_desktop_services.h"
#include "fakes/fake_serial_control.h"

namespace skarvel {
namespace {

using namespace std::chrono_literals;
using V = LineVerdict;

TEST(SensorText, AcceptsSkipsOrFailsAsTheLineFormatSays) {
    // Sky and ambient are left at 99 unless the text is accepted.
    // clang-format off
    const std::tuple<LineVerdict, float, float, std::vector<const char*>> cases[] = {
        {V::Accepted, -12.34f, 21.56f, {"S-12.34C:A+21.56C:\r\n"}},
        {V::Accepted, 30, 1, {"S 3e1C:A 1.0 C:xyz\r\n"}},
        {V::Accepted, -1.5f, 2.5f, {"S-1.5C:A2.5C:\r\nS-9C:A9C:\r\n"}},  // the first two ':' count
        {V::Accepted, 1, 2, {"S1C:A2C:\r\n"}},  // the shortest fields
        {V::Accepted, -1, 2, {"S-15:A22:\r\n"}},  // the unit is cut off unread, a digit or not
        // An 'E' where a letter or the sky's sign stands, however short the field.
        {V::Skipped, 99, 99, {"$S-1C:A1C:\r\n", "", "\n", "S-1C:A1C:\n", "no separator\r\n",
                              "E-1C:A1C:\r\n", "SE1C:A1C:\r\n", "S-1C:E1C:\r\n", "EC:A1C:\r\n",
                              "SEC:A1C:\r\n", "S-1C:EC:\r\n"}},
        // the first ':' at position 1, no second one, the two side by side, empty fields, a comma
        {V::Failed, 99, 99, {":A1C:\r\n", ":E1C:\r\n", "S-1C:A1C\r\n", "S-1C::5C:\r\n", "SC:AC:\r\n",
                             "S-1C:A1,5C:\r\n", "SE:A1C:\r\n"}},
    };
    // clang-format on
    for (const auto& [verdict, wantSky, wantAmbient, texts] : cases)
        for (const char* text : texts) {
            float sky = 99, ambient = 99;
            EXPECT_EQ(parseSensorText(text, sky, ambient), verdict) << text;
            EXPECT_EQ(std::pair(sky, ambient), std::pair(wantSky, wantAmbient)) << text;
        }
}

// Each read on virtual time: the port is polled every 100 ms up to 20 times, then 200 ms more;
// the first burst is thrown away, then up to six passes must bring three accepted lines.
TEST(SensorRead, TakesMediansOfThreeLinesOnVirtualTime) {
    const std::string ok = "S-1C:A1C:", skip = "$x";
    // The lines at ms after the read starts; then what it returns, the sky and ambient (unchanged
    // from 8 and 7 when it fails) and how long it takes.
    // clang-format off
    const std::tuple<std::vector<std::pair<int, std::string>>, bool, float, float, int> cases[] = {
        {{{-5000, "stale"}, {300, "S-30C:A9C:"}, {2600, "S-20.1C:A2C:"}, {3600, "S15C:A2C:"},
          {4600, "S-20.2C:A3C:"}}, true, -20.1f, 2, 4800},
        {{}, false, 8, 7, 15400},  // a silent sensor
        {{{100, ok}, {1000, skip}, {2000, "SE9C:A9C:"}, {3000, ok}, {4000, "S-9C:E9C:"},
          {5000, "S-2C:A2C:"}, {6000, "S-3C:A3C:"}}, true, -2, 2, 6200},
        {{{100, ok}, {1000, skip}, {2000, skip}, {3000, ok}, {4000, skip}, {5000, ok}, {6000, skip},
          {7000, ok}}, false, 8, 7, 6200},  // a seventh line is never looked at
        {{{100, ok}, {1000, "Sx:A1C:"}}, false, 8, 7, 1200},  // a line that cannot be cut ends it
        // a byte alone is read, and skipped
        {{{100, ok}, {1000, "\n"}, {2000, ok}, {3000, ok}, {4000, ok}}, true, -1, 1, 4200},
        {{{100, ok}, {1100, ok}, {2100, ok}, {3100, ok}}, false, 8, 7, 2100},  // unplugged at 2 s
    };
    // clang-format on
    for (const auto& [lines, read, wantSky, wantAmbient, ms] : cases) {
        testing::FakeDesktopServices services;
        auto script = std::make_shared<testing::FakePortScript>();
        testing::FakeSerialControl link(services, script);
        link.setPortOpen(true);
        const auto start = services.preciseNow();
        for (const auto& [at, line] : lines)
            script->chunks.emplace(start + std::chrono::milliseconds(at),
                                   line == "\n" ? line : line + "\r\n");
        const bool unplug = ms == 2100;
        services.onSleep = [&] { script->gone = unplug && services.preciseNow() - start > 2s; };
        float ambient = 7, sky = 8;
        const bool got = getReadings(link, services, ambient, sky);
        EXPECT_EQ(std::tuple(got, sky, ambient, (services.preciseNow() - start).count(),
                             link.deviceGone()),
                  std::tuple(read, wantSky, wantAmbient, ms, unplug));
        EXPECT_TRUE(ms != 15400 || services.doEventsCalls == 7 * 20) << services.doEventsCalls;
    }
}

}  // namespace
}  // namespace skarvel
