// The metrics' text where the whole-program test does not reach: the cover, and what is unknown.
#include <gmock/gmock.h>

#include "automation/metrics.h"

using namespace skarvel;
using ::testing::HasSubstr;

TEST(Metrics, CoverAsARatioAndNothingUnknown) {
    AutomationState fresh, clear;
    clear.anyCycle = clear.linkOpen = clear.haveReading = true;
    clear.state = "CLEAR", clear.cloudCover = 42.5f;
    const std::string known = metricsText(clear, {2, 1.25, 40'000'000}, "1");
    for (const char* line : {"skarvel_cloud_cover_ratio 0.425\n", "skarvel_messages_total 2\n",
                             "process_resident_memory_bytes 40000000\n"})
        EXPECT_THAT(known, HasSubstr(line));
    const std::string unknown = metricsText(fresh, {}, "1\"\\\n");
    for (const char* family : {"skarvel_sky_temperature_celsius", "skarvel_cloud_cover_ratio",
                               "skarvel_last_reading", "process_cpu"})
        EXPECT_THAT(unknown, ::testing::Not(HasSubstr(family)));
    EXPECT_THAT(unknown, HasSubstr(R"(skarvel_build_info{version="1\"\\\n"} 1)"));
}
