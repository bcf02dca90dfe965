#pragma once

#include <signal.h>
#include <unistd.h>
#include <QProcess>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "fakes/temp_dir.h"
#include "store/value_text.h"

namespace skarvel::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

/// A program in a process group of its own, which is ended when this goes away.
class Child {
  public:
    /// `env` adds to the inherited environment; stdout and stderr go to `output`.
    Child(const QStringList& argv, const std::map<QString, QString>& env, const fs::path& output) {
        QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
        for (const auto& [key, value] : env) all.insert(key, value);
        process_.setProcessEnvironment(all);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.setStandardOutputFile(QString::fromStdString(output.string()));
        process_.setChildProcessModifier([] { ::setpgid(0, 0); });
        process_.start(argv.front(), argv.mid(1));
        if (!process_.waitForStarted())
            throw std::runtime_error("cannot start " + argv[0].toStdString());
    }
    ~Child() {
        if (process_.state() == QProcess::NotRunning) return;
        terminate();
        if (!process_.waitForFinished(3000)) {
            ::kill(-pid_t(process_.processId()), SIGKILL);
            process_.waitForFinished();
        }
    }

    /// Signals the program. faketime forwards no signal, and removes its shared memory only
    /// when the program it started has ended: so that program is signalled, not faketime.
    void terminate(int signal = SIGTERM) {
        const std::string pid = std::to_string(process_.processId());
        std::ifstream children("/proc/" + pid + "/task/" + pid + "/children");
        bool any = false;
        for (pid_t child = 0; children >> child; any = true) ::kill(child, signal);
        if (!any) ::kill(pid_t(process_.processId()), signal);
        if (signal == SIGKILL) process_.waitForFinished();
    }

    /// Waits for the program to end by itself: its exit code, or -1 after a timeout or a crash.
    int wait(std::chrono::milliseconds timeout) {
        const bool ended = process_.waitForFinished(int(timeout.count()));
        return ended && process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

  private:
    QProcess process_;
};

/// The monitor copied into a fresh program folder and started on a fake clock from `start`
/// that runs ten times fast, with a simulated sensor sending fixed temperatures on port 1.
class WholeProgram {
  public:
    /// `prepare` runs once the sensor is there, before the monitor starts.
    WholeProgram(const std::string& start, const char* sky, const char* ambient,
                 const std::string& config = {},
                 const std::function<void(WholeProgram&)>& prepare = {})
        : sensorArgs_{QString(SKARVEL_BIN_DIR) + "/skarvel-sensor-sim",
                      "--link",
                      QString::fromStdString(folder.file("com1")),
                      "--interval",
                      "0.05",
                      "--sky",
                      sky,
                      "--ambient",
                      ambient} {
        const QString bin = SKARVEL_BIN_DIR, exe = QString::fromStdString(folder.file("skarvel"));
        fs::copy_file(bin.toStdString() + "/skarvel", exe.toStdString());
        if (!config.empty()) TempDir::write(folder / "config.ini", config);
        plugIn();
        if (prepare) prepare(*this);
        const QString asan = qEnvironmentVariable("ASAN_OPTIONS");
        monitor_.emplace(
            QStringList{"faketime", "-f", QString::fromStdString("@" + start + " x10"), exe},
            std::map<QString, QString>{
                {"QT_QPA_PLATFORM", "offscreen"},
                {"TZ", "UTC"},
                // Faked file times make fontconfig rebuild its caches at every start, which
                // takes seconds of the fake clock and rewrites the system's caches.
                {"NO_FAKE_STAT", "1"},
                // The preloaded clock library comes before a sanitizer's runtime.
                {"ASAN_OPTIONS", asan + (asan.isEmpty() ? "" : ":") + "verify_asan_link_order=0"}},
            folder / "monitor.out");
    }

    /// The line of status.txt, once it holds a time of `from` or later; the monitor and the
    /// sensor are stopped then, so the files stay as they are.
    std::string statusFrom(LocalTime from) {
        std::string line;
        const bool seen = waitFor(
            [&] {
                line = read("status.txt");
                line = line.substr(0, line.find("\r\n"));
                try {
                    return parseDateTime(line.substr(0, line.find(','))) >= from;
                } catch (const std::exception&) {
                    return false;
                }
            },
            12s);
        monitor_.reset();
        sensor_.reset();
        if (!seen) {
            // A message box holds the offscreen monitor for ever, and it looks like this.
            throw std::runtime_error("no status at the expected time; last \"" + line +
                                     "\"; the monitor said: " + read("monitor.out"));
        }
        return line;
    }

    std::string read(const std::string& name) const { return TempDir::read(folder / name); }

    /// Ends the simulator abruptly, as a USB sensor pulled out: its device goes, the link
    /// stays and dangles.
    void unplug() {
        sensor_->terminate(SIGKILL);
        sensor_.reset();
    }
    /// A simulator on port 1; `extra` adds to its options.
    void plugIn(const QStringList& extra = {}) {
        if (sensor_) unplug();
        sensor_.emplace(sensorArgs_ + extra, std::map<QString, QString>{}, folder / "sensor.out");
        if (!waitFor([this] { return fs::exists(folder / "com1"); }, 5s)) {
            throw std::runtime_error("the simulator made no link: " + read("sensor.out"));
        }
    }
    /// SIGTERM to the monitor: its exit code, or -1 when it did not end cleanly within 10 s.
    int terminate() {
        monitor_->terminate();
        return monitor_->wait(10s);
    }

    TempDir folder;

  private:
    QStringList sensorArgs_;
    std::optional<Child> sensor_, monitor_;
};

}  // namespace skarvel::testing
