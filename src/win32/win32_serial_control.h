#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/serial_control.h"

namespace skarvel {

/// The serial control over the Win32 communications API. Port n is `\\.\COMn`; reads never
/// wait, so polling it costs what polling the Qt control costs.
class Win32SerialControl final : public SerialControl {
  public:
    Win32SerialControl() = default;
    ~Win32SerialControl() override;
    Win32SerialControl(const Win32SerialControl&) = delete;
    Win32SerialControl& operator=(const Win32SerialControl&) = delete;

    void setCommPort(std::int16_t port) override;
    std::int16_t commPort() const override { return port_; }
    void setPortOpen(bool open) override;
    bool portOpen() const override { return handle_ != nullptr; }
    void setSettings(const std::string& settings) override;
    int inBufferCount() override;
    void setInBufferCount(int count) override;
    std::vector<std::uint8_t> input() override;
    bool deviceGone() const override { return gone_; }

    /// The device name that port n opens: `\\.\COM12`.
    static std::wstring portPath(int port);

  private:
    struct Line {
        unsigned long baud = 9600;
        char parity = 'n';
        int dataBits = 8;
        std::string stopBits = "1";
    };
    static Line parseSettings(const std::string& settings);
    void applyLine();
    void pull();
    void close();
    void requireOpen() const;

    void* handle_ = nullptr;  // a HANDLE; null while closed
    std::vector<std::uint8_t> buffer_;
    unsigned long driverHolds_ = 0;  // bytes the driver had left at the last pull
    Line line_;
    std::int16_t port_ = 1;
    bool gone_ = false;
};

}  // namespace skarvel
