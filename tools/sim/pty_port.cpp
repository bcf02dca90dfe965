#include "pty_port.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <stdexcept>
#include <system_error>

namespace skarvel::sim {

namespace {

[[noreturn]] void throwErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void setSerialLine(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) throwErrno("tcgetattr");
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) throwErrno("tcsetattr");
}

std::string readLink(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf);
    return n < 0 ? std::string() : std::string(buf, std::size_t(n));
}

bool isPseudoTerminal(const std::string& target) {
    return target.rfind("/dev/pts/", 0) == 0;
}

}  // namespace

PseudoTerminal::PseudoTerminal() {
    char name[PATH_MAX] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throwErrno("openpty");
    slaveName_ = name;
    try {
        setSerialLine(slave_);
        const int flags = fcntl(master_, F_GETFL);
        if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) throwErrno("fcntl");
    } catch (...) {
        close();
        throw;
    }
}

PseudoTerminal::~PseudoTerminal() {
    close();
}

std::size_t PseudoTerminal::unread() const {
    int n = 0;
    if (slave_ < 0 || ioctl(slave_, FIONREAD, &n) != 0 || n < 0) return 0;
    return std::size_t(n);
}

void PseudoTerminal::close() {
    // The slave first: with the master gone last, the reader sees the hang-up at once.
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
}

DeviceLink::DeviceLink(std::string path, std::string target)
    : path_(std::move(path)), target_(std::move(target)) {
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            throw std::runtime_error(path_ +
                                     " exists and is not a symbolic link; not replacing it");
        }
        const std::string old = readLink(path_);
        struct stat dest {};
        const bool dangling =
            stat(path_.c_str(), &dest) != 0 && (errno == ENOENT || errno == ENOTDIR);
        if (!dangling && !isPseudoTerminal(old)) {
            throw std::runtime_error(path_ + " links to " + old +
                                     ", which is not a pseudo-terminal; not replacing it");
        }
    } else if (errno != ENOENT) {
        throwErrno(path_);
    }
    // A new link renamed over the old one, so a reader never finds the path missing.
    const std::string temporary = path_ + ".sim-" + std::to_string(getpid());
    ::unlink(temporary.c_str());
    if (symlink(target_.c_str(), temporary.c_str()) != 0) throwErrno(path_);
    if (rename(temporary.c_str(), path_.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        throwErrno(path_);
    }
    linked_ = true;
}

DeviceLink::~DeviceLink() {
    remove();
}

void DeviceLink::remove() noexcept {
    if (!linked_) return;
    linked_ = false;
    if (readLink(path_) == target_) ::unlink(path_.c_str());
}

bool LineWriter::flush() {
    while (!pending_.empty()) {
        const ssize_t n = ::write(fd_, pending_.data(), pending_.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return false;
            throwErrno("write");
        }
        pending_.erase(0, std::size_t(n));
    }
    return true;
}

bool LineWriter::send(std::string_view line) {
    if (!flush()) return false;
    pending_.assign(line);
    flush();
    // Dropped only when not a byte of it went out; a part-sent line finishes later.
    if (!pending_.empty() && pending_.size() == line.size()) {
        pending_.clear();
        return false;
    }
    return true;
}

}  // namespace skarvel::sim
