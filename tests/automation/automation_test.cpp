// The safety verdict, the texts of the files other observatory software reads, automation.ini,
// and the clear sky learned from the log.

#include <gmock/gmock.h>

#include <regex>

#include "automation/automation_files.h"
#include "automation/automation_ini.h"
#include "automation/automation_publisher.h"
#include "automation/safety_verdict.h"
#include "automation/sky_model.h"
#include "fakes/fake_desktop_services.h"
#include "fakes/temp_dir.h"

// The settings and the state have defaults for every member a row leaves out.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace skarvel;
using std::chrono::seconds, std::chrono::sys_seconds;

TEST(SafetyVerdict, FollowsLinkAgeStateAndDelay) {
    // unsafeFrom, safeDelayMinutes, the conditions now, the verdict and its events (id, trigger,
    // seconds since the cause began, description). Before them come `safeFor` seconds of
    // safe cycles, one every 10 s, `brokenAgo` seconds ago one of them with the link down.
    const std::string link =
        "skarvel-link Offline 0 The sensor's port is not open; it is tried again every cycle.";
    const std::string pending = "skarvel-pending Inactive 0 No reading since the monitor started.";
    const std::string delay = "skarvel-safe-delay Unsafe ",
                      needed = " of the 600 s needed (safeDelayMinutes).";
    // clang-format off
    const std::tuple<const char*, int, int, int, SafetyConditions, Verdict, std::string> rows[] = {
        {"CLOUDY", 10, 0, 0, {true, "CLEAR", 0}, {false, "CLEAR, safe for 0 of 600 s"},
         delay + "0 Safe for 0" + needed},
        {"CLOUDY", 10, 590, 0, {true, "CLEAR", 3}, {false, "CLEAR, safe for 590 of 600 s"},
         delay + "590 Safe for 590" + needed},
        {"CLOUDY", 10, 600, 0, {true, "CLEAR", 3}, {true, "CLEAR"}, ""},
        {"CLOUDY", 10, 900, 300, {true, "CLEAR", 0}, {false, "CLEAR, safe for 290 of 600 s"},
         delay + "290 Safe for 290" + needed},
        {"CLOUDY", 0, 0, 0, {true, "CLEAR", 120}, {true, "CLEAR"}, ""},
        {"CLOUDY", 0, 30, 0, {true, "CLEAR", 121}, {false, "STALE: no reading for 121 s"},
         "skarvel-stale Inactive 0 No reading for 121 s; the limit is 120 s (staleSeconds)."},
        {"CLOUDY", 0, 30, 0, {true, "CLOUDY", 0, -20.8f}, {false, "CLOUDY"},
         "skarvel-sky AboveThreshold 0 CLOUDY: sky minus ambient -20.8 °C is above the "
         "cloudy threshold -25 °C; unsafe from CLOUDY."},
        {"V.CLOUDY", 0, 0, 0, {true, "CLOUDY", 0}, {true, "CLOUDY"}, ""},
        {"V.CLOUDY", 0, 0, 0, {true, "V.CLOUDY", 0, 0}, {false, "V.CLOUDY"},
         "skarvel-sky AboveThreshold 0 V.CLOUDY: sky minus ambient 0 °C is above the "
         "very cloudy threshold -15 °C; unsafe from V.CLOUDY."},
        {"CLOUDY", 0, 30, 0, {false, "CLEAR", 0}, {false, "ERROR: sensor port not open"}, link},
        {"CLOUDY", 0, 30, 0, {false, "", 0}, {false, "ERROR: sensor port not open"},
         link + "\n" + pending},
        {"CLOUDY", 0, 30, 0, {true, "", 0}, {false, "PENDING: no reading yet"}, pending},
        // By the cover, whatever the thresholds say; by the CLOUDY rule while there is none.
        {"40%", 0, 0, 0, {true, "CLOUDY", 0, -20.8f, -25, -15, 39.9f, true},
         {true, "CLOUD COVER 39%"}, ""},
        {"40%", 0, 0, 0, {true, "CLEAR", 0, -30, -25, -15, 40, true}, {false, "CLOUD COVER 40%"},
         "skarvel-cover AboveThreshold 0 Cloud cover 40%; the limit is 40% (unsafeFrom)."},
        {"40%", 0, 0, 0, {true, "CLOUDY", 0, -20.8f, -25, -15, {}, false},
         {false, "CLOUDY (cloud cover not learned yet)"},
         "skarvel-sky AboveThreshold 0 CLOUDY: sky minus ambient -20.8 °C is above the cloudy "
         "threshold -25 °C; unsafe from CLOUDY while the cloud cover is not learned yet "
         "(unsafeFrom=40%)."},
        {"100%", 0, 0, 0, {true, "CLEAR", 0, -30, -25, -15, {}, true},
         {true, "CLEAR (cloud cover not available)"}, ""},
    };
    // clang-format on
    const sys_seconds now{seconds(1'796'681'703)};
    for (const auto& [unsafeFrom, delayMinutes, safeFor, brokenAgo, conditions, want, events] :
         rows) {
        const AutomationSettings s{unsafeFrom, 120, delayMinutes};
        SafetyVerdict v;
        for (int t = safeFor; t > 0; t -= 10)
            v.update({t != brokenAgo, "CLEAR", 0}, s, now - seconds(t));
        const Verdict got = v.update(conditions, s, now);
        EXPECT_EQ(std::pair(got.safe, got.reason), std::pair(want.safe, want.reason));
        std::string text;
        for (const SafetyEvent& e : got.events)
            text += (text.empty() ? "" : "\n") + e.id + " " + e.trigger + " " +
                    std::to_string((now - e.since).count()) + " " + e.description;
        EXPECT_EQ(text, events);
    }
    // A cause keeps the time it began while it lasts: cloudy, very cloudy, then stale.
    SafetyVerdict v;
    const AutomationSettings s{"CLOUDY", 30, 0};
    for (int t = 0; t <= 20; t += 10)
        v.update({true, t ? "V.CLOUDY" : "CLOUDY", 0}, s, now + seconds(t));
    EXPECT_EQ(v.update({true, "CLOUDY", 0}, s, now + seconds(30)).events.at(0).since, now);
    const sys_seconds later = now + seconds(40);
    EXPECT_EQ(v.update({true, "CLOUDY", 31}, s, later).events.at(0).since, later);
}

TEST(AutomationFiles, BoltwoodLineAndSafetyJson) {
    // Safe, link open, state, difference, ambient, age of the reading (-1: none), local time, the
    // line.
    const std::tuple<bool, bool, const char*, float, float, int, LocalTime, const char*> lines[] = {
        {true, true, "CLEAR", -35.8f, 5.3f, 4, makeTime(2026, 12, 7, 22, 15, 3),
         "2026-12-07 22:15:03.00 C K  -35.8    5.3    5.3    0.0   0  -99.9   0 0 0 00004 "
         "046363.92712 1 0 0 0 0 0"},
        // Stale for ever so long, values beyond the columns.
        {false, true, "CLEAR", -1234.5f, 1000, 100000, makeTime(2027, 1, 1),
         "2027-01-01 00:00:00.00 C K -999.0  999.0  999.0    0.0   0  -99.9   0 0 0 99999 "
         "046388.00000 0 0 0 0 1 1"},
        {true, true, "CLOUDY", -20, 1, 120, makeTime(2026, 7, 15),
         "2026-07-15 00:00:00.00 C K  -20.0    1.0    1.0    0.0   0  -99.9   0 0 0 00120 "
         "046218.00000 2 0 0 0 0 0"},
        {false, false, "CLOUDY", -20, 1, 0, makeTime(2026, 7, 15),
         "2026-07-15 00:00:00.00 C K  -20.0    1.0    1.0    0.0   0  -99.9   0 0 0 00000 "
         "046218.00000 0 0 0 0 1 1"},
        {false, true, "", 0, 0, -1, makeTime(2026, 7, 15),  // no reading yet
         "2026-07-15 00:00:00.00 C K    0.0    0.0    0.0    0.0   0  -99.9   0 0 0 99999 "
         "046218.00000 0 0 0 0 1 1"},
    };
    for (const auto& [safe, link, state, difference, ambient, age, now, line] : lines) {
        AutomationState s{{safe, ""}, link, age >= 0};
        std::tie(s.difference, s.ambient, s.state) = std::tuple(difference, ambient, state);
        EXPECT_EQ(boltwoodText(s, {}, age, now), line + std::string("\n"));
    }
    // The UTC time is its own, not the local one; the reason escaped.
    EXPECT_EQ(safetyJsonText({true, "CLEAR"}, sys_seconds{seconds(1796681703)}),
              R"({"timestamp_utc":"2026-12-07T22:15:03Z","roof_status":{"open_ok":1,)"
              R"("reasons":"CLEAR"}})"
              "\n");
    EXPECT_EQ(safetyJsonText({false, "say \"no\\\n"}, sys_seconds{seconds(1798761599)}),
              R"({"timestamp_utc":"2026-12-31T23:59:59Z","roof_status":{"open_ok":0,)"
              R"("reasons":"say \"no\\\u000a"}})"
              "\n");
}

