#include "indi/http_get.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace skarvel::indi {

namespace {

using Clock = std::chrono::steady_clock;

class Socket {
  public:
    explicit Socket(int fd) : fd_(fd) {}
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    int fd() const { return fd_; }

  private:
    int fd_;
};

/// Waits for `events` until `deadline`: false on time-out.
bool await(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, int(left.count()));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

}  // namespace

std::string httpGet(const StateAddress& address, std::chrono::milliseconds timeout,
                    std::string& error) {
    const auto deadline = Clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int rc = ::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found)) {
        error = address.host + ": " + ::gai_strerror(rc);
        return {};
    }
    const std::string request = "GET " + address.path + " HTTP/1.1\r\nHost: " + address.host + ":" +
                                address.port + "\r\nConnection: close\r\n\r\n";
    std::string response;
    error = "no address";
    for (addrinfo* a = found; a; a = a->ai_next) {
        Socket s(
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (s.fd() < 0) {
            error = std::strerror(errno);
            continue;
        }
        if (::connect(s.fd(), a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
            error = std::strerror(errno);
            continue;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        if (!await(s.fd(), POLLOUT, deadline)) {
            error = "no connection within the time-out";
            break;
        }
        ::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &soError, &len);
        if (soError != 0) {
            error = std::strerror(soError);
            continue;
        }
        std::size_t sent = 0;
        while (sent < request.size()) {
            const ssize_t n =
                ::send(s.fd(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += std::size_t(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                if (!await(s.fd(), POLLOUT, deadline)) break;
            } else {
                break;
            }
        }
        if (sent < request.size()) {
            error = "the request could not be sent";
            break;
        }
        // The document is small; a server that talks on and on is not the monitor.
        char buf[4096];
        for (;;) {
            const ssize_t n = ::recv(s.fd(), buf, sizeof buf, 0);
            if (n > 0) {
                response.append(buf, std::size_t(n));
                if (response.size() > 1 << 20) {
                    error = "the answer is too long";
                    response.clear();
                    break;
                }
            } else if (n == 0) {
                error.clear();
                break;
            } else if (errno == EAGAIN || errno == EINTR) {
                if (!await(s.fd(), POLLIN, deadline)) {
                    error = "no whole answer within the time-out";
                    response.clear();
                    break;
                }
            } else {
                error = std::strerror(errno);
                response.clear();
                break;
            }
        }
        break;
    }
    ::freeaddrinfo(found);
    return response;
}

}  // namespace skarvel::indi
