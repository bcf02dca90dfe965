// The monitor's /metrics as Prometheus' own tools read them: promtool in every state of the sky,
// and a real Prometheus scraping the running monitor with the README's configuration and alerts.
#include <gmock/gmock.h>
#include <QStandardPaths>

#include <regex>

#include "integration/whole_program.h"
#include "skarvel_version.h"

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

TEST(Prometheus, ScrapesTheMonitorAndPromtoolPassesEveryState) {
    if (QStandardPaths::findExecutable("prometheus").isEmpty())
        GTEST_SKIP() << "Prometheus is not installed (Debian package prometheus)";
    const int alpaca = testing::ownPort(0), prometheus = testing::ownPort(1);
    testing::WholeProgram run("2026-12-07 22:01:00", {"--silent"}, {}, [&](auto& r) {
        TempDir::write(r.folder / "automation.ini",
                       "safeDelayMinutes=0\nalpacaAddress=127.0.0.1\ndiscoveryPort=0\nalpacaPort=" +
                           std::to_string(alpaca) + "\n");
    });
    // The README's configuration and alerts, scraping every second.
    const std::string readme = TempDir::read(SKARVEL_TEST_DATA_DIR "/../../README.md");
    std::smatch config, rules;
    ASSERT_TRUE(std::regex_search(readme, config, std::regex("```yaml\n(scrape_configs:[^`]*)")));
    ASSERT_TRUE(std::regex_search(readme, rules, std::regex("```yaml\n(groups:[^`]*)")));
    const std::string rulesFile = run.logs.file("skarvel-rules.yml");
    TempDir::write(rulesFile, rules[1]);
    EXPECT_EQ(promtool({"check", "rules", QString::fromStdString(rulesFile)}),
              "Checking " + rulesFile + "\n  SUCCESS: 2 rules found\n\n|0");
    const std::string target = "127.0.0.1:" + std::to_string(alpaca);
    TempDir::write(run.logs / "prometheus.yml",
                   std::regex_replace(std::regex_replace(config[1].str(), std::regex("15s"), "1s"),
                                      std::regex("observatory-pc:11111"), target));
    testing::Child server(
        {"prometheus", "--config.file=" + QString::fromStdString(run.logs.file("prometheus.yml")),
         "--storage.tsdb.path=" + QString::fromStdString(run.logs.file("tsdb")),
         "--web.listen-address=127.0.0.1:" + QString::number(prometheus)},
        {}, run.logs / "prometheus.out");

    // Per state: the sensor (none: pulled out), lines the metrics hold and lines they must not,
    // and skarvel_safe as Prometheus' query answers it.
    const std::string sky = "skarvel_sky_state{state=", temperature = "skarvel_sky_temperature";
    using Lines = std::vector<std::string>;
    // clang-format off
    const std::tuple<QStringList, Lines, Lines, char> steps[] = {
        {{"--silent"},  // before the first reading
         {sky + "\"ERROR\"} 0\n", "skarvel_build_info{version=\"" SKARVEL_VERSION "\"} 1\n",
          "process_resident_memory_bytes ", "process_cpu_seconds_total "},
         {temperature, "skarvel_last_reading", "skarvel_read_failures_total 0\n"}, '0'},
        {{"--sky=-30", "--ambient=5"}, {sky + "\"CLEAR\"} 1\n", temperature + "_celsius -30\n",
          "skarvel_sky_difference_celsius -35\n", "skarvel_last_reading_timestamp_seconds 17"},
         {}, '1'},
        {{"--sky=-1.5", "--ambient=5"}, {sky + "\"V.CLOUDY\"} 1\n", sky + "\"CLEAR\"} 0\n"}, {},
         '0'},
        {{}, {sky + "\"ERROR\"} 1\n", temperature + "_celsius -1.5\n"}, {}, '0'},
    };
    // clang-format on
    for (const auto& [sensor, want, unwanted, safe] : steps) {
        SCOPED_TRACE(sensor.join(' ').toStdString());
        sensor.isEmpty() ? run.unplug() : run.plugIn(sensor);
        std::string reply, metrics;
        const auto holds = [&] {
            reply = testing::httpGet(alpaca, "/metrics");
            metrics = reply.substr(std::min(reply.size(), reply.find("\r\n\r\n") + 4));
            const auto in = [&](const std::string& line) {
                return metrics.find(line) != reply.npos;
            };
            return std::all_of(want.begin(), want.end(), in) &&
                   std::none_of(unwanted.begin(), unwanted.end(), in) &&
                   in(std::string("skarvel_safe ") + safe + "\n");
        };
        EXPECT_TRUE(QTest::qWaitFor(holds, 30'000)) << reply << run.journal();
        EXPECT_THAT(reply, HasSubstr("Content-Type: text/plain; version=0.0.4; charset=utf-8"));
        EXPECT_EQ(promtool({"check", "metrics"}, metrics), "|0") << metrics;
        const auto query = [&] {
            return testing::httpGet(prometheus, "/api/v1/query?query=skarvel_safe");
        };
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return query().ends_with(safe + std::string("\"]}]}}")); }, 30'000))
            << query() << TempDir::read(run.logs / "prometheus.out");
    }
}

}  // namespace
}  // namespace skarvel
