#include "ui/qt_desktop_services.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>

#include "store/value_text.h"

#ifndef Q_OS_WIN
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "store/program_folder.h"
#endif

namespace skarvel {

namespace {

// The journal's own form: sortable and unambiguous, whatever the locale.
std::string journalTime(LocalTime t) {
    const CivilTime c = toCivil(t);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day,
                  c.hour, c.minute, c.second);
    return text;
}

}  // namespace

void QtDesktopServices::messageBox(const std::string& text, const std::string& concerning) {
    const LocalTime t = now();
    std::string line = journalTime(t) + " " + text;
    if (!concerning.empty()) line += " [" + concerning + "]";
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);

    for (auto it = shown_.begin(); it != shown_.end();) {
        it = it->second.box && it->second.box->isVisible() ? std::next(it) : shown_.erase(it);
    }
    // Nobody may be there to press OK: the box never waits, and a repeat updates it.
    Shown& shown = shown_[text];
    if (shown.box) {
        ++shown.count;
        shown.box->setText(QString::fromStdString(text + " \u2014 " + std::to_string(shown.count) +
                                                  " times, last at " + timeText(t)));
        return;
    }
    // Over an open modal dialog, so the box can still be dismissed while the dialog is up.
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = parent_.data();
    auto* box = new QMessageBox(QMessageBox::NoIcon, QString::fromStdString(title()),
                                QString::fromStdString(text), QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    // Whoever is there can close it with Enter or Esc; a repeat above leaves the focus alone.
    box->raise();
    box->activateWindow();
    // Without a window manager nobody hands the keyboard back to the window underneath.
    QObject::connect(box, &QMessageBox::finished, box, [under = QPointer<QWidget>(parent)] {
        if (under && under->isVisible()) under->activateWindow();
    });
    shown = Shown{box, 1};
}

int QtDesktopServices::openMessageCount() const {
    int n = 0;
    for (const auto& [text, shown] : shown_) n += shown.box && shown.box->isVisible();
    return n;
}

void QtDesktopServices::closeMessages() {
    for (auto& [text, shown] : shown_) {
        if (shown.box) shown.box->close();
    }
    shown_.clear();
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
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
#else
    const std::string exeFolder = QCoreApplication::applicationDirPath().toStdString();
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
    // Qt says "C:/Sky"; the program folder ends in the platform's own separator.
    if (!folder_.isEmpty()) return QDir::toNativeSeparators(folder_).toStdString();
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
