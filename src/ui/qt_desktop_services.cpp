#include "ui/qt_desktop_services.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#ifndef Q_OS_WIN
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "store/program_folder.h"
#endif

namespace skarvel {

void QtDesktopServices::messageBox(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title()),
                    QString::fromStdString(text), QMessageBox::Ok, parent_.data());
    box.exec();
}

void QtDesktopServices::sleep(int ms) {
    // Waiting in the event loop keeps the window responsive while the sensor is read.
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

void QtDesktopServices::doEvents() {
    QCoreApplication::processEvents();
}

namespace {

std::string exeFolderOrDataFolder() {
    const std::string exeFolder = QCoreApplication::applicationDirPath().toStdString();
#ifdef Q_OS_WIN
    return exeFolder;
#else
    std::string home = qEnvironmentVariable("HOME").toStdString();
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::geteuid())) home = pw->pw_dir;
    }
    const std::string folder = programFolder(
        exeFolder, qEnvironmentVariable("XDG_DATA_HOME").toStdString(), home,
        [](const std::string& dir) { return ::access(dir.c_str(), W_OK | X_OK) == 0; });
    // A folder that cannot be made shows up as the usual file errors at the first write.
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
#endif
}

}  // namespace

std::string QtDesktopServices::appPath() const {
    if (!folder_.isEmpty()) return folder_.toStdString();
    // Decided once: a folder whose permissions change while the monitor runs does not move it.
    static const std::string folder = exeFolderOrDataFolder();
    return folder;
}

LocalTime QtDesktopServices::now() const {
    const QDateTime t = QDateTime::currentDateTime();
    const QDate d = t.date();
    const QTime h = t.time();
    return makeTime(d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second());
}

}  // namespace skarvel
