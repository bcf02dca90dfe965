// POSIX only (pseudo-terminals, signals, child processes): not built for Windows.
#include "live_sensor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "history.h"
#include "pty_port.h"
#include "sensor_line.h"
#include "store/field_reader.h"

namespace skarvel::sim {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string_view>;
using testing::TempDir;

// Everything the reader can get within `ms`, until the far end goes away.
std::string readFor(int fd, int ms) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (char buf[4096]; std::chrono::steady_clock::now() < until;) {
        pollfd ready{fd, POLLIN, 0};
        ::poll(&ready, 1, 5);
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) got.append(buf, std::size_t(n));
        if (n == 0 || (n < 0 && errno == EIO)) break;
    }
    return got;
}

TEST(SimOptions, BadCommandLinesAreRefusedAndNowGoesWithBothModes) {
    const Args bad[] = {
        {},
        {"--link", "--count", "3"},  // a forgotten value, not a link named "--count"
        {"--link", "x", "--interval", "0,5"},
        {"--link", "x", "--sky", "-20"},
        {"--link", "x", "--force"},
        {"--history", "3", "--folder", "d", "--link", "x"},
        {"--history", "3", "--folder", "d", "--now", "2024-02-30 10:00"},
    };
    for (const Args& args : bad) {
        EXPECT_NE(parseOptions(args).error, "") << ::testing::PrintToString(args);
    }
    for (const Args& good : {Args{"--history", "3", "--folder", "d", "--now", "2024-12-07 22:40"},
                             Args{"--link", "x", "--now=2024-12-07 22:40"}}) {
        EXPECT_EQ(parseOptions(good).options.now, std::optional(makeTime(2024, 12, 7, 22, 40)));
    }
}

// A demo that ended badly leaves its link behind; a real device's link is never taken over.
TEST(DeviceLink, ReplacesOnlyStaleOrPseudoTerminalLinks) {
    TempDir dir;
    fs::create_symlink("/dev/pts/12345", dir / "com1");
    fs::create_symlink("/dev/null", dir / "device");
    EXPECT_EQ(fs::read_symlink(DeviceLink(dir.file("com1"), "/dev/pts/1").path()), "/dev/pts/1");
    EXPECT_FALSE(fs::is_symlink(dir / "com1"));
    EXPECT_THROW(DeviceLink(dir.file("device"), "/dev/pts/1"), std::runtime_error);
    EXPECT_EQ(fs::read_symlink(dir / "device"), "/dev/null");
}

// The whole live sensor in a child process, so that its signal handling is real; `whileRunning`
// is called once the link is there. Returns the exit status.
template <typename F>
int runSensor(Args args, LocalTime now, F whileRunning) {
    const ParsedOptions parsed = parseOptions(args);
    EXPECT_EQ(parsed.error, "");
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 3;
        try {
            status = runLiveSensor(parsed.options, now);
        } catch (...) {
        }
        ::_exit(status);
    }
    const fs::path link = parsed.options.link;
    for (int i = 0; i < 500 && !fs::is_symlink(link); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(fs::is_symlink(link));
    whileRunning(pid);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_FALSE(fs::is_symlink(link)) << "link left behind";
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LiveSensor, LinesEndingsAndTheHistorysWeatherCarriedOn) {
    TempDir dir;
    const std::string com1 = dir.file("com1");
    const LocalTime now = makeTime(2024, 12, 7, 22, 46);
    std::string got;
    const auto readAll = [&](pid_t) {
        const int reader = ::open(com1.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        got = readFor(reader, 2000);
        ::close(reader);
    };
    EXPECT_EQ(runSensor({"--link", com1, "--interval=0.01", "--sky=-28.5", "--ambient=12",
                         "--bad-every=5", "--count=5"},
                        now, readAll),
              0);
    const std::string good = "S-28.50C:A+12.00C:\r\n";
    EXPECT_EQ(got, good + good + good + good + "$" + good);
    EXPECT_EQ(runSensor({"--link", com1}, now, [](pid_t pid) { ::kill(pid, SIGTERM); }), 0);

    // The first live line carries on from the last line of history for the same seed and time.
    for (const LocalTime t : {now, makeTime(2025, 7, 1, 14, 31), makeTime(2025, 3, 20, 6, 1)}) {
        EXPECT_EQ(runSensor({"--link", com1, "--seed=3", "--count=1"}, t, readAll), 0);
        double sky = 0, ambient = 0;
        ASSERT_EQ(std::sscanf(got.c_str(), "S%lfC:A%lfC:", &sky, &ambient), 2) << got;
        const std::string last = makeHistory(0, t, 3).back().text;
        FieldReader line(last.substr(last.rfind('\n', last.size() - 2) + 1));
        line.readText();
        EXPECT_NEAR(ambient, line.readSingle(), 1.0) << last;
        EXPECT_NEAR(sky, line.readSingle(), 1.0) << last;
    }
}

}  // namespace
}  // namespace skarvel::sim
