#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>

#include "core/serial_control.h"

namespace skarvel {

/// The serial control over QSerialPort. Port n is the link `com<n>` in the program folder when
/// it exists, otherwise the platform's n-th standard port.
class QtSerialControl final : public QObject, public SerialControl {
    Q_OBJECT
  public:
    explicit QtSerialControl(QString programFolder, QObject* parent = nullptr);
    ~QtSerialControl() override;

    void setCommPort(std::int16_t port) override;
    std::int16_t commPort() const override { return port_; }
    void setPortOpen(bool open) override;
    bool portOpen() const override;
    void setSettings(const std::string& settings) override;
    int inBufferCount() override;
    void setInBufferCount(int count) override;
    std::vector<std::uint8_t> input() override;
    bool deviceGone() const override { return gone_; }

    /// The device path that port n opens from `programFolder`.
    static QString portPath(const QString& programFolder, int port);

  private:
    void onError(QSerialPort::SerialPortError error);
    void requireOpen() const;

    QString programFolder_;
    QSerialPort port_device_;
    std::int16_t port_ = 1;
    bool gone_ = false;
};

}  // namespace skarvel
