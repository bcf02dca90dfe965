#include "qt/qt_desktop_services.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>

#ifndef Q_OS_WIN
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "store/program_folder.h"
#endif

namespace skarvel {

namespace {

class QtMessageBox final : public MessageBoxView {
  public:
    explicit QtMessageBox(QMessageBox* box) : box_(box) {}
    bool isOpen() const override { return box_ && box_->isVisible(); }
    void setText(const std::string& text) override { box_->setText(QString::fromStdString(text)); }
    void close() override {
        if (box_) box_->close();
    }

  private:
    QPointer<QMessageBox> box_;
};

}  // namespace

QtDesktopServices::QtDesktopServices(QString programFolder) : folder_(std::move(programFolder)) {}

void QtDesktopServices::log(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

std::unique_ptr<MessageBoxView> QtDesktopServices::openBox(const std::string& text) {
    // Over an open modal dialog, so the box can still be dismissed while the dialog is up.
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = parent_.data();
    auto* box = new QMessageBox(QMessageBox::NoIcon, QString::fromStdString(title()),
                                QString::fromStdString(text), QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    // Whoever is there can close it with Enter or Esc; repeats leave the focus alone.
    box->raise();
    box->activateWindow();
    // Without a window manager nobody hands the keyboard back to the window underneath.
    QObject::connect(box, &QMessageBox::finished, box, [under = QPointer<QWidget>(parent)] {
        if (under && under->isVisible()) under->activateWindow();
    });
    return std::make_unique<QtMessageBox>(box);
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
