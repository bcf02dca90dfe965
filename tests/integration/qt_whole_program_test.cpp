// The real monitor and the real simulator on a pseudo-terminal, on a fast fake clock, checked
// through the files they leave behind, and through the INDI driver under a real indiserver.
#include <gmock/gmock.h>
#include <QImage>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <set>
#include <thread>

#include "integration/whole_program.h"
#include "store/readings_log.h"
#include "store/value_text.h"

namespace skarvel {
namespace {

using namespace std::chrono_literals;
using QTest::qWaitFor;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::TempDir;
using testing::WholeProgram;
namespace fs = std::filesystem;

const QStringList kClear = {"--sky=-30", "--ambient=5"};

std::string defaultConfig(const std::string& webFolder) {
    return "webPath," + webFolder +
           "/\r\ncommportid,1\r\ncloudyThreshold,-25\r\nvCloudyThreshold,-15\r\n";
}

LocalTime stampOf(const std::string& line) {
    return parseDateTime(line.substr(0, line.find(',')));
}

TEST(WholeProgram, FirstQuarterAfterStartLogsOneLinePublishesAndDraws) {
    // The start leaves the monitor 30 fake seconds (3 real ones) to come up before the quarter.
    const LocalTime quarter = makeTime(2026, 12, 7, 10, 15);
    TempDir web;
    WholeProgram run("2026-12-07 10:14:30", {"--sky=-8.46", "--ambient=12.34"},
                     defaultConfig(web.str()));
    std::string status;  // rewritten every cycle, so read once
    ASSERT_TRUE(qWaitFor(
        [&] {
            status = run.read("status.txt");
            return !status.empty() && stampOf(status) >= quarter;
        },
        12'000))
        << status << run.journal();
    EXPECT_EQ(run.read("config.ini"), defaultConfig(web.str()));
    EXPECT_EQ(fs::status(run.folder / "automation.ini").permissions(), fs::perms(0600));

    // Written by the first cycle of the new quarter, and only then.
    const std::string log = run.read(dayFileName(quarter));
    const LocalTime stamp = stampOf(log);
    EXPECT_EQ(log, dateTimeText(stamp) + ",12.3,-8.5\r\n");
    EXPECT_TRUE(stamp >= quarter && stamp < quarter + 30s) << log;
    EXPECT_EQ(status, dateTimeText(stampOf(status)) + ",CLOUDY\r\n");
    EXPECT_THAT(TempDir::read(web / "CloudStatus.html"), HasSubstr("Delta temp = -20.8C"));
    EXPECT_TRUE(qWaitFor([&] { return run.read("boltwood.txt") >= "2026-12-07 10:15"; }, 3000));

    const std::pair<const char*, QSize> images[] = {
        {"history.bmp", {1000, 534}}, {"month.bmp", {1001, 529}}, {"year.bmp", {1001, 537}}};
    for (const auto& [name, size] : images) {
        SCOPED_TRACE(name);
        const std::string bytes = run.read(name);
        EXPECT_EQ(bytes.substr(28, 2), std::string({24, 0})) << "bits per pixel";
        const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()),
                                              int(bytes.size()), "BMP");
        EXPECT_EQ(image.size(), size);
        EXPECT_EQ(image.pixel(460, 300), qRgb(255, 128, 0));  // -25, the cloudy threshold
        EXPECT_EQ(image.pixel(460, 200), qRgb(255, 0, 0));    // -15, the very cloudy one
        EXPECT_TRUE(TempDir::read(web / name) == bytes) << "the web copy differs";
    }
}

TEST(WholeProgram, NightFaultsPassWithNobodyThereAndSigtermEndsCleanly) {
    struct Case {
        const char* what;
        std::function<void(WholeProgram&)> prepare, fault, mend;
        std::string journal;  // the message and the start of what it concerns
        bool readingsStop;
    };
    const std::string port =
        "Error opening comm port 1, click the 'Setup' button and verify the com port selection [";
    TempDir web;
    std::optional<QSerialPort> holder;
    const auto hold = [&](WholeProgram& r) {
        r.plugIn();
        holder.emplace(QString::fromStdString(fs::canonical(r.folder / "com1").string()));
        ASSERT_TRUE(holder->open(QIODevice::ReadOnly));
    };
    // clang-format off
    const Case cases[] = {
        {"sensor unplugged for three cycles", {}, [](auto& r) { r.unplug(); },
         [](auto& r) { r.plugIn(); }, port, true},
        {"port held by another program", hold, {}, [&](auto&) { holder.reset(); },
         port + "/dev/pts/", true},
        {"web folder gone", {}, [&](auto&) { fs::remove_all(web.str()); },
         [&](auto&) { fs::create_directory(web.str()); }, "Error 76 (Path not found) at line 20 in "
         "procedure CreateWebPage of Form frmMain [" + web.file("CloudStatus.html") + "]", false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::create_directories(web.str());
        WholeProgram run("2026-12-07 02:14:45", kClear, defaultConfig(web.str()), c.prepare);
        const auto status = [&] { return run.read("status.txt"); };
        if (c.fault) {
            ASSERT_TRUE(qWaitFor([&] { return !status().empty(); }, 10'000));
            c.fault(run);
        }
        // Three cycles of the fault, the first of which may have begun before it.
        std::this_thread::sleep_for(1500ms);
        const std::string during = status();
        std::this_thread::sleep_for(2s);
        EXPECT_EQ(status() == during, c.readingsStop) << during;
        const auto start = std::chrono::steady_clock::now();
        if (c.mend) c.mend(run);
        // Readings, the page, and the quarter's log line with its redraw.
        EXPECT_TRUE(qWaitFor(
            [&] {
                return status() != during && fs::exists(web / "CloudStatus.html") &&
                       fs::exists(run.folder / "history.bmp") &&
                       run.read("2026_12_7.csv").find(",5,-30\r\n") != std::string::npos;
            },
            10'000));
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, 4s) << "four cycles; took " << took / 1ms << " ms";
        EXPECT_THAT(run.journal(), HasSubstr(c.journal));

        fs::remove(run.folder / "config.ini");  // written again at the end
        EXPECT_EQ(run.terminate(), 0);
        EXPECT_EQ(run.read("config.ini"), defaultConfig(web.str()));
    }
}

TEST(WholeProgram, OneMonitorPerFolderKeepsThePasswordPrivateAndOpensItsPortWhenFree) {
    const int alpaca = testing::ownPort(0);
    QTcpServer other;  // another program holds the port for a while
    ASSERT_TRUE(other.listen(QHostAddress::Any, quint16(alpaca)));
    const std::string ini = "mqttPassword=secret\nalpacaPort=" + std::to_string(alpaca) +
                            "\nalpacaAddress=127.0.0.1\ndiscoveryPort=0\n";
    WholeProgram run("2026-12-07 22:01:00", kClear, {}, [&](WholeProgram& r) {
        TempDir::write(r.folder / "automation.ini", ini);
        fs::permissions(r.folder / "automation.ini", fs::perms(0644));
    });
    ASSERT_TRUE(qWaitFor(
        [&] { return run.journal().find("cannot be opened") != std::string::npos; }, 10'000))
        << run.journal();
    EXPECT_EQ(fs::status(run.folder / "automation.ini").permissions(), fs::perms(0600));
    EXPECT_TRUE(run.read("automation.ini").starts_with(ini)) << run.read("automation.ini");

    // A second monitor in the folder ends at once, leaving everything as it was.
    const auto names = [&] {
        std::set<std::string> all;
        for (const auto& e : fs::directory_iterator(run.folder.str()))
            if (!e.path().filename().string().starts_with(".")) all.insert(e.path().filename());
        return all;
    };
    const std::set<std::string> before = names();
    testing::Child second = run.another(run.logs / "second.out");
    EXPECT_EQ(second.exitCode(10'000), 1);
    EXPECT_THAT(TempDir::read(run.logs / "second.out"),
                HasSubstr("Skarvel already runs for the folder " + run.folder.folder()));
    EXPECT_EQ(names(), before);

    // Freed 15 fake seconds later, the port is served at the next try, within 30 of them; the
    // metrics have this process's figures and count the message.
    QTest::qWait(1500);
    other.close();
    std::string metrics;
    const auto served = [&] {
        return (metrics = testing::httpGet(alpaca, "/metrics")).starts_with("HTTP/1.1 200");
    };
    EXPECT_TRUE(qWaitFor(served, 4500));
    EXPECT_THAT(metrics, AllOf(HasSubstr("Content-Type: text/plain; version=0.0.4; charset=utf-8"),
                               HasSubstr("\nprocess_resident_memory_bytes "),
                               ::testing::ContainsRegex("\nskarvel_messages_total [1-9]")));
    for (const char* said : {"is on again", "it is now readable by you only"})
        EXPECT_THAT(run.journal(), HasSubstr(said));
}

TEST(Indi, OwnDriverShowsTheSkyAndCoverAlertsWhenTheMonitorIsGoneOrStuckAndKeepsItsOptions) {
    if (QStandardPaths::findExecutable("indiserver").isEmpty())
        GTEST_SKIP() << "indiserver is not installed (Debian package indi-bin)";
    const QString port = QString::number(testing::ownPort(0)),
                  alpaca = QString::number(testing::ownPort(1));
    // The driver judges the state's age by the real clock: the monitor's fake one starts an hour
    // ahead of it, so that only the fetch can fail here.
    char start[32];
    const std::time_t later = std::time(nullptr) + 3600;
    std::tm utc{};
    std::strftime(start, sizeof start, "%Y-%m-%d %H:%M:%S", ::gmtime_r(&later, &utc));
    WholeProgram run(start, kClear, {}, [&](WholeProgram& r) {
        TempDir::write(r.folder / "automation.ini",
                       "safeDelayMinutes=0\nalpacaPort=" + alpaca.toStdString() +
                           "\nalpacaAddress=127.0.0.1\ndiscoveryPort=0\n");
    });
    // indiserver starts a driver by its path; a cross-built one through the emulator.
    QString driver = SKARVEL_BIN_DIR "/indi_skarvel_weather";
#ifdef SKARVEL_EMULATOR
    TempDir::write(run.logs / "indi_skarvel_weather",
                   "#!/bin/sh\nexec " + testing::ofBuild(driver).join(' ').toStdString() + "\n");
    fs::permissions(run.logs / "indi_skarvel_weather", fs::perms::owner_exec,
                    fs::perm_options::add);
    driver = QString::fromStdString(run.logs.file("indi_skarvel_weather"));
#endif
    // Its configuration is kept in HOME, for the next server to start the driver with.
    const QStringList serverArgs{"indiserver", "-p", port, "-u", run.logs.file("indi").c_str(),
                                 driver};
    const std::map<QString, QString> home{{"HOME", run.logs.str().c_str()}};
    std::optional<testing::Child> server(std::in_place, serverArgs, home, run.logs / "indi.out");
    // Longer than the driver's time-out, during which it answers nobody.
    auto indi = [&](const QString& property) {
        QProcess tool;
        const QStringList args{"-p", port, "Skarvel." + property};
        tool.start(property.contains('=') ? "indi_setprop" : "indi_getprop",
                   property.contains('=') ? args : QStringList{"-1", "-t", "8"} + args);
        tool.waitForFinished(15'000);
        return tool.readAllStandardOutput().trimmed().toStdString();
    };
    // A client connected all along, as Ekos is, sees the driver's messages and every change.
    QTcpSocket client;
    QByteArray seen;
    QObject::connect(&client, &QTcpSocket::readyRead, [&] { seen += client.readAll(); });
    ASSERT_TRUE(qWaitFor([&] { return indi("CONNECTION.CONNECT") == "Off"; }, 30'000));
    client.connectToHost("127.0.0.1", port.toUShort());
    client.write("<getProperties version='1.7'/>");
    ASSERT_TRUE(qWaitFor([&] { return seen.contains("DRIVER_INFO"); }));
    indi("MONITOR_URL.URL=localhost");
    indi("MONITOR_URL.URL=http://127.0.0.1:" + alpaca);
    EXPECT_EQ(indi("MONITOR_STALE.SECONDS"), "120");  // the default
    indi("CONNECTION.CONNECT=On");
    const auto shown = [&] {
        return indi("WEATHER_STATUS.WEATHER_SAFETY") + " " + indi("WEATHER_SAFETY_REASONS.Reasons");
    };
    // Each step within a few of the driver's ten-second updates; a start under emulation takes
    // its time.
    const struct {
        const char* what;
        std::function<void()> act;
        std::string want;
        int withinMs;
    } steps[] = {
        // clang-format off
        {"start", [] {}, "Ok CLEAR", 60'000},
        {"cloud", [&] { run.plugIn({"--sky=5", "--ambient=5"}); }, "Alert V.CLOUDY", 40'000},
        {"SIGSTOP", [&] { run.signal(SIGSTOP); },
         "Alert NO ANSWER: no whole answer within the time-out", 45'000},
        {"SIGCONT", [&] { run.signal(SIGCONT); }, "Alert V.CLOUDY", 45'000},
        {"kill -9", [&] { run.kill(); }, "Alert NO ANSWER: Connection refused", 45'000},
        // A month of log: the monitor restarted on it has the cloud cover.
        {"restart", [&] {
            const QStringList sim = testing::ofBuild(SKARVEL_BIN_DIR "/skarvel-sensor-sim");
            QProcess::execute(sim[0], sim.mid(1) + QStringList{"--history", "30", "--force",
                              "--now", QString(start).left(16),  // no seconds
                              "--folder", run.folder.str().c_str()});
            run.plugIn(kClear), run.restart(); }, "Ok CLEAR", 90'000},
        // clang-format on
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_TRUE(qWaitFor([&] { return shown() == step.want; }, step.withinMs)) << shown();
    }
    EXPECT_EQ(indi("CONNECTION.CONNECT"), "On") << "nobody reconnected it";
    // The values, and the ranges Ekos shows as normal: nothing a sensor reads is outside them, no
    // cover either, and no warning zone.
    EXPECT_THAT(indi("WEATHER_PARAMETERS.*") + "\n" + indi("WEATHER_CLOUD_COVER.*"),
                ::testing::MatchesRegex(
                    ".*SAFETY=1\n.*=-30\n.*=5\n.*COVER=0\n.*MIN_OK=0\n.*MAX_OK=100\n.*WARN=0"));
    EXPECT_EQ(indi("WEATHER_SKY_TEMPERATURE.MAX_OK") + " " + indi("WEATHER_TEMPERATURE.MIN_OK"),
              "100 -100");
    indi("WEATHER_CLOUD_COVER.MAX_OK=30");
    indi("CONFIG_PROCESS.CONFIG_SAVE=On");
    indi("MONITOR_STALE.SECONDS=300");  // saved as it is set
    QTest::qWait(11'000);  // one more update: a cover added at every update would show below
    // A new URL is asked at once, not at the next update; the device's other texts are the base's.
    indi("WEATHER_UPDATE.PERIOD=3600"), indi("ACTIVE_DEVICES.ACTIVE_GPS=GPS2");
    // clang-format off
    for (const auto& [port, want] : {std::pair<QString, std::string>("1", "Alert NO ANSWER: Connection refused"), {alpaca, "Ok CLEAR"}}) {
        // clang-format on
        indi("MONITOR_URL.URL=http://127.0.0.1:" + port);
        EXPECT_TRUE(qWaitFor([&] { return shown() == want; }, 8'000)) << shown();
    }
    EXPECT_EQ(indi("ACTIVE_DEVICES.ACTIVE_GPS"), "GPS2");
    // What a client connected all along saw; attributes come in the order libindi writes them.
    const std::string all = seen.simplified().toStdString(), dev = R"(device="Skarvel" name=)";
    // clang-format off
    for (const std::string& what : std::vector<std::string>{
             "Asking http://127.0.0.1:" + alpaca.toStdString() + " for the sky", "[INFO] Unsafe: V.CLOUDY", "URL is http://host:port",
             "<defSwitchVector " + dev + "\"DEBUG\"", "<setTextVector " + dev + R"("MONITOR_URL" state="Alert")",
             "<setTextVector " + dev + R"("MONITOR_URL" state="Ok")", "<setTextVector " + dev + R"("WEATHER_SAFETY_REASONS")"})
        // clang-format on
        EXPECT_THAT(all, HasSubstr(what));
    EXPECT_THAT(all, Not(HasSubstr("CONNECTION_MODE")));
    // The parameters withdrawn once, for the cover to be added.
    EXPECT_EQ(QByteArray::fromRawData(all.data(), qsizetype(all.size()))
                  .count("<delProperty " + dev + "\"WEATHER_PARAMETERS\""),
              1);
    indi("CONNECTION.DISCONNECT=On");
    EXPECT_TRUE(qWaitFor([&] { return indi("CONNECTION.CONNECT") == "Off"; }));
    // A new server: the options and the cover's range come back from the saved configuration.
    server.emplace(serverArgs, home, run.logs / "indi.out");
    ASSERT_TRUE(qWaitFor(
        [&] { return indi("CONNECTION.CONNECT=On"), indi("CONNECTION.CONNECT") == "On"; }, 30'000));
    EXPECT_TRUE(qWaitFor([&] { return shown() == "Ok CLEAR"; }, 40'000)) << shown();
    EXPECT_EQ(indi("MONITOR_STALE.SECONDS"), "300");
    EXPECT_EQ(indi("WEATHER_CLOUD_COVER.MAX_OK"), "30");
}

}  // namespace
}  // namespace skarvel
