#pragma once

#include <signal.h>
#include <unistd.h>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "fakes/temp_dir.h"

namespace skarvel::testing {

namespace fs = std::filesystem;

/// The command that starts a program of the build: through the emulator when it was cross-built.
inline QStringList ofBuild(const QString& program) {
#ifdef SKARVEL_EMULATOR
    return QString(SKARVEL_EMULATOR).split('|') << program;
#else
    return {program};
#endif
}

/// Port `n` (0 to 2) of this test process's own, below the kernel's ephemeral ports: no client
/// socket, lingering in TIME_WAIT or connected to itself, can hold it and keep a server that
/// comes back from listening there.
inline int ownPort(int n) {
    return 10000 + ::getpid() % 7000 * 3 + n;
}

/// The whole reply to GET `target` on the loopback `port`.
inline std::string httpGet(int port, const std::string& target) {
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(port));
    socket.write(QByteArray::fromStdString("GET " + target + " HTTP/1.0\r\n\r\n"));
    while (socket.waitForReadyRead(2000)) {
    }
    return socket.readAll().toStdString();
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
        signal(SIGTERM);
        if (!process_.waitForFinished(3000)) ::kill(-pid_t(process_.processId()), SIGKILL);
        process_.waitForFinished();
    }

    /// faketime forwards no signal, and removes its shared memory only when the program it
    /// started has ended: so that program is signalled, not faketime.
    void signal(int signal) {
        const std::string pid = std::to_string(process_.processId());
        std::ifstream children("/proc/" + pid + "/task/" + pid + "/children");
        bool any = false;
        for (pid_t child = 0; children >> child; any = true) ::kill(child, signal);
        if (!any) ::kill(pid_t(process_.processId()), signal);
    }
    /// SIGTERM: the exit code, or -1 when the program did not end cleanly within 10 s.
    int terminate() {
        signal(SIGTERM);
        return exitCode(10000);
    }
    /// The exit code, or -1 when the program did not end cleanly within `ms`.
    int exitCode(int ms) {
        const bool ended = process_.waitForFinished(ms);
        return ended && process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

  private:
    QProcess process_;
};

/// The monitor copied into a fresh program folder and started on a fake clock from `start`
/// that runs ten times fast, with a simulated sensor with the options `sensor` on port 1.
class WholeProgram {
  public:
    /// `prepare` lays the folder out first; it may plug the sensor in itself.
    WholeProgram(const std::string& start, const QStringList& sensor, const std::string& config,
                 const std::function<void(WholeProgram&)>& prepare = {})
        : start_(start), sensorOptions_(sensor) {
        if (prepare) prepare(*this);
        fs::copy_file(SKARVEL_BIN_DIR "/skarvel", folder / "skarvel");
        if (!config.empty()) TempDir::write(folder / "config.ini", config);
        if (!sensor_) plugIn();
        startMonitor();
    }
    std::string read(const std::string& name) const { return TempDir::read(folder / name); }
    std::string journal() const { return TempDir::read(logs / "monitor.out"); }
    int terminate() { return monitor_->terminate(); }
    /// As the out-of-memory killer ends it: nothing of the monitor's own runs.
    void kill() { monitor_->signal(SIGKILL); }
    /// SIGSTOP: a monitor that hangs with its sockets open; SIGCONT: back.
    void signal(int signal) { monitor_->signal(signal); }
    /// The monitor started again in its folder, its clock from the same start.
    void restart() { monitor_.reset(), startMonitor(); }

    /// One more monitor in the same folder, on the real clock, its output in `output`.
    Child another(const fs::path& output) const {
        return Child(ofBuild(QString::fromStdString(folder.file("skarvel"))),
                     {{"QT_QPA_PLATFORM", "offscreen"}}, output);
    }

    /// As a USB sensor pulled out: its device goes, the link dangles.
    void unplug() {
        if (sensor_) sensor_->signal(SIGKILL);
        sensor_.reset();
    }
    /// A simulator on port 1 with these options, or with the last ones.
    void plugIn(const QStringList& options = {}) {
        unplug();
        if (!options.isEmpty()) sensorOptions_ = options;
        sensor_.emplace(ofBuild(SKARVEL_BIN_DIR "/skarvel-sensor-sim") +
                            QStringList{"--interval=0.05", "--link",
                                        QString::fromStdString(folder.file("com1"))} +
                            sensorOptions_,
                        std::map<QString, QString>{}, logs / "sensor.out");
        if (!QTest::qWaitFor([this] { return fs::exists(folder / "com1"); }))
            throw std::runtime_error("no link: " + TempDir::read(logs / "sensor.out"));
    }

    TempDir folder, logs;
    /// More of the monitor's environment, for `prepare` to set.
    std::map<QString, QString> env;

  private:
    void startMonitor() {
        const QString asan = qEnvironmentVariable("ASAN_OPTIONS");
        std::map<QString, QString> all{
            {"QT_QPA_PLATFORM", "offscreen"},
            {"TZ", "UTC"},
            // Faked file times make fontconfig rebuild its caches at every start, which
            // takes seconds of the fake clock and rewrites the system's caches.
            {"NO_FAKE_STAT", "1"},
            // The preloaded clock library comes before a sanitizer's runtime.
            {"ASAN_OPTIONS", asan + (asan.isEmpty() ? "" : ":") + "verify_asan_link_order=0"}};
        all.insert(env.begin(), env.end());
        QStringList clock{"faketime", "-f", QString::fromStdString("@" + start_ + " x10")};
#ifdef SKARVEL_GUEST_FAKETIME
        // faketime preloads the build machine's clock library; an emulated program needs its own,
        // which, unless told, leaves the monotonic clock that Qt's timers run on alone.
        clock << "env"
              << "LD_PRELOAD=" SKARVEL_GUEST_FAKETIME << "FAKETIME_DONT_FAKE_MONOTONIC=0";
#endif
        monitor_.emplace(clock + ofBuild(QString::fromStdString(folder.file("skarvel"))), all,
                         logs / "monitor.out");
    }

    std::string start_;
    QStringList sensorOptions_;
    std::optional<Child> sensor_, monitor_;  // the monitor ends before its sensor
};

}  // namespace skarvel::testing
