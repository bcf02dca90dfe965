#include "qt/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace skarvel {

FolderLock::FolderLock(const std::string& folder) : folder_(folder) {
    const std::string path = folder + "skarvel.lock";
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        // The holder's process number, for the one that is turned away and for people.
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd_, 0) == 0) (void)!::pwrite(fd_, pid.data(), pid.size(), 0);
        return;
    }
    // A file system without locks runs the monitor as before.
    if (errno == EWOULDBLOCK) {
        holder_ = -1;
        char text[24] = {};
        if (::pread(fd_, text, sizeof text - 1, 0) > 0 && std::atol(text) > 0)
            holder_ = std::atol(text);
    }
    ::close(fd_);
    fd_ = -1;
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

std::string FolderLock::refusal() const {
    return "Skarvel already runs for the folder " + folder_ +
           (holder_ > 0 ? " (process " + std::to_string(holder_) + ")" : std::string()) +
           "; this one ends.";
}

}  // namespace skarvel
