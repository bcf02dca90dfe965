// The real monitor on a real mosquitto broker, watched by mosquitto_sub, with the discovery
// configs' templates rendered as Home Assistant renders them.
#include <gmock/gmock.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include "integration/whole_program.h"
#include "skarvel_version.h"

namespace skarvel {
namespace {

using QTest::qWaitFor;
using testing::Child;
using ::testing::HasSubstr;
using testing::TempDir;
using testing::WholeProgram;

QString findProgram(const QString& name) {
    QString path = QStandardPaths::findExecutable(name);
    return path.isEmpty() ? QStandardPaths::findExecutable(name, {"/usr/sbin"}) : path;
}

/// A mosquitto broker of its own on `port`, for the user "obs" with the password "pw".
struct Broker {
    Broker(const TempDir& dir, int port) {
        QProcess::execute(findProgram("mosquitto_passwd"),
                          {"-c", "-b", QString::fromStdString(dir.file("passwd")), "obs", "pw"});
        TempDir::write(dir / "mosquitto.conf", "listener " + std::to_string(port) +
                                                   " 127.0.0.1\npersistence false\npassword_file " +
                                                   dir.file("passwd") + "\n");
        process.emplace(QStringList{findProgram("mosquitto"), "-c",
                                    QString::fromStdString(dir.file("mosquitto.conf"))},
                        std::map<QString, QString>{}, dir / "broker.out");
        QTcpSocket probe;
        for (int i = 0; i < 50 && probe.state() != QAbstractSocket::ConnectedState; ++i) {
            probe.connectToHost("127.0.0.1", quint16(port));
            probe.waitForConnected(100) || (QTest::qWait(100), true);
        }
    }
    std::optional<Child> process;
};

/// What `topics` hold now on the broker at `port`, retained, one "topic payload" a line.
std::vector<std::string> retained(int port, const QString& topics) {
    QProcess sub;
    sub.start(findProgram("mosquitto_sub"),
              {"-h", "127.0.0.1", "-p", QString::number(port), "-v", "-W", "1", "--retained-only",
               "-t", topics, "-u", "obs", "-P", "pw"});
    sub.waitForFinished(5000);
    std::vector<std::string> lines;
    for (const QByteArray& line : sub.readAllStandardOutput().split('\n'))
        if (!line.isEmpty()) lines.push_back(line.toStdString());
    return lines;
}

std::string payloadOf(const std::vector<std::string>& lines, const std::string& topic) {
    for (const std::string& line : lines)
        if (line.starts_with(topic + " ")) return line.substr(topic.size() + 1);
    return {};
}

/// `tmpl` rendered against `payload`.
std::string render(const QString& tmpl, const std::string& payload) {
    QProcess python;
    python.start("python3", {SKARVEL_TEST_DATA_DIR "/../integration/ha_render.py", tmpl});
    python.write(QByteArray::fromStdString(payload));
    python.closeWriteChannel();
    python.waitForFinished(5000);
    return python.readAllStandardOutput().trimmed().toStdString();
}

TEST(Mqtt, BrokerFollowsTheSkyAndHomeAssistantSeesItTheRightWayRound) {
    if (findProgram("mosquitto").isEmpty() || findProgram("mosquitto_sub").isEmpty())
        GTEST_SKIP() << "no mosquitto broker and clients (Debian mosquitto, mosquitto-clients)";
    const int port = testing::ownPort(0);
    TempDir brokerDir;
    auto broker = std::make_unique<Broker>(brokerDir, port);
    // Ten fake seconds a real one: stale after 3 s.
    WholeProgram run("2026-12-07 22:01:00", {"--sky=-30", "--ambient=5"}, {}, [&](WholeProgram& r) {
        TempDir::write(r.folder / "automation.ini",
                       "staleSeconds=30\nsafeDelayMinutes=0\nalpacaPort=0\n"
                       "discoveryPort=0\nuniqueId=pier-2\nmqttHost=127.0.0.1\n"
                       "mqttTopic=club/pier-2\nmqttUser=obs\nmqttPassword=pw\nmqttPort=" +
                           std::to_string(port) + "\n");
    });
    const auto state = [&] { return payloadOf(retained(port, "club/#"), "club/pier-2/state"); };
    const auto status = [&](const std::string& want, int ms) {
        return qWaitFor(
            [&] { return payloadOf(retained(port, "club/#"), "club/pier-2/status") == want; }, ms);
    };
    const auto follows = [&](const std::string& want) {
        return qWaitFor([&] { return state().find(want) != std::string::npos; }, 20'000);
    };
    ASSERT_TRUE(
        follows(R"("sky":-30.0,"ambient":5.0,"difference":-35.0,"state":"CLEAR","safe":true)"))
        << state() << run.journal();

    // Each config as Home Assistant reads it, and what it makes of a clear and a cloudy sky.
    std::map<std::string, std::pair<QJsonObject, std::string>> configs;
    for (const std::string& line : retained(port, "homeassistant/#")) {
        const std::size_t space = line.find(' ');
        const QJsonObject config =
            QJsonDocument::fromJson(QByteArray::fromStdString(line.substr(space + 1))).object();
        EXPECT_EQ(config["state_topic"], "club/pier-2/state") << line;
        EXPECT_EQ(config["availability_topic"], "club/pier-2/status") << line;
        EXPECT_EQ(config["device"]["identifiers"][0], "pier-2") << line;
        EXPECT_EQ(config["device"]["sw_version"], SKARVEL_VERSION) << line;
        EXPECT_FALSE(config["unique_id"].toString().isEmpty()) << line;
        const std::string topic = line.substr(0, space);
        configs[topic.substr(0, topic.size() - 7)] = {config, ""};
    }
    const std::string node = "homeassistant/sensor/skarvel_pier-2/";
    const std::map<std::string, std::pair<std::string, std::string>> seen = {
        {node + "sky_temperature", {"-30.0", "5.0"}},
        {node + "ambient_temperature", {"5.0", "5.0"}},
        {node + "difference", {"-35.0", "0.0"}},
        {node + "cloud_cover", {"None", "None"}},  // no log to learn the clear sky from
        {node + "sky_state", {"CLEAR", "V.CLOUDY"}},
        {"homeassistant/binary_sensor/skarvel_pier-2/safety", {"off", "on"}},  // on: unsafe
    };
    ASSERT_EQ(configs.size(), seen.size()) << run.journal();
    const auto homeAssistant = [&](const QJsonObject& config) {
        const std::string value = render(config["value_template"].toString(), state());
        if (!config.contains("payload_on")) return value;
        return value == config["payload_on"].toString().toStdString()    ? std::string("on")
               : value == config["payload_off"].toString().toStdString() ? std::string("off")
                                                                         : value;
    };
    for (auto& [topic, config] : configs) config.second = homeAssistant(config.first);
    run.plugIn({"--sky=5", "--ambient=5"});
    ASSERT_TRUE(follows(R"("state":"V.CLOUDY","safe":false,"reason":"V.CLOUDY)"));
    for (const auto& [topic, config] : configs) {
        ASSERT_TRUE(seen.contains(topic)) << topic;
        EXPECT_EQ(config.second + " " + homeAssistant(config.first),
                  seen.at(topic).first + " " + seen.at(topic).second)
            << topic;
        if (config.first["device_class"] == "temperature") {
            EXPECT_EQ(config.first["unit_of_measurement"].toString() + " " +
                          config.first["state_class"].toString(),
                      "°C measurement");
        }
    }
    run.plugIn({"--silent"});
    EXPECT_TRUE(follows(R"("safe":false,"reason":"STALE)"));

    // A broker restarted without memory is given everything again.
    broker.reset();
    broker = std::make_unique<Broker>(brokerDir, port);
    EXPECT_TRUE(qWaitFor([&] { return retained(port, "#").size() == 8; }, 20'000)) << run.journal();

    // A killed monitor is "offline" by its last will: the socket's end tells the broker at once,
    // a vanished host within 1.5 keep-alives (45 s).
    run.kill();
    EXPECT_TRUE(status("offline", 45'000));
    // A clean stop says it itself: the broker drops the will of a client that disconnects.
    run.restart();
    EXPECT_TRUE(status("online", 20'000));
    EXPECT_EQ(run.terminate(), 0);
    EXPECT_TRUE(status("offline", 0));
    EXPECT_THAT(run.journal(), ::testing::Not(HasSubstr("MQTT")));
}

}  // namespace
}  // namespace skarvel
