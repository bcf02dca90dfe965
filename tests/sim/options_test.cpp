#include "options.h"

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace skarvel::sim {
namespace {

using Args = std::vector<std::string_view>;

TEST(SimOptions, ValuesAfterASpaceOrAnEqualsSign) {
    auto p = parseOptions(Args{"--link", "/tmp/x/com1", "--interval=2", "--sky", "-28.5",
                               "--ambient=12", "--seed", "18446744073709551615"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.link, "/tmp/x/com1");
    EXPECT_EQ(p.options.interval, 2.0);
    EXPECT_EQ(*p.options.sky, -28.5);
    EXPECT_EQ(*p.options.ambient, 12.0);
    EXPECT_EQ(p.options.seed, 18446744073709551615ULL);

    p = parseOptions(Args{"--history", "30", "--folder", "/tmp/demo", "--now", "2024-12-07 22:40"});
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.mode, Mode::kHistory);
    EXPECT_EQ(*p.options.now, makeTime(2024, 12, 7, 22, 40));
}

TEST(SimOptions, BadCommandLinesAreRefusedWithAReason) {
    const Args bad[] = {
        {},
        {"--link"},
        {"--link", "--count", "3"},  // a forgotten value, not a link named "--count"
        {"--link", "x", "--interval", "0"},
        {"--link", "x", "--interval", "0,5"},
        {"--link", "x", "--sky", "-20"},
        {"--link", "x", "--night", "--sky", "-20", "--ambient", "5"},
        {"--link", "x", "--count", "2.5"},
        {"--link", "x", "--seed", "-1"},
        {"--link", "x", "--silent", "--count", "3"},
        {"--link", "x", "--link", "y"},
        {"--link", "x", "extra"},
        {"--history", "3"},
        {"--history", "3", "--folder", "d", "--link", "x"},
        {"--link", "x", "--now", "2024-01-01 10:00"},
        {"--history", "3", "--folder", "d", "--now", "2024-02-30 10:00"},
        {"--history", "3", "--folder", "d", "--now", "2024-1-1 10:00"},
    };
    for (const Args& args : bad) {
        EXPECT_NE(parseOptions(args).error, "") << ::testing::PrintToString(args);
    }
}

}  // namespace
}  // namespace skarvel::sim
