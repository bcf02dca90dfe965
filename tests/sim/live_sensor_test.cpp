// POSIX only (pseudo-terminals, signals, child processes): not built for Windows.
#include "live_sensor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "pty_port.h"

namespace skarvel::sim {
namespace {

namespace fs = std::filesystem;
using Args = std::vector<std::string_view>;
using testing::TempDir;

// Everything the reader can get within `ms`; `gone` tells whether the far end went away.
std::string readFor(int fd, int ms, bool* gone = nullptr) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (char buf[4096]; std::chrono::steady_clock::now() < until;) {
        pollfd ready{fd, POLLIN, 0};
        ::poll(&ready, 1, 5);
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) got.append(buf, std::size_t(n));
        if (n == 0 || (n < 0 && errno == EIO)) {
            if (gone) *gone = true;
            break;
        }
    }
    return got;
}

TEST(SimOptions, BadCommandLinesAreRefusedWithAReason) {
    const Args bad[] = {
        {},
        {"--link", "--count", "3"},  // a forgotten value, not a link named "--count"
        {"--link", "x", "--interval", "0,5"},
        {"--link", "x", "--sky", "-20"},
        {"--history", "3", "--folder", "d", "--link", "x"},
        {"--history", "3", "--folder", "d", "--now", "2024-02-30 10:00"},
    };
    for (const Args& args : bad) {
        EXPECT_NE(parseOptions(args).error, "") << ::testing::PrintToString(args);
    }
    EXPECT_EQ(parseOptions(Args{"--history", "3", "--folder", "d", "--now", "2024-12-07 22:40"})
                  .options.now,
              std::optional(makeTime(2024, 12, 7, 22, 40)));
}

TEST(PseudoTerminal, AReaderThatFallsBehindLosesWholeLinesNeverParts) {
    PseudoTerminal port;
    const int reader = ::open(port.slaveName().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    LineWriter writer(port.master());
    const std::string line = "S-31.25C:A+11.50C:\r\n";
    int sent = 0, dropped = 0;
    for (int i = 0; i < 20000; ++i) (writer.send(line) ? sent : dropped)++;
    EXPECT_GT(dropped, 0) << "the buffer should have filled";
    std::string got = readFor(reader, 300);
    while (!writer.flush()) got += readFor(reader, 50);
    got += readFor(reader, 100);
    ::close(reader);
    EXPECT_EQ(got.size(), std::size_t(sent) * line.size());
    for (std::size_t at = 0; at < got.size(); at += line.size()) {
        ASSERT_EQ(got.compare(at, line.size(), line), 0) << "torn line at byte " << at;
    }
}

TEST(DeviceLink, ReplacesOnlyStaleOrPseudoTerminalLinksAndRemovesOnlyItsOwn) {
    TempDir dir;
    const PseudoTerminal live;
    {
        DeviceLink link(dir.file("com1"), live.slaveName());
        DeviceLink other(dir.file("com1"), "/dev/pts/12345");  // replaces a live pseudo-terminal
        DeviceLink again(dir.file("com1"), "/dev/pts/12346");  // and a dangling link
        EXPECT_EQ(fs::read_symlink(dir / "com1"), "/dev/pts/12346");
        fs::remove(dir / "com1");  // someone else takes the path over: theirs stays
        fs::create_symlink("/dev/pts/777", dir / "com1");
    }
    EXPECT_EQ(fs::read_symlink(dir / "com1"), "/dev/pts/777");

    TempDir::write(dir / "file", "data");
    fs::create_symlink("/dev/null", dir / "device");
    fs::create_directory(dir / "folder");
    for (const char* name : {"file", "device", "folder"}) {
        EXPECT_THROW(DeviceLink(dir.file(name), "/dev/pts/1"), std::runtime_error) << name;
    }
    EXPECT_EQ(TempDir::read(dir / "file"), "data");
    EXPECT_EQ(fs::read_symlink(dir / "device"), "/dev/null");
}

// The whole live sensor in a child process, so that its signal handling is real; `whileRunning`
// is called once the link is there. Returns the exit status.
template <typename F>
int runSensor(Args args, F whileRunning) {
    const ParsedOptions parsed = parseOptions(args);
    EXPECT_EQ(parsed.error, "");
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 3;
        try {
            status = runLiveSensor(parsed.options);
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

TEST(LiveSensor, CountedRunSignalAndUnplugEndCleanly) {
    TempDir dir;
    const std::string com1 = dir.file("com1");
    std::string got;
    bool gone = false;
    const auto readAll = [&](pid_t) {
        const int reader = ::open(com1.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        got = readFor(reader, 2000, &gone);
        ::close(reader);
    };
    EXPECT_EQ(runSensor({"--link", com1, "--interval=0.01", "--sky=-28.5", "--ambient=12",
                         "--bad-every=5", "--count=5"},
                        readAll),
              0);
    const std::string good = "S-28.50C:A+12.00C:\r\n";
    EXPECT_EQ(got, good + good + good + good + "$" + good);

    EXPECT_EQ(runSensor({"--link", com1, "--night"}, [](pid_t pid) { ::kill(pid, SIGTERM); }), 0);

    EXPECT_EQ(runSensor({"--link", com1, "--interval=0.02", "--unplug-after=0.3"}, readAll), 0);
    EXPECT_FALSE(got.empty());
    EXPECT_TRUE(gone);
}

}  // namespace
}  // namespace skarvel::sim
