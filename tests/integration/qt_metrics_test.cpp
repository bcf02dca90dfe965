// The monitor's /metrics as Prometheus' own tools read them: promtool in every state of the sky,
// and a real Prometheus scraping the running monitor with the README's configuration and alerts.
#include <gmock/gmock.h>
#include <QStandardPaths>
#include <QTcpSocket>

#include <regex>

#include "integration/whole_program.h"

namespace skarvel {
namespace {

using QTest::qWaitFor;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::TempDir;
using testing::WholeProgram;

/// The whole reply to GET `target` on the loopback `port`, empty when there is none.
std::string httpGet(int port, const std::string& target) {
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(port));
    if (!socket.waitForConnected(2000)) return {};
    socket.write(QByteArray::fromStdString("GET " + target + " HTTP/1.0\r\n\r\n"));
    while (socket.waitForReadyRead(2000)) {
    }
    return socket.readAll().toStdString();
}

/// What `promtool` says with `args` and `input` on its standard input, and its exit code.
std::pair<std::string, int> promtool(const QStringList& args, const std::string& input = {}) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start("promtool", args);
    tool.write(QByteArray::fromStdString(input));
    tool.closeWriteChannel();
    tool.waitForFinished(20'000);
    return {tool.readAll().toStdString(), tool.exitCode()};
}

/// The README's YAML block that holds `key`.
std::string readmeYaml(const std::string& key) {
    const std::string readme = TempDir::read(SKARVEL_TEST_DATA_DIR "/../../README.md");
    static const std::regex block("```yaml\n([^`]*)```");
    for (std::sregex_iterator it(readme.begin(), readme.end(), block), end; it != end; ++it)
        if ((*it)[1].str().find(key) != std::string::npos) return (*it)[1].str();
    return {};
}

TEST(Prometheus, ScrapesTheMonitorAndPromtoolPassesEveryState) {
    if (QStandardPaths::findExecutable("prometheus").isEmpty() ||
        QStandardPaths::findExecutable("promtool").isEmpty())
        GTEST_SKIP() << "Prometheus is not installed (Debian package prometheus)";
    const int alpaca = testing::ownPort(0), prometheusPort = testing::ownPort(1);
    WholeProgram run("2026-12-07 22:01:00", {"--silent"}, {}, [&](WholeProgram& r) {
        TempDir::write(r.folder / "automation.ini",
                       "safeDelayMinutes=0\nalpacaAddress=127.0.0.1\ndiscoveryPort=0\nalpacaPort=" +
                           std::to_string(alpaca) + "\n");
    });

    // The README's configuration and alerts, scraping every second.
    std::string config = readmeYaml("scrape_configs:"), rules = readmeYaml("groups:");
    for (auto [from, to] : {std::pair<std::string, std::string>{"15s", "1s"},
                            {"observatory-pc:11111", "127.0.0.1:" + std::to_string(alpaca)}}) {
        ASSERT_NE(config.find(from), std::string::npos) << config;
        config.replace(config.find(from), from.size(), to);
    }
    TempDir::write(run.logs / "prometheus.yml", config);
    TempDir::write(run.logs / "skarvel-rules.yml", rules);
    const auto [checked, code] =
        promtool({"check", "rules", QString::fromStdString(run.logs.file("skarvel-rules.yml"))});
    EXPECT_EQ(code, 0) << checked;
    EXPECT_THAT(checked, HasSubstr("SUCCESS: 2 rules found"));
    testing::Child prometheus(
        {"prometheus", "--config.file=" + QString::fromStdString(run.logs.file("prometheus.yml")),
         "--storage.tsdb.path=" + QString::fromStdString(run.logs.file("tsdb")),
         "--web.listen-address=127.0.0.1:" + QString::number(prometheusPort)},
        {}, run.logs / "prometheus.out");
    const auto query = [&] { return httpGet(prometheusPort, "/api/v1/query?query=skarvel_safe"); };

    // Per state: the sensor then, the lines the metrics must hold and must not, and the verdict
    // Prometheus' query gives.
    struct Step {
        const char* name;
        QStringList sensor;  ///< none: pulled out
        std::vector<std::string> want, unwanted;
        const char* safe;
    };
    const std::string sky = "skarvel_sky_state{state=";
    const Step steps[] = {
        {"before the first reading",
         {"--silent"},
         {"skarvel_safe 0\n", sky + "\"CLEAR\"} 0\n", sky + "\"ERROR\"} 0\n",
          "skarvel_build_info{version=\"1.3.0\"} 1\n", "process_resident_memory_bytes ",
          "process_cpu_seconds_total "},
         {"skarvel_sky_temperature_celsius", "skarvel_last_reading_timestamp_seconds",
          "skarvel_read_failures_total 0\n", "skarvel_cycles_total 0\n"},
         "0"},
        {"safe",
         {"--sky=-30", "--ambient=5"},
         {"skarvel_safe 1\n", sky + "\"CLEAR\"} 1\n", sky + "\"CLOUDY\"} 0\n",
          "skarvel_sky_temperature_celsius -30\n", "skarvel_ambient_temperature_celsius 5\n",
          "skarvel_sky_difference_celsius -35\n", "skarvel_last_reading_timestamp_seconds 17"},
         {},
         "1"},
        {"unsafe",
         {"--sky=-1.5", "--ambient=5"},
         {"skarvel_safe 0\n", sky + "\"V.CLOUDY\"} 1\n", sky + "\"CLEAR\"} 0\n",
          "skarvel_sky_temperature_celsius -1.5\n", "skarvel_sky_difference_celsius -6.5\n"},
         {},
         "0"},
        {"link down",
         {},
         {"skarvel_safe 0\n", sky + "\"ERROR\"} 1\n", sky + "\"V.CLOUDY\"} 0\n",
          "skarvel_sky_temperature_celsius -1.5\n"},
         {},
         "0"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        step.sensor.isEmpty() ? run.unplug() : run.plugIn(step.sensor);
        std::string reply, metrics;
        const auto holds = [&] {
            reply = httpGet(alpaca, "/metrics");
            metrics = reply.substr(std::min(reply.size(), reply.find("\r\n\r\n") + 4));
            for (const std::string& line : step.want)
                if (metrics.find(line) == std::string::npos) return false;
            for (const std::string& line : step.unwanted)
                if (metrics.find(line) != std::string::npos) return false;
            return true;
        };
        EXPECT_TRUE(qWaitFor(holds, 30'000)) << reply << run.journal();
        EXPECT_THAT(reply, HasSubstr("Content-Type: text/plain; version=0.0.4; charset=utf-8"));
        const auto [said, exit] = promtool({"check", "metrics"}, metrics);
        EXPECT_EQ(exit, 0) << said << metrics;
        EXPECT_EQ(said, "") << metrics;
        const std::string value = std::string("\"") + step.safe + "\"]";
        EXPECT_TRUE(qWaitFor([&] { return query().find(value) != std::string::npos; }, 30'000))
            << query() << TempDir::read(run.logs / "prometheus.out");
    }
}

}  // namespace
}  // namespace skarvel
