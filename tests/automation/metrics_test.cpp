// The metrics' text in every state, as Prometheus' own tool reads it with the README's
// configuration and alerts.
#include <gmock/gmock.h>

#include <cstdlib>
#include <regex>

#include "automation/metrics.h"
#include "fakes/temp_dir.h"

using namespace skarvel;
using skarvel::testing::TempDir;
using ::testing::HasSubstr;

TEST(Metrics, CoverAsARatioNothingUnknownAndPromtoolTakesThem) {
    AutomationState fresh, clear;
    clear.anyCycle = clear.linkOpen = clear.haveReading = true;
    clear.state = "CLEAR", clear.verdict.safe = true, clear.cloudCover = 42.5f, clear.cycles = 7,
    clear.readFailures = 3;
    std::tie(clear.sky, clear.ambient, clear.difference) = std::tuple(-30.5f, 5.25f, -35.75f);
    clear.lastReadingUtc = std::chrono::sys_seconds(std::chrono::seconds(1'796'681'703));
    clear.startedUtc = clear.lastReadingUtc - std::chrono::hours(1);
    const std::string known = metricsText(clear, {2, 1.25, 40'000'000}, "1");
    for (const char* line :
         {"skarvel_sky_temperature_celsius -30.5\n", "skarvel_ambient_temperature_celsius 5.25\n",
          "skarvel_sky_difference_celsius -35.75\n", "skarvel_cloud_cover_ratio 0.425\n",
          "skarvel_safe 1\n", "{state=\"CLEAR\"} 1\n", "{state=\"ERROR\"} 0\n",
          "skarvel_last_reading_timestamp_seconds 1796681703\n", "skarvel_cycles_total 7\n",
          "skarvel_read_failures_total 3\n", "skarvel_messages_total 2\n",
          "process_start_time_seconds 1796678103\n", "process_cpu_seconds_total 1.25\n",
          "process_resident_memory_bytes 40000000\n"})
        EXPECT_THAT(known, HasSubstr(line));
    fresh.cloudCover = 5;  // not without a reading
    const std::string unknown = metricsText(fresh, {}, "1\"\\\n");
    for (const char* family : {"skarvel_sky_temperature_celsius", "skarvel_cloud_cover_ratio",
                               "skarvel_last_reading", "process_cpu"})
        EXPECT_THAT(unknown, ::testing::Not(HasSubstr(family)));
    EXPECT_THAT(unknown, HasSubstr(R"(skarvel_build_info{version="1\"\\\n"} 1)"));
    EXPECT_THAT(unknown, HasSubstr("skarvel_safe 0\n"));
#ifdef __linux__
    EXPECT_EQ(processHealth().residentBytes.value_or(1) % 4096, 0u);      // whole pages
    if (std::system("promtool --version > /dev/null 2>&1") != 0) return;  // not installed
    const TempDir dir;
    const std::string readme = TempDir::read(SKARVEL_TEST_DATA_DIR "/../../README.md");
    std::smatch config, rules;
    ASSERT_TRUE(std::regex_search(readme, config, std::regex("```yaml\n(scrape_configs:[^`]*)")) &&
                std::regex_search(readme, rules, std::regex("```yaml\n(groups:[^`]*)")));
    TempDir::write(dir / "prometheus.yml", config[1]), TempDir::write(dir / "known", known);
    TempDir::write(dir / "skarvel-rules.yml", rules[1]), TempDir::write(dir / "unknown", unknown);
    // Lint findings are printed with exit status 0.
    const std::pair<const char*, const char*> checks[] = {
        {"check metrics < known", "[ -z \"$out\" ]"},
        {"check metrics < unknown", "[ -z \"$out\" ]"},
        {"check config prometheus.yml", "echo \"$out\" | grep -q 'SUCCESS: 2 rules found'"}};
    for (const auto& [check, passed] : checks) {
        const std::string command =
            "cd " + dir.str() + " && out=$(promtool " + check + " 2>&1) && " + passed;
        EXPECT_EQ(std::system(command.c_str()), 0) << check;
    }
#endif
}
