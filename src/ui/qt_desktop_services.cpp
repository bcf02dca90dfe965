#include "ui/qt_desktop_services.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

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

std::string QtDesktopServices::appPath() const {
    // Qt says "C:/Sky"; the program folder ends in the platform's own separator.
    const QString folder = folder_.isEmpty() ? QCoreApplication::applicationDirPath() : folder_;
    return QDir::toNativeSeparators(folder).toStdString();
}

LocalTime QtDesktopServices::now() const {
    const QDateTime t = QDateTime::currentDateTime();
    const QDate d = t.date();
    const QTime h = t.time();
    return makeTime(d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second());
}

}  // namespace skarvel
