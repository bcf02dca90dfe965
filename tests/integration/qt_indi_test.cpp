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
    const QString port = QString::number(20000 + ::getpid() % 20000);
    // The proxy's properties: set with "=value", or a value read.
    auto indi = [&](const QString& property) {
        QProcess tool;
        const QStringList spec{"-p", port, "Weather Safety Proxy." + property};
        tool.start(property.contains('=') ? "indi_setprop" : "indi_getprop",
                   property.contains('=') ? spec : QStringList{"-1", "-t", "1"} + spec);
        tool.waitForFinished(5000);
        return tool.readAllStandardOutput().trimmed().toStdString();
    };
    // Ten fake seconds pass in one: stale after 3 s, safe at the first clear reading.
    const QStringList clear = {"--sky=-30", "--ambient=10"};
    testing::WholeProgram run("2026-12-07 22:01:00", clear, {}, [](testing::WholeProgram& r) {
        TempDir::write(r.folder / "automation.ini",
                       "staleSeconds=30\nsafeDelayMinutes=0\nalpacaPort=0\ndiscoveryPort=0\n");
    });
    testing::Child server({"indiserver", "-p", port, "indi_weather_safety_proxy"},
                          {{"HOME", QString::fromStdString(run.logs.str())}},
                          run.logs / "indi.out");
    ASSERT_TRUE(testing::waitFor([&] { return indi("CONNECTION.CONNECT") == "Off"; }, 10s));
    indi("WEATHER_SAFETY_URLS.WEATHER_SAFETY_URL=file://" +
         QString::fromStdString(run.folder.file("safety.json")));
    indi("SCRIPT_OR_CURL.Use url=On");
    indi("CONNECTION.CONNECT=On");
    indi("WEATHER_UPDATE.PERIOD=1");
    const std::pair<QStringList, std::string> steps[] = {
        {{}, "Ok CLEAR"},
        {{"--sky=5", "--ambient=10"}, "Alert V.CLOUDY"},
        {clear, "Ok CLEAR"},
        {{"--silent"}, "Alert STALE"},
    };
    for (const auto& [sky, want] : steps) {
        if (!sky.isEmpty()) run.plugIn(sky);
        std::string seen;
        EXPECT_TRUE(testing::waitFor(
            [&] {
                seen = indi("WEATHER_STATUS.WEATHER_SAFETY") + " " +
                       indi("WEATHER_SAFETY_REASONS.Reasons");
                return seen.starts_with(want);
            },
            20s))
            << seen << ", not " << want;
    }
    EXPECT_EQ(indi("CONNECTION.CONNECT"), "On");
    EXPECT_EQ(TempDir::read(run.logs / "indi.out").find("parse_error"), std::string::npos);
}

}  // namespace
}  // namespace skarvel
