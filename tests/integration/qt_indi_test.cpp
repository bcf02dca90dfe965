// INDI's own Weather Safety Proxy driver, run by indiserver, reading the monitor's safety.json
// through a file:// URL while the simulated sky changes under the real monitor.
#include <gmock/gmock.h>
#include <QStandardPaths>

#include "integration/whole_program.h"

namespace skarvel {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;

TEST(Indi, SafetyProxyFollowsTheSkyAndStaysConnected) {
    if (QStandardPaths::findExecutable("indi_weather_safety_proxy").isEmpty())
        GTEST_SKIP() << "INDI's weather safety proxy is not installed (Debian package indi-bin)";
    const QString port = QString::number(20000 + ::getpid() % 20000), bin = SKARVEL_BIN_DIR;
    // The proxy's properties: set with "=value", or a value read.
    auto indi = [&](const QString& property) {
        QProcess tool;
        const QStringList spec{"-p", port, "Weather Safety Proxy." + property};
        tool.start(property.contains('=') ? "indi_setprop" : "indi_getprop",
                   property.contains('=') ? spec : QStringList{"-1", "-t", "1"} + spec);
        tool.waitForFinished(5000);
        return tool.readAllStandardOutput().trimmed().toStdString();
    };
    TempDir home, folder;
    auto path = [&](const char* name) { return QString::fromStdString(folder.file(name)); };
    std::filesystem::copy_file(bin.toStdString() + "/skarvel", folder / "skarvel");
    // Ten fake seconds pass in one: stale after 3 s, safe at the first clear reading.
    TempDir::write(folder / "automation.ini",
                   "staleSeconds=30\nsafeDelayMinutes=0\nalpacaPort=0\ndiscoveryPort=0\n");
    testing::Child server({"indiserver", "-p", port, "indi_weather_safety_proxy"},
                          {{"HOME", QString::fromStdString(home.str())}}, folder / "indi.out");
    ASSERT_TRUE(testing::waitFor([&] { return indi("CONNECTION.CONNECT") == "Off"; }, 10s));
    indi("WEATHER_SAFETY_URLS.WEATHER_SAFETY_URL=file://" + path("safety.json"));
    indi("SCRIPT_OR_CURL.Use url=On");
    indi("CONNECTION.CONNECT=On");
    indi("WEATHER_UPDATE.PERIOD=1");
    std::optional<testing::Child> sensor, monitor;
    const std::pair<QStringList, std::string> steps[] = {
        {{"--sky=-30", "--ambient=10", "--interval=0.05"}, "Ok CLEAR"},
        {{"--sky=5", "--ambient=10", "--interval=0.05"}, "Alert V.CLOUDY"},
        {{"--sky=-30", "--ambient=10", "--interval=0.05"}, "Ok CLEAR"},
        {{"--silent"}, "Alert STALE"},
    };
    for (const auto& [sky, want] : steps) {
        sensor.reset();
        sensor.emplace(QStringList{bin + "/skarvel-sensor-sim", "--link", path("com1")} + sky,
                       std::map<QString, QString>{}, folder / "sensor.out");
        const QString asan = qEnvironmentVariable("ASAN_OPTIONS") + ":verify_asan_link_order=0";
        if (!monitor) {
            monitor.emplace(
                QStringList{"faketime", "-f", "@2026-12-07 22:01:00 x10", path("skarvel")},
                std::map<QString, QString>{{"QT_QPA_PLATFORM", "offscreen"},
                                           {"NO_FAKE_STAT", "1"},
                                           {"ASAN_OPTIONS", asan}},
                folder / "monitor.out");
        }
        std::string seen;
        for (int i = 0; i < 100 && !seen.starts_with(want); ++i) {
            std::this_thread::sleep_for(200ms);
            seen = indi("WEATHER_STATUS.WEATHER_SAFETY") + " " +
                   indi("WEATHER_SAFETY_REASONS.Reasons");
        }
        EXPECT_THAT(seen, ::testing::StartsWith(want));
    }
    EXPECT_EQ(indi("CONNECTION.CONNECT"), "On");
    EXPECT_EQ(TempDir::read(folder / "indi.out").find("parse_error"), std::string::npos);
}

}  // namespace
}  // namespace skarvel
