#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace skarvel {

/// The serial communications control, reduced to the properties the program uses. Failures
/// are thrown as VbError. One Qt implementation over QSerialPort, one scripted fake.
class SerialControl {
  public:
    virtual ~SerialControl() = default;

    /// Port number n (1 is the first port).
    virtual void setCommPort(std::int16_t port) = 0;
    virtual std::int16_t commPort() const = 0;
    /// 0: reading `input` takes every byte waiting; 1: `input` returns raw bytes; 0: no receive
    /// notifications, the program polls. The program sets exactly these, which every
    /// implementation does anyway, so they are only kept.
    void setInputLen(int length) { inputLen_ = length; }
    void setInputMode(int mode) { inputMode_ = mode; }
    void setRThreshold(int threshold) { rThreshold_ = threshold; }
    int inputLen() const { return inputLen_; }
    int inputMode() const { return inputMode_; }
    int rThreshold() const { return rThreshold_; }
    /// Opens or closes the port. Opening throws VbError 8002 when the port does not exist and
    /// 8005 when it is in use.
    virtual void setPortOpen(bool open) = 0;
    virtual bool portOpen() const = 0;
    /// "9600,n,8,1": baud, parity, data bits, stop bits; applied to the open port.
    virtual void setSettings(const std::string& settings) = 0;
    /// Bytes received and not yet taken. Throws VbError 8012 when the port is not open.
    virtual int inBufferCount() = 0;
    /// Only 0 is meaningful: discards every byte received and not yet taken.
    virtual void setInBufferCount(int count) = 0;
    /// Removes and returns every byte received and not yet taken.
    virtual std::vector<std::uint8_t> input() = 0;
    /// True once the device itself has gone (a USB sensor unplugged); the port is then closed
    /// and only a new control can reach the sensor again.
    virtual bool deviceGone() const = 0;

  private:
    int inputLen_ = 0;
    int inputMode_ = 1;
    int rThreshold_ = 0;
};

/// Creates a fresh control, as getComms does at every open.
using SerialFactory = std::function<std::unique_ptr<SerialControl>()>;

}  // namespace skarvel
