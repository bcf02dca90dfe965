#pragma once

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace skarvel::testing {

/// A sensor on a pseudo-terminal, linked as `link`, sending `lines` in turn, one every 150 ms;
/// a line the reader cannot take at once goes on as the reader drains it.
class PtySensor {
  public:
    PtySensor(const std::filesystem::path& link, std::vector<std::string> lines)
        : lines_(std::move(lines)) {
        char name[256];
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            throw std::runtime_error("pty");
        termios t{};
        tcgetattr(slave_, &t);
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
        // A line larger than the terminal's buffer must hold up neither send() nor the unplugging.
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        std::filesystem::remove(link);
        std::filesystem::create_symlink(name, link);
        writer_ = std::thread([this] { run(); });
    }
    /// Closes both ends, as a USB adapter pulled out.
    ~PtySensor() {
        stop_ = true;
        writer_.join();
        ::close(master_);
        ::close(slave_);
    }

    /// From now on sends `lines` in turn; what is left of the line under way is dropped.
    void send(std::vector<std::string> lines) {
        std::lock_guard lock(mutex_);
        lines_ = std::move(lines);
        next_ = 0;
        line_.clear();
    }

  private:
    void run() {
        while (!stop_) {
            bool whole = false;
            {
                std::lock_guard lock(mutex_);
                if (line_.empty()) line_ = lines_[next_++ % lines_.size()];
                const ssize_t n = ::write(master_, line_.data(), line_.size());
                if (n > 0) line_.erase(0, std::size_t(n));
                whole = line_.empty();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(whole ? 150 : 5));
        }
    }

    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::size_t next_ = 0;
    std::string line_;  // what is left to send of the line under way
    int master_ = -1, slave_ = -1;
    std::atomic<bool> stop_{false};
    std::thread writer_;
};

}  // namespace skarvel::testing
