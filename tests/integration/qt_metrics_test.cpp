// The monitor's /metrics as Prometheus' own tools read them: promtool in every state of the sky,
// and the README's configuration and alerts as promtool checks them.
#include <gmock/gmock.h>
#include <QStandardPaths>

#include <regex>

#include "integration/whole_program.h"

namespace skarvel {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

/// What promtool says, standard output and error, with `input` on its standard input; its
/// exit code after a '|'.
std::string promtool(const QStringList& args, const std::string& input = {}) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start("promtool", args);
    tool.write(QByteArray::fromStdString(input));
    tool.closeWriteChannel();
    tool.waitForFinished(20'000);
    return tool.readAll().toStdString() + "|" + std::to_string(tool.exitCode());
}

TEST(Prometheus, PromtoolPassesTheReadmesConfigAndRulesAndTheMetricsInEveryState) {
    if (QStandardPaths::findExecutable("promtool").isEmpty())
        GTEST_SKIP() << "promtool is not installed (Debian package prometheus)";
    const int alpaca = testing::ownPort(0);
    testing::WholeProgram run("2026-12-07 22:01:00", {"--silent"}, {}, [&](auto& r) {
        TempDir::write(r.folder / "automation.ini",
                       "safeDelayMinutes=0\nalpacaAddress=127.0.0.1\ndiscoveryPort=0\nalpacaPort=" +
                           std::to_string(alpaca) + "\n");
    });
    // The README's configuration, with the alerts beside it as it says.
    const std::string readme = TempDir::read(SKARVEL_TEST_DATA_DIR "/../../README.md");
    std::smatch config, rules;
    ASSERT_TRUE(std::regex_search(readme, config, std::regex("```yaml\n(scrape_configs:[^`]*)")));
    ASSERT_TRUE(std::regex_search(readme, rules, std::regex("```yaml\n(groups:[^`]*)")));
    TempDir::write(run.logs / "skarvel-rules.yml", rules[1]);
    TempDir::write(run.logs / "prometheus.yml", config[1]);
    EXPECT_THAT(
        promtool({"check", "config", QString::fromStdString(run.logs.file("prometheus.yml"))}),
        AllOf(HasSubstr("SUCCESS: 1 rule files found"), HasSubstr("SUCCESS: 2 rules found"),
              ::testing::EndsWith("|0")));

    // Per state (the values themselves are the unit test's): the sensor (none: pulled out), a
    // line the metrics hold, and skarvel_safe.
    const std::string sky = "skarvel_sky_state{state=";
    const std::tuple<QStringList, std::string, char> steps[] = {
        {{"--silent"}, sky + "\"ERROR\"} 0\n", '0'},  // before the first reading
        {{"--sky=-30", "--ambient=5"}, "skarvel_sky_difference_celsius -35\n", '1'},
        {{"--sky=-1.5", "--ambient=5"}, sky + "\"V.CLOUDY\"} 1\n", '0'},
        {{}, sky + "\"ERROR\"} 1\n", '0'}};
    for (const auto& [sensor, want, safe] : steps) {
        SCOPED_TRACE(sensor.join(' ').toStdString());
        sensor.isEmpty() ? run.unplug() : run.plugIn(sensor);
        std::string reply, metrics;
        const auto holds = [&] {
            reply = testing::httpGet(alpaca, "/metrics");
            metrics = reply.substr(std::min(reply.size(), reply.find("\r\n\r\n") + 4));
            return metrics.find(want) != reply.npos &&
                   metrics.find("\nprocess_resident_memory_bytes ") != reply.npos &&
                   metrics.find(std::string("skarvel_safe ") + safe + "\n") != reply.npos;
        };
        EXPECT_TRUE(QTest::qWaitFor(holds, 30'000)) << reply << run.journal();
        EXPECT_THAT(reply, HasSubstr("Content-Type: text/plain; version=0.0.4; charset=utf-8"));
        EXPECT_EQ(promtool({"check", "metrics"}, metrics), "|0") << metrics;
    }
    // The sensor pulled out says so in a message box at its next cycle; the journal counts it.
    const std::regex counted("\nskarvel_messages_total [1-9]");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return std::regex_search(testing::httpGet(alpaca, "/metrics"), counted); }, 30'000));
}

}  // namespace
}  // namespace skarvel
