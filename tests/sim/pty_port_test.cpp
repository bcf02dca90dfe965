#include "pty_port.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "live_sensor.h"
#include "store/temp_dir.h"

namespace skarvel::sim {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

int openReader(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << path << ": " << std::strerror(errno);
    return fd;
}

// Everything the reader can get within `ms`; `gone` tells whether the far end went away.
std::string readFor(int fd, int ms, bool* gone = nullptr) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            got.append(buf, std::size_t(n));
        } else if (n == 0 || errno == EIO) {
            if (gone) *gone = true;
            break;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return got;
}

TEST(PseudoTerminal, CarriesBytesUnchangedAndNeverTearsALine) {
    PseudoTerminal port;
    ASSERT_TRUE(port.slaveName().starts_with("/dev/pts/"));
    const int reader = openReader(port.slaveName());
    // Raw: CR stays CR, nothing is echoed or stripped, high bytes pass.
    const std::string bytes = "S-1.00C:A+2.00C:\r\n\x80\xff\x03\r";
    LineWriter writer(port.master());
    ASSERT_TRUE(writer.send(bytes));
    EXPECT_EQ(readFor(reader, 200), bytes);
    EXPECT_EQ(port.unread(), 0u);

    // A reader that falls behind: whole lines are dropped, never waited for or cut short.
    const std::string line = "S-31.25C:A+11.50C:\r\n";
    int sent = 0, dropped = 0;
    for (int i = 0; i < 20000; ++i) (writer.send(line) ? sent : dropped)++;
    EXPECT_GT(dropped, 0) << "the buffer should have filled";
    EXPECT_GT(sent, 0);
    std::string got = readFor(reader, 300);
    while (!writer.flush()) got += readFor(reader, 50);
    got += readFor(reader, 100);
    EXPECT_EQ(got.size(), std::size_t(sent) * line.size());
    for (std::size_t at = 0; at < got.size(); at += line.size()) {
        ASSERT_EQ(got.compare(at, line.size(), line), 0) << "torn line at byte " << at;
    }
    ::close(reader);
}

TEST(DeviceLink, ReplacesOnlyStaleOrPseudoTerminalLinksAndRemovesOnlyItsOwn) {
    TempDir dir;
    const std::string com1 = dir.file("com1"), com2 = dir.file("com2");
    {
        DeviceLink link(com1, "/dev/pts/12345");
        DeviceLink again(com1, "/dev/pts/12346");  // the first one dangles
        EXPECT_EQ(fs::read_symlink(com1), "/dev/pts/12346");
    }
    EXPECT_FALSE(fs::is_symlink(com1));

    PseudoTerminal live;
    fs::create_symlink(live.slaveName(), com2);
    {
        DeviceLink link(com2, "/dev/pts/12345");
        EXPECT_EQ(fs::read_symlink(com2), "/dev/pts/12345");
        // Someone else took the path over: theirs stays.
        fs::remove(com2);
        fs::create_symlink("/dev/pts/777", com2);
    }
    EXPECT_EQ(fs::read_symlink(com2), "/dev/pts/777");

    TempDir::write(dir.file("file"), "data");
    fs::create_symlink("/dev/null", dir.file("device"));
    fs::create_directory(dir.file("folder"));
    for (const char* name : {"file", "device", "folder"}) {
        EXPECT_THROW(DeviceLink(dir.file(name), "/dev/pts/1"), std::runtime_error) << name;
    }
    EXPECT_EQ(TempDir::read(dir.file("file")), "data");
    EXPECT_EQ(fs::read_symlink(dir.file("device")), "/dev/null");
}

// The whole live sensor for a command line, in a child process so that its signal handling is
// real. `whileRunning` is called once the link is there; returns the exit status.
template <typename F>
int runSensor(std::vector<std::string_view> args, F whileRunning) {
    const ParsedOptions parsed = parseOptions(args);
    EXPECT_EQ(parsed.error, "");
    const Options& o = parsed.options;
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 3;
        try {
            status = runLiveSensor(o);
        } catch (...) {
        }
        ::_exit(status);
    }
    for (int i = 0; i < 500 && !fs::is_symlink(o.link); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(fs::is_symlink(o.link));
    whileRunning(pid);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_FALSE(fs::is_symlink(o.link)) << "link left behind";
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LiveSensor, CountedRunSignalsAndUnplugEndCleanly) {
    TempDir dir;
    const std::string com1 = dir.file("com1");
    std::string got;
    bool gone = false;
    const auto readAll = [&](pid_t) {
        const int reader = openReader(com1);
        got = readFor(reader, 2000, &gone);
        ::close(reader);
    };
    EXPECT_EQ(runSensor({"--link", com1, "--interval=0.01", "--sky=-28.5", "--ambient=12",
                         "--bad-every=5", "--count=5"},
                        readAll),
              0);
    const std::string good = "S-28.50C:A+12.00C:\r\n";
    EXPECT_EQ(got, good + good + good + good + "$" + good);

    for (int signal : {SIGTERM, SIGINT}) {
        const auto stop = [&](pid_t pid) { ::kill(pid, signal); };
        EXPECT_EQ(runSensor({"--link", com1, signal == SIGINT ? "--silent" : "--night"}, stop), 0)
            << signal;
    }

    gone = false;
    EXPECT_EQ(runSensor({"--link", com1, "--interval=0.02", "--unplug-after=0.3"}, readAll), 0);
    EXPECT_FALSE(got.empty());
    EXPECT_TRUE(gone);
}

}  // namespace
}  // namespace skarvel::sim
