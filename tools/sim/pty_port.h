#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace skarvel::sim {

/// A pseudo-terminal whose slave side looks like a serial port at 9600 8N1, raw. The master
/// side is the sensor's end and never blocks. Failures throw std::system_error.
class PseudoTerminal {
  public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& slaveName() const { return slaveName_; }
    int master() const { return master_; }
    bool isOpen() const { return master_ >= 0; }
    /// Bytes written that the reader has not taken yet; lags a fresh write by a moment.
    std::size_t unread() const;
    /// The sensor goes away: the reader's next read fails.
    void close();

  private:
    int master_ = -1;
    // Held open so the line settings survive a reader closing and reopening the port, and
    // so writing to the master works while nobody has the port open.
    int slave_ = -1;
    std::string slaveName_;
};

/// A symbolic link at `path` to `target`, removed again when this goes away. A dangling link or
/// one to another pseudo-terminal is replaced; anything else at `path` (a file, a folder, a
/// link to a real device) is refused with std::runtime_error.
class DeviceLink {
  public:
    DeviceLink(std::string path, std::string target);
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    const std::string& path() const { return path_; }
    /// Removes the link unless it was replaced by someone else's since.
    void remove() noexcept;
    /// Leaves the link where it is, dangling once the port closes, as a pulled-out USB
    /// sensor leaves its udev link: a monitor keeps retrying that port.
    void leave() noexcept { linked_ = false; }

  private:
    std::string path_;
    std::string target_;
    bool linked_ = false;
};

/// Writes whole lines to a non-blocking descriptor. When the reader falls behind and the
/// buffer fills, new lines are dropped rather than waited for; a line the buffer took only in
/// part is finished before anything else is sent, so the reader never sees a torn line.
class LineWriter {
  public:
    explicit LineWriter(int fd) : fd_(fd) {}
    /// False when the line was dropped. Throws std::system_error for a real write failure.
    bool send(std::string_view line);
    /// Writes what is left of a part-sent line; true when nothing is left.
    bool flush();
    bool idle() const { return pending_.empty(); }

  private:
    int fd_;
    std::string pending_;
};

}  // namespace skarvel::sim