TEST(AutomationPublisher, CountsCyclesAndSaysAFailedWriteOncePerRun) {
    skarvel::testing::TempDir dir;
    skarvel::testing::FakeDesktopServices services(dir.str());
    dir.write(dir / "automation.ini", "staleSeconds=120\n");  // no password: nothing to say
    sys_seconds utc{seconds(1'796'681'703)};
    {
        AutomationPublisher p(dir.folder(), services, [&] { return utc; });
        // Per cycle: a reading or a failed read, a folder in the way of safety.json, the
        // messages so far; a clock set back makes the last reading new, not of negative age.
        const std::tuple<bool, bool, std::size_t, int> cycles[] = {
            {false, false, 0, 0}, {true, true, 1, 0},  {true, true, 1, 10},
            {true, false, 1, 10}, {true, true, 2, 10}, {true, false, 2, -60}};
        for (const auto& [reading, blocked, messages, later] : cycles) {
            std::filesystem::remove_all(dir / "safety.json");
            if (blocked) std::filesystem::create_directory(dir / "safety.json");
            utc += seconds(later);
            p.cycleEnded({{}, true, true, reading, -30, 5, -35, "CLEAR", -24, -16});
            EXPECT_EQ(services.messages.size(), messages) << services.messages.back();
        }
        // Learned once, at the start: no day file of the cycles' day.
        const AutomationState& s = p.state();
        EXPECT_EQ(std::tuple(s.cycles, s.readFailures, s.lastReadingUtc, s.vCloudyThreshold,
                             s.skyModel.learnedAt),
                  std::tuple(6u, 1u, utc, -16.0f, services.now()));
        // The farewell's failure says nothing: the window is going.
        std::filesystem::remove(dir / "boltwood.txt");
        std::filesystem::create_directory(dir / "boltwood.txt");
    }
    EXPECT_THAT(dir.read(dir / "safety.json"), ::testing::HasSubstr("STOPPED"));
    EXPECT_EQ(services.messages.size(), 2u);
}

TEST(AutomationIni, DefaultsProblemsAndRewrite) {
    const std::string mqtt =
        "mqttHost=\nmqttPort=1883\nmqttTopic=skarvel\nmqttUser=\nmqttPassword=\nmqttTls=0\n"
        "mqttClientId=skarvel-new-id\nhomeAssistant=1\nskyModel=learn\n";
    const auto settings = [](std::string unsafeFrom, int stale, int delay, int port,
                             std::string address, int discovery, std::string id) {
        AutomationSettings s{unsafeFrom, stale, delay, port, address, discovery, id};
        s.mqttClientId = "skarvel-" + id.substr(0, 8);
        return s;
    };
    AutomationSettings broker = settings("CLOUDY", 120, 10, 11111, "", 32227, "0123456789");
    broker.mqttHost = "broker.lan", broker.mqttPort = 8883, broker.mqttTopic = "club/pier-2";
    broker.mqttUser = "roof", broker.mqttPassword = "p=w d", broker.mqttTls = true;
    broker.homeAssistant = false;
    const std::string head =
        "unsafeFrom=CLOUDY\nstaleSeconds=120\nsafeDelayMinutes=10\n"
        "alpacaPort=11111\nalpacaAddress=\ndiscoveryPort=32227\n";
    const AutomationSettings plain = settings("CLOUDY", 120, 10, 11111, "", 32227, "new-id");
    // The text, the keys of its problems, the text written back and the settings.
    // clang-format off
    const std::tuple<std::string, std::string, std::string, AutomationSettings> rows[] = {
        {"", "", head + "uniqueId=new-id\n" + mqtt, plain},
        // A bad id is replaced in its own line, which is written back alone.
        {head + "uniqueId=a b\n" + mqtt, "uniqueId ", head + "uniqueId=new-id\n" + mqtt, plain},
        {"# mine\r\nunsafefrom = v.cloudy\r\nstaleSeconds=30\r\nsafeDelayMinutes=0\r\nalpacaPort=0"
         "\r\nalpacaAddress=127.0.0.1\r\ndiscoveryPort=65535\r\nuniqueId={A-1}\r\nother=1\r\n" +
             std::string(mqtt).replace(mqtt.find("new-id"), 6, "{A-1}"),
         "", "", settings("V.CLOUDY", 30, 0, 0, "127.0.0.1", 65535, "{A-1}")},
        {"staleSeconds=12x\nalpacaPort=65536\nalpacaAddress=10.0.0.256\nunsafeFrom=CLEAR\n"
         "staleSeconds=5\nnoise\nother=1\nsafeDelayMinutes=\nuniqueId=a b\n" + mqtt,
         "staleSeconds alpacaPort alpacaAddress unsafeFrom staleSeconds \"noise\" safeDelayMinutes uniqueId ",
         "staleSeconds=12x\nalpacaPort=65536\nalpacaAddress=10.0.0.256\nunsafeFrom=CLEAR\n"
         "staleSeconds=5\nnoise\nother=1\nsafeDelayMinutes=\nuniqueId=new-id\n" + mqtt + "discoveryPort=32227\n", plain},
        // Lines in CRLF, rewritten in LF.
        {"uniqueId=0123456789\r\nmqttHost=broker.lan\r\nmqttPort=8883\r\nmqttTopic=club/pier-2\r\n"
         "mqttUser=roof\r\nmqttPassword=p=w d\r\nmqttTls=1\r\nhomeAssistant=0\r\n", "",
         "uniqueId=0123456789\nmqttHost=broker.lan\nmqttPort=8883\nmqttTopic=club/pier-2\n"
         "mqttUser=roof\nmqttPassword=p=w d\nmqttTls=1\nhomeAssistant=0\n" +
             head + "mqttClientId=skarvel-01234567\nskyModel=learn\n", broker},
        // A bad client id's default comes from the id.
        {head + "uniqueId=a\nmqttHost=a b\nmqttPort=0\nmqttTopic=sky/#\nmqttTopic=/sky\nmqttUser=\n"
                "mqttPassword=\nmqttTls=yes\nmqttClientId=x y\nhomeAssistant=2\nskyModel=on\n",
         "mqttHost mqttPort mqttTopic mqttTopic mqttTls mqttClientId homeAssistant skyModel ", "",
         settings("CLOUDY", 120, 10, 11111, "", 32227, "a")},
    };
    // clang-format on
    for (const auto& [text, problems, rewrite, settings] : rows) {
        const AutomationIni ini = parseAutomationIni(text, [] { return "new-id"; });
        EXPECT_TRUE(ini.settings == settings) << text;
        std::string keys;
        for (const std::string& p : ini.problems)
            keys += p.substr(16, p.find_first_of("= ", 16) - 16) + " ";
        EXPECT_EQ(keys, problems) << ::testing::PrintToString(ini.problems);
        EXPECT_EQ(ini.rewrite, rewrite);
    }
    // Each limit from both sides.
    const std::string longest(64, 'i'), host(253, 'h'), topic(128, 't');
    // clang-format off
    const std::pair<std::string, bool> values[] = {
        {"alpacaAddress=255.0.0.255", true}, {"alpacaAddress=1.2.3.4.", false},
        {"alpacaAddress=1.2.3.256", false}, {"alpacaAddress=0001.2.3.4", false},
        {"alpacaAddress=1.2.3", false}, {"alpacaAddress=fe80::1:a.b", true},
        {"alpacaAddress=::1%1", false}, {"staleSeconds=0", true}, {"staleSeconds=86400", true},
        {"staleSeconds=86401", false}, {"safeDelayMinutes=1440", true},
        {"safeDelayMinutes=1441", false}, {"alpacaPort=65535", true}, {"discoveryPort=0", true},
        {"discoveryPort=65536", false}, {"mqttPort=1", true}, {"mqttPort=65535", true},
        {"mqttPort=65536", false}, {"uniqueId=" + longest, true},
        {"uniqueId=" + longest + "i", false}, {"mqttClientId=" + longest, true},
        {"mqttHost=" + host, true}, {"mqttHost=" + host + "h", false},
        {"mqttHost=broker_1.lan", true}, {"mqttTopic=" + topic, true},
        {"mqttTopic=" + topic + "t", false}, {"mqttTopic=$SYS/sky", false}, {"unsafeFrom=1%", true},
        {"mqttTopic=sky/", false}, {"mqttTopic=sky pier", false}, {"mqttTopic=sky\x7f", false},
        {"unsafeFrom=100%", true}, {"unsafeFrom=101%", false}, {"unsafeFrom=0%", false},
        {"troubleMinutes=1440", true}, {"troubleMinutes=1441", false}, {"heartbeatMinutes=0", false},
        {"notifyQuietMinutes=1441", false}, {"summaryTime=00:00", true}, {"summaryTime=24:00", false},
        {"summaryTime=08:60", false}, {"notify.m=mail:a@b\nnotify.m.smtp=smtp://m\nnotify.m.from=me", false},
        {"notify.p=pushover:k\nnotify.p.token=t\nnotify.p.priority=1", true},
        {"notify.p=pushover:k\nnotify.p.token=t\nnotify.p.priority=3", false},
        {"unsafeFrom=%", false}, {"skyModel=OFF", true}, {"skyModel=off\nunsafeFrom=40%", false},
    };
    // clang-format on
    for (const auto& [line, good] : values)
        EXPECT_EQ(parseAutomationIni(line, [] { return "id"; }).problems.empty(), good) << line;
    const std::regex guid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    EXPECT_TRUE(std::regex_match(newGuid(), guid));  // gtest's own regex is too small on Windows
    EXPECT_NE(newGuid().substr(24), newGuid().substr(24));  // the last 48 bits random too
}

TEST(SkyModel, EnvelopeFitAndItsRules) {
    const auto truth = [](double a) { return -22 + 1.2 * a + 0.3 * std::exp(a / 10); };
    // Bins every 2 °C from `low` to `high`, each of `n` lines: just over a tenth on the clear sky
    // (its 10th percentile) and the rest overcast; `wobble` moves every other bin's clear sky up,
    // the others down.
    const auto log = [&](double low, double high, int n, double wobble = 0) {
        std::vector<SkyLine> lines;
        for (int bin = 0; low + 2 * bin <= high; ++bin) {
            const double a = low + 2 * bin;
            for (int i = 0; i < n; ++i)
                lines.push_back({a, i < n / 10 + 2 ? truth(a) + (bin % 2 ? wobble : -wobble) : a});
        }
        return lines;
    };
    std::vector<SkyLine> thin = log(-9, 21, 125);
    for (int i = 0; i < 15; ++i) thin.push_back({40, 40});  // a bin too thin to count
    std::vector<SkyLine> three = log(-9, -9, 700);          // three bins are enough for the curve
    for (double a : {1.0, 11.0}) std::ranges::copy(log(a, a, 700), std::back_inserter(three));
    const double below = truth(-9) - 11 * (1.2 + 0.03 * std::exp(-0.9));  // the tangent at -9
    // Lines, why it is not learned (empty: learned), k3, the clear sky at -20, the range's top, the
    // bins used.
    const std::tuple<std::vector<SkyLine>, const char*, double, double, double, int> rows[] = {
        {log(-9, 21, 125), "", 0.3, below, 21, 16},
        {thin, "", 0.3, below, 21, 16},
        {log(-9, 21, 124), "the log holds 1984 of 2000 lines", 0, 0, 0, 0},
        {log(-9, 21, 15), "the log holds 0 of 2000 lines", 0, 0, 0, 0},
        {log(-9, -1, 400), "the log's ambient spans 8.0 of 10.0 °C", 0, 0, 0, 0},
        {log(-9, 1, 400), "", 0, -46.120, 1, 6},     // a span of 10 °C just enough
        {log(-9, 9, 200), "", 0, -46.309, 9, 10},    // under 20 °C, the line alone
        {log(-9, 11, 200), "", 0.3, below, 11, 11},  // 20 °C: the curve
        {three, "", 0.3, below, 11, 3},
        {log(-9, 21, 125, 2.0), "", 0.401, -46.289, 21, 16},  // a residual of 1.99 °C
        {log(-9, 21, 125, 2.1), "the clear sky fits the log only within 2.1 °C, more than 2.0 °C",
         0, 0, 0, 0},
    };
    for (const auto& [lines, why, k3, at, top, bins] : rows) {
        const SkyModel m = fitClearSky(lines);
        EXPECT_EQ(m.why, why);
        EXPECT_EQ(m.learned, std::string(why).empty());
        if (!m.learned) continue;
        EXPECT_NEAR(m.k3, k3, 0.001);
        EXPECT_NEAR(m.clearSky(-20), at, 0.001);
        EXPECT_EQ(std::tuple(m.lowAmbient, m.highAmbient, m.bins), std::tuple(-9.0, top, bins));
    }
    EXPECT_LT(fitClearSky(log(-9, 21, 125)).residual, 1e-6);  // the curve itself
    // The cover over a clear sky of -20 + 1.5·A: 15 °C under the air at 10 °C, 5 at 30, 4 at 32.
    const SkyModel m{true, "", -20, 1.5, 0, -10, 20};
    const std::tuple<SkyModel, double, double, std::optional<float>> covers[] = {
        {m, 10, -5, 0.0f},   {m, 10, -8, 0.0f},    {m, 10, 2.5, 50.0f}, {m, 10, 10, 100.0f},
        {m, 10, 15, 100.0f}, {m, 30, 27.5, 50.0f}, {m, 32, 28, {}},     {SkyModel{}, 10, 0, {}},
    };
    for (const auto& [model, ambient, sky, cover] : covers)
        EXPECT_EQ(cloudCover(model, ambient, sky), cover) << ambient << " " << sky;
}

TEST(SkyModel, BinsAndTheLogItReads) {
    // One bin from 0 to 2 °C, its first line neither the warmest nor the coldest; below 0 another,
    // too thin.
    std::vector<SkyLine> lines;
    for (int i = 0; i < 16; ++i) lines.push_back({i == 0 ? 1 : i < 8 ? 1.5 : 0.5, double(15 - i)});
    for (int i = 0; i < 15; ++i) lines.push_back({-0.5, -40});
    const auto bins = clearSkyEnvelope(lines);
    ASSERT_EQ(bins.size(), 1u);
    EXPECT_EQ(std::tuple(bins[0].ambient, bins[0].sky, bins[0].lines, bins[0].low, bins[0].high),
              std::tuple(0.96875, 1.5, 16, 0.5, 1.5));

    // The newest two day files up to today, newest first; a line with text for its sky is none,
    // a file cut off mid-line gives what it held.
    skarvel::testing::TempDir dir;
    const std::pair<const char*, const char*> files[] = {
        {"2026_7_21.csv", "7/21/2026 0:00:03 AM,1,1\r\n"},  // tomorrow
        {"2026_7_20.csv", "7/20/2026 0:00:03 AM,10,-20\r\n7/20/2026 0:15:03 AM,11,x\r\n"},
        {"2026_07_19.csv", "7/19/2026 0:00:03 AM,2,2\r\n"},  // not a name the log writes
        {"2026_7_18.csv", "7/18/2026 0:00:03 AM,12,-18\r\n7/18/2026 0:15:03 AM,13"},
        {"2026_7_1.csv", "7/1/2026 0:00:03 AM,3,3\r\n"},
    };
    for (const auto& [name, text] : files) dir.write(dir / name, text);
    std::string read;
    for (const SkyLine& l : readSkyLines(dir.file(""), makeTime(2026, 7, 20, 23, 59), 2))
        read += std::to_string(int(l.ambient)) + "," + std::to_string(int(l.sky)) + " ";
    EXPECT_EQ(read, "10,-20 12,-18 ");
}
