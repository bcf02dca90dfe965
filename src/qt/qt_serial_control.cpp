#include "qt/qt_serial_control.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QStringList>

#include "store/vb_error.h"

namespace skarvel {

QtSerialControl::QtSerialControl(QString programFolder, QObject* parent)
    : QObject(parent), programFolder_(std::move(programFolder)) {
    connect(&port_device_, &QSerialPort::errorOccurred, this, &QtSerialControl::onError);
}

QtSerialControl::~QtSerialControl() {
    if (port_device_.isOpen()) port_device_.close();
}

QString QtSerialControl::portPath(const QString& programFolder, int port) {
    const QFileInfo link(QDir(programFolder).filePath(QStringLiteral("com%1").arg(port)));
    // A dangling link still names the user's choice: it fails to open rather than falling back.
    if (link.exists() || link.isSymLink()) {
        // Qt derives the lock-file name from the path, so open the device itself.
        const QString target = link.canonicalFilePath();
        return target.isEmpty() ? link.absoluteFilePath() : target;
    }
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

void QtSerialControl::setCommPort(std::int16_t port) {
    if (port < 1) throw vbError(err::kInvalidPortNumber);
    if (port_device_.isOpen()) throw vbError(err::kPortAlreadyOpen);
    port_ = port;
}

void QtSerialControl::setPortOpen(bool open) {
    if (!open) {
        if (port_device_.isOpen()) port_device_.close();
        return;
    }
    if (port_device_.isOpen()) throw vbError(err::kPortAlreadyOpen);
    gone_ = false;
    const QString path = portPath(programFolder_, port_);
    port_device_.setPortName(path);
    if (!port_device_.open(QIODevice::ReadOnly)) {
        const auto error = port_device_.error();
        VbError e = vbError(error == QSerialPort::PermissionError ? err::kPortAlreadyOpen
                                                                  : err::kInvalidPortNumber);
        // The journal says which device and why: a lock file left by another user is found
        // from this.
        e.setConcerning((path + " (" + port_device_.errorString() + ")").toStdString());
        throw e;
    }
}

bool QtSerialControl::portOpen() const {
    return port_device_.isOpen();
}

void QtSerialControl::setSettings(const std::string& settings) {
    const QStringList parts = QString::fromStdString(settings).split(',');
    bool ok = parts.size() == 4;
    int baud = 0, data = 0;
    if (ok) baud = parts[0].trimmed().toInt(&ok);
    if (ok) data = parts[2].trimmed().toInt(&ok);
    const QString parity = ok ? parts[1].trimmed().toLower() : QString();
    const QString stop = ok ? parts[3].trimmed() : QString();
    QSerialPort::Parity p = QSerialPort::NoParity;
    if (parity == "e")
        p = QSerialPort::EvenParity;
    else if (parity == "o")
        p = QSerialPort::OddParity;
    else if (parity == "m")
        p = QSerialPort::MarkParity;
    else if (parity == "s")
        p = QSerialPort::SpaceParity;
    else if (parity != "n")
        ok = false;
    QSerialPort::StopBits s = QSerialPort::OneStop;
    if (stop == "2")
        s = QSerialPort::TwoStop;
    else if (stop == "1.5")
        s = QSerialPort::OneAndHalfStop;
    else if (stop != "1")
        ok = false;
    if (!ok || data < 5 || data > 8 || baud <= 0) throw VbError(380, "Invalid property value");
    if (!port_device_.isOpen()) return;
    // A pseudo-terminal may refuse some line settings; the bytes still flow, so that is no
    // reason to fail the open.
    port_device_.setBaudRate(baud);
    port_device_.setDataBits(QSerialPort::DataBits(data));
    port_device_.setParity(p);
    port_device_.setStopBits(s);
}

void QtSerialControl::requireOpen() const {
    if (gone_ || !port_device_.isOpen())
        throw vbError(gone_ ? err::kDeviceGone : err::kPortNotOpen);
}

int QtSerialControl::inBufferCount() {
    requireOpen();
    // Pulls what the kernel holds even when no event loop has run since.
    port_device_.waitForReadyRead(0);
    requireOpen();
    return int(port_device_.bytesAvailable());
}

void QtSerialControl::setInBufferCount(int count) {
    requireOpen();
    if (count != 0) return;
    port_device_.waitForReadyRead(0);
    port_device_.readAll();
    port_device_.clear(QSerialPort::Input);
}

std::vector<std::uint8_t> QtSerialControl::input() {
    requireOpen();
    port_device_.waitForReadyRead(0);
    const QByteArray bytes = port_device_.readAll();
    return {bytes.begin(), bytes.end()};
}

void QtSerialControl::onError(QSerialPort::SerialPortError error) {
    // The device went away: Qt would report it again and again while the port stays open.
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
        // Closing inside Qt's own notification is not safe; close once it has returned.
        if (!gone_) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (port_device_.isOpen()) port_device_.close();
                },
                Qt::QueuedConnection);
        }
        gone_ = true;
    }
}

}  // namespace skarvel
