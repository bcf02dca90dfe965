// The metrics' text; promtool and a real Prometheus read it in the whole-program test.
#include <gmock/gmock.h>

#include "automation/metrics.h"

using namespace skarvel;

TEST(Metrics, FollowTheStateAndLeaveOutWhatIsNotKnown) {
    AutomationState fresh, down, clear;
    fresh.startedUtc = std::chrono::sys_seconds(std::chrono::seconds(1796681703));
    down.anyCycle = true, down.cycles = 3, down.readFailures = 1;
    clear = down;
    clear.linkOpen = clear.haveReading = clear.verdict.safe = true;
    clear.sky = -30.1f, clear.state = "CLEAR", clear.cloudCover = 42.5f;
    const MonitorHealth health{2, 1.25, 40'000'000};
    struct Row {
        AutomationState state;
        MonitorHealth health;
        std::vector<std::string> want, unwanted;
    };
    const Row rows[] = {
        {fresh,
         {},
         {"skarvel_sky_state{state=\"ERROR\"} 0\n", "skarvel_cycles_total 0\n",
          "process_start_time_seconds 1796681703\n",
          "skarvel_build_info{version=\"1\\\"\\\\\\n\"} 1"},
         {"skarvel_sky_temperature_celsius", "skarvel_cloud_cover_ratio", "skarvel_last_reading",
          "process_cpu", "process_resident"}},
        {down,
         health,
         {"skarvel_sky_state{state=\"ERROR\"} 1\n", "skarvel_read_failures_total 1\n",
          "skarvel_messages_total 2\n", "process_cpu_seconds_total 1.25\n",
          "process_resident_memory_bytes 40000000\n"},
         {"skarvel_sky_temperature_celsius"}},
        {clear,
         health,
         {"skarvel_safe 1\n", "skarvel_sky_state{state=\"CLEAR\"} 1\n",
          "skarvel_sky_state{state=\"ERROR\"} 0\n", "skarvel_sky_temperature_celsius -30.1\n",
          "skarvel_cloud_cover_ratio 0.425\n", "skarvel_cycles_total 3\n"},
         {}},
    };
    for (const Row& row : rows) {
        const std::string text = metricsText(row.state, row.health, "1\"\\\n");
        for (const std::string& line : row.want) EXPECT_THAT(text, ::testing::HasSubstr(line));
        for (const std::string& part : row.unwanted)
            EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr(part)));
    }
}
