#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "live_sensor.h"
#include "pty_port.h"

namespace skarvel::sim {
namespace {

namespace fs = std::filesystem;

class Folder {
  public:
    Folder() : path_(fs::temp_directory_path() / ("sim_pty_" + std::to_string(getpid()))) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Folder() { fs::remove_all(path_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

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

TEST(PseudoTerminal, CarriesBytesUnchanged) {
    PseudoTerminal port;
    ASSERT_TRUE(port.slaveName().starts_with("/dev/pts/"));
    const int reader = openReader(port.slaveName());
    // Raw: CR stays CR, nothing is echoed or stripped, high bytes pass.
    const std::string bytes = "S-1.00C:A+2.00C:\r\n\x80\xff\x03\r";
    ASSERT_TRUE(LineWriter(port.master()).send(bytes));
    EXPECT_EQ(readFor(reader, 200), bytes);
    EXPECT_EQ(port.unread(), 0u);
    ::close(reader);
}

TEST(LineWriter, NeverBlocksAndNeverTearsALineWhenNobodyReads) {
    PseudoTerminal port;
    LineWriter writer(port.master());
    const std::string line = "S-31.25C:A+11.50C:\r\n";
    int sent = 0, dropped = 0;
    for (int i = 0; i < 20000; ++i) (writer.send(line) ? sent : dropped)++;
    EXPECT_GT(dropped, 0) << "the buffer should have filled";
    EXPECT_GT(sent, 0);

    const int reader = openReader(port.slaveName());
    std::string got = readFor(reader, 300);
    while (!writer.flush()) got += readFor(reader, 50);
    got += readFor(reader, 100);
    ASSERT_EQ(got.size() % line.size(), 0u);
    EXPECT_EQ(got.size() / line.size(), std::size_t(sent));
    for (std::size_t at = 0; at < got.size(); at += line.size()) {
        ASSERT_EQ(got.compare(at, line.size(), line), 0) << "torn line at byte " << at;
    }
    ::close(reader);
}

TEST(DeviceLink, ReplacesOnlyStaleOrPseudoTerminalLinksAndRemovesOnlyItsOwn) {
    Folder dir;
    {
        DeviceLink link(dir / "com1", "/dev/pts/12345");
        EXPECT_EQ(fs::read_symlink(dir / "com1"), "/dev/pts/12345");
        DeviceLink again(dir / "com1", "/dev/pts/12346");  // the first one dangles
        EXPECT_EQ(fs::read_symlink(dir / "com1"), "/dev/pts/12346");
    }
    EXPECT_FALSE(fs::is_symlink(dir / "com1"));

    PseudoTerminal live;
    fs::create_symlink(live.slaveName(), dir / "com2");
    {
        DeviceLink link(dir / "com2", "/dev/pts/12345");
        EXPECT_EQ(fs::read_symlink(dir / "com2"), "/dev/pts/12345");
        // Someone else took the path over: theirs stays.
        fs::remove(dir / "com2");
        fs::create_symlink("/dev/pts/777", dir / "com2");
    }
    EXPECT_EQ(fs::read_symlink(dir / "com2"), "/dev/pts/777");

    std::ofstream(dir / "file") << "data";
    fs::create_symlink("/dev/null", dir / "device");
    fs::create_directory(dir / "folder");
    for (const char* name : {"file", "device", "folder"}) {
        EXPECT_THROW(DeviceLink(dir / name, "/dev/pts/1"), std::runtime_error) << name;
    }
    EXPECT_EQ(fs::file_size(dir / "file"), 4u);
    EXPECT_EQ(fs::read_symlink(dir / "device"), "/dev/null");
}

// The whole live sensor in a child process, so its signal handling is real.
pid_t startSensor(const Options& o) {
    const pid_t pid = fork();
    if (pid == 0) {
        int status = 3;
        try {
            status = runLiveSensor(o);
        } catch (...) {
        }
        _exit(status);
    }
    return pid;
}

bool waitForLink(const std::string& path) {
    for (int i = 0; i < 500 && !fs::is_symlink(path); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return fs::is_symlink(path);
}

int exitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LiveSensor, CountedRunDeliversEveryLineAndSignalsCleanUp) {
    Folder dir;
    Options o;
    o.link = dir / "com1";
    o.interval = 0.01;
    o.count = 5;
    o.sky = -28.5;
    o.ambient = 12;
    o.badEvery = 5;
    pid_t pid = startSensor(o);
    ASSERT_TRUE(waitForLink(o.link));
    const int reader = openReader(o.link);
    const std::string got = readFor(reader, 1000);
    ::close(reader);
    const std::string good = "S-28.50C:A+12.00C:\r\n";
    EXPECT_EQ(got, good + good + good + good + "$" + good);
    EXPECT_EQ(exitStatus(pid), 0);
    EXPECT_FALSE(fs::is_symlink(o.link));

    for (int signal : {SIGTERM, SIGINT}) {
        Options endless;
        endless.link = dir / "com1";
        endless.silent = signal == SIGINT;
        pid = startSensor(endless);
        ASSERT_TRUE(waitForLink(endless.link));
        kill(pid, signal);
        EXPECT_EQ(exitStatus(pid), 0) << signal;
        EXPECT_FALSE(fs::is_symlink(endless.link)) << signal;
    }

    Options unplugged;
    unplugged.link = dir / "com1";
    unplugged.unplugAfter = 0.3;
    unplugged.interval = 0.02;
    pid = startSensor(unplugged);
    ASSERT_TRUE(waitForLink(unplugged.link));
    const int late = openReader(unplugged.link);
    bool gone = false;
    EXPECT_FALSE(readFor(late, 2000, &gone).empty());
    EXPECT_TRUE(gone);
    ::close(late);
    EXPECT_EQ(exitStatus(pid), 0);
    EXPECT_FALSE(fs::is_symlink(unplugged.link));
}

}  // namespace
}  // namespace skarvel::sim
