#pragma once

#include <fcntl.h>
#include <poll.h>
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

/// A sensor on a pseudo-terminal, linked as `link`, sending `lines` in turn, one every 150 ms.
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

    /// From now on sends `lines` in turn; returns once the previous line has been cut short and
    /// the first new one is under way.
    void send(std::vector<std::string> lines) {
        const int wanted = [&] {
            std::lock_guard lock(mutex_);
            lines_ = std::move(lines);
            return ++generation_;
        }();
        while (started_ != wanted && !stop_)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

  private:
    void run() {
        for (std::size_t i = 0; !stop_; ++i) {
            std::string line;
            int generation = 0;
            {
                std::lock_guard lock(mutex_);
                if (generation_ != started_) i = 0;
                generation = generation_;
                line = lines_[i % lines_.size()];
            }
            started_ = generation;
            for (std::size_t done = 0; done < line.size() && !stop_ && generation_ == generation;) {
                const ssize_t n = ::write(master_, line.data() + done, line.size() - done);
                if (n > 0) {
                    done += std::size_t(n);
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    return;
                } else {
                    pollfd p{master_, POLLOUT, 0};
                    ::poll(&p, 1, 20);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
    }

    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::atomic<int> generation_{0}, started_{0};
    int master_ = -1, slave_ = -1;
    std::atomic<bool> stop_{false};
    std::thread writer_;
};

}  // namespace skarvel::testing
