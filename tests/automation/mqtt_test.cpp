// What goes to the MQTT broker, and when the link tries again.

#include <gmock/gmock.h>

#include <sstream>

#include "automation/automation_ini.h"
#include "automation/mqtt_link.h"
#include "fakes/fake_desktop_services.h"
#include "skarvel_version.h"

#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace skarvel;
using std::chrono::seconds;

TEST(MqttMessages, StateFollowsReadingLinkAndVerdict) {
    AutomationSettings settings;
    settings.mqttTopic = "club/pier-2";
    AutomationState clear{{true, "CLEAR"}, true, true};
    clear.anyCycle = true;
    clear.sky = -30.06f, clear.ambient = 10, clear.difference = -40.1f, clear.state = "CLEAR";
    AutomationState down = clear;
    down.linkOpen = false, down.verdict = {false, "say \"no\""}, down.ambient = -0.0f;
    down.cloudCover = 87.54f;
    AutomationState closed{{false, "port closed"}, false, false};
    closed.anyCycle = true;
    const std::pair<AutomationState, std::string> rows[] = {
        {{{false, "no reading yet"}, true, false},
         R"({"time":"2026-12-07T22:15:03Z","safe":false,"reason":"no reading yet"})"},
        {closed,
         R"({"time":"2026-12-07T22:15:03Z","state":"ERROR","safe":false,"reason":"port closed"})"},
        {clear, R"({"time":"2026-12-07T22:15:03Z","sky":-30.1,"ambient":10.0,"difference":-40.1,)"
                R"("state":"CLEAR","safe":true,"reason":"CLEAR"})"},
        {down, R"({"time":"2026-12-07T22:15:03Z","sky":-30.1,"ambient":0.0,"difference":-40.1,)"
               R"("cloudCover":87.5,"state":"ERROR","safe":false,"reason":"say \"no\""})"},
    };
    for (const auto& [state, json] : rows)
        EXPECT_EQ(mqttState(settings, state, std::chrono::sys_seconds(seconds(1796681703))),
                  (MqttMessage{"club/pier-2/state", json}));
    // Home Assistant takes letters, digits, - and _ in a node id.
    settings = AutomationSettings{.uniqueId = "{a.b_c-1}"};
    const MqttMessage safety = homeAssistantConfigs(settings, SKARVEL_VERSION).back();
    EXPECT_EQ(safety.topic, "homeassistant/binary_sensor/skarvel_ab_c-1/safety/config");
    EXPECT_THAT(safety.payload,
                ::testing::HasSubstr(R"("identifiers":["{a.b_c-1}"],"name":"Skarvel",)"));
}

namespace {

struct FakeClient : MqttClient {
    void open(const MqttMessage& will) override { log << "open(" << will.payload << ") "; }
    void publish(const MqttMessage& m) override {
        log << (m.topic.starts_with("homeassistant/") ? "config" : m.topic + "=" + m.payload)
            << " ";
    }
    void close() override { log << "close "; }
    void abort() override { log << "abort "; }
    std::ostringstream log;
};

}  // namespace

TEST(MqttLink, PublishesOnEveryConnectionAndBacksOffQuietly) {
    // A script of steps, and what the client is told during each; "!" where a message is shown.
    // "t N" is a tick at N seconds, "lost" a failure at the last tick's time.
    using Script = std::vector<std::pair<std::string, std::string>>;
    const std::string online = "s/status=online config config config config config config ";
    const std::string state = R"(s/state={"time":"1970-01-01T00:00:00Z","safe":false,"reason":""})";
    // clang-format off
    const std::pair<bool, Script> rows[] = {
        {true, {{"start", "open(offline) "}, {"opened", online}, {"state", state + " "},
                {"stop", "s/status=offline close "}}},
        // Retries 1, 2, 4... s after each failure, to a minute; one message for the outage. 4 s
        // from the failure, not from the attempt; unanswered for 15 s: given up; after a new
        // outage, back to 1 s.
        {false, {{"state", ""}, {"start", "open(offline) "}, {"lost", "abort !"}, {"t 0.9", ""},
                 {"t 1", "open(offline) "}, {"lost", "abort "}, {"t 2.9", ""},
                 {"t 3", "open(offline) "}, {"t 3.5", ""}, {"lost", "abort "}, {"t 7.4", ""},
                 {"t 7.5", "open(offline) "}, {"lost", "abort "}, {"t 15.5", "open(offline) "},
                 {"t 30.4", ""}, {"t 30.5", "abort "}, {"t 46.5", "open(offline) "},
                 {"lost", "abort "}, {"t 78.5", "open(offline) "}, {"lost", "abort "},
                 {"t 138.4", ""}, {"t 138.5", "open(offline) "},
                 {"opened", "s/status=online " + state + " "}, {"lost", "abort !"},
                 {"t 139.4", ""}, {"t 139.5", "open(offline) "}, {"stop", "abort "},
                 {"t 200", ""}}},
    };
    // clang-format on
    for (const auto& [homeAssistant, script] : rows) {
        AutomationSettings settings;
        settings.mqttTopic = "s";
        settings.homeAssistant = homeAssistant;
        FakeClient client;
        skarvel::testing::FakeDesktopServices services;
        MqttLink link(settings, SKARVEL_VERSION, client, services);
        MqttLink::Clock::time_point now{};
        std::size_t shown = 0;
        for (const auto& [step, expected] : script) {
            client.log.str("");
            if (step == "start") link.start(now);
            if (step == "opened") link.opened();
            if (step == "lost") link.lost("refused", now);
            if (step == "state") link.publishState({}, {});
            if (step == "stop") link.stop();
            if (step.starts_with("t ")) {
                now = MqttLink::Clock::time_point(
                    std::chrono::duration_cast<MqttLink::Clock::duration>(
                        std::chrono::duration<double>(std::stod(step.substr(2)))));
                link.tick(now);
            }
            if (services.messages.size() > shown) client.log << "!";
            shown = services.messages.size();
            EXPECT_EQ(client.log.str(), expected) << step;
        }
    }
}
