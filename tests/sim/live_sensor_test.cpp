// POSIX only (pseudo-terminals, signals): not built for Windows.
#include "live_sensor.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "history.h"
#include "pty_port.h"
#include "store/field_reader.h"

namespace skarvel::sim {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string_view>;

// The live sensor, its signals real, read through its link until the port goes away.
std::string runSensor(Args args, LocalTime now = {}, bool terminate = false) {
    const ParsedOptions parsed = parseOptions(args);
    std::thread sensor([&] { EXPECT_EQ(runLiveSensor(parsed.options, now), 0); });
    while (!fs::exists(parsed.options.link)) std::this_thread::yield();
    const int reader = ::open(parsed.options.link.c_str(), O_RDONLY | O_NOCTTY);
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = ::read(reader, buf, sizeof buf)) > 0;) {
        got.append(buf, std::size_t(n));
        // Once only: the sensor puts the default action back as it ends.
        if (std::exchange(terminate, false)) ::pthread_kill(sensor.native_handle(), SIGTERM);
    }
    ::close(reader);
    sensor.join();
    return got;
}

// Only an unplug leaves the link, dangling like a pulled-out USB sensor's, so a monitor keeps
// retrying its port; the next run replaces it.
TEST(LiveSensor, LinesCarryOnFromTheHistoryAndOnlyAnUnplugLeavesTheLink) {
    testing::TempDir dir;
    const std::string com1 = dir.file("com1"), good = "S-28.50C:A+12.00C:\r\n";
    EXPECT_EQ(runSensor({"--link", com1, "--interval=0.01", "--sky=-28.5", "--ambient=12",
                         "--bad-every=5", "--count=5"}),
              good + good + good + good + "$" + good);
    const std::tuple<LocalTime, std::string_view, bool> runs[] = {
        {makeTime(2024, 12, 7, 22, 46), "--count=1", false},
        {makeTime(2025, 3, 20, 6, 1), "--unplug-after=0.3", false},
        {makeTime(2025, 7, 1, 14, 31), "--interval=0.5", true}};  // ended by SIGTERM
    for (const auto& [now, end, terminate] : runs) {
        const std::string got = runSensor({"--link", com1, "--seed=3", end}, now, terminate);
        double sky = 0, ambient = 0;
        ASSERT_EQ(std::sscanf(got.c_str(), "S%lfC:A%lfC:", &sky, &ambient), 2) << got;
        const std::string last = makeHistory(0, now, 3).back().text;
        FieldReader line(last.substr(last.rfind('\n', last.size() - 2) + 1));
        line.readText();
        EXPECT_NEAR(ambient, line.readSingle(), 1.0) << last;
        EXPECT_NEAR(sky, line.readSingle(), 1.0) << last;
        EXPECT_EQ(fs::is_symlink(com1) && !fs::exists(com1), end.starts_with("--unplug")) << end;
    }
}

}  // namespace
}  // namespace skarvel::sim
