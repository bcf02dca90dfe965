#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "store/file_platform.h"
#include "store/vb_error.h"

namespace skarvel::file_platform {

namespace fs = std::filesystem;

fs::path toPath(const std::string& path) {
    return fs::path(path);
}
std::string toUtf8(const fs::path& path) {
    return path.string();
}

/// Owns a descriptor so that no error path leaves a file open.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    /// Closes now and reports the failure, which can carry a delayed write error.
    void close() {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) throw fileError(errno);
    }

  private:
    int fd_;
};

int openFile(const std::string& path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            throw fileError(errno);
        }
        if (n == 0) throw vbError(err::kDiskFull);
        bytes.remove_prefix(std::size_t(n));
    }
}

bool processAlive(long pid) {
    return pid == long(::getpid()) || ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
}

long currentProcess() {
    return long(::getpid());
}

std::string readFile(const std::string& path) {
    Fd fd(openFile(path, O_RDONLY));
    if (fd.get() < 0) {
        const int e = errno;
        if (e == ENOENT) {
            std::error_code ec;
            const fs::path parent = fs::path(path).parent_path();
            if (parent.empty() || fs::is_directory(parent, ec)) throw vbError(err::kFileNotFound);
        }
        throw fileError(e);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw fileError(errno);
    if (S_ISDIR(st.st_mode)) throw vbError(err::kPathFileAccess);
    std::string content;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw fileError(errno);
        }
        if (n == 0) break;
        content.append(buf, std::size_t(n));
    }
    fd.close();
    return content;
}

void writeFile(const std::string& path, std::string_view bytes, Durability durability,
               NewFile access) {
    const Target t = prepareTarget(path);
    const fs::path& target = t.path;
    const fs::path& folder = t.folder;
    static std::atomic<unsigned> serial{0};
    std::string tempPath;
    int raw = -1;
    for (int attempt = 0; raw < 0; ++attempt) {
        tempPath = (folder / temporaryName(t.name, currentProcess(), serial++)).string();
        raw = openFile(tempPath, O_WRONLY | O_CREAT | O_EXCL,
                       access == NewFile::OwnerOnly ? 0600 : 0666);
        if (raw < 0 && (errno != EEXIST || attempt >= 100)) throw fileError(errno);
    }
    Fd fd(raw);
    try {
        // A replaced file keeps its permissions, so a web server can still read the page.
        struct stat old {};
        if (::stat(target.c_str(), &old) == 0) (void)::fchmod(fd.get(), old.st_mode & 07777);
        writeAll(fd.get(), bytes);
        if (durability == Durability::Synced && ::fsync(fd.get()) != 0) throw fileError(errno);
        fd.close();
        if (::rename(tempPath.c_str(), target.c_str()) != 0) throw fileError(errno);
    } catch (...) {
        ::unlink(tempPath.c_str());
        throw;
    }
    // Makes the rename itself durable; the new content is in place either way.
    if (durability == Durability::Cached) return;
    Fd dir(openFile(folder.empty() ? "." : folder.string(), O_RDONLY | O_DIRECTORY));
    if (dir.get() >= 0) (void)::fsync(dir.get());
}

bool makePrivate(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw fileError(errno);
    if ((st.st_mode & 077) == 0) return false;
    if (::chmod(path.c_str(), st.st_mode & 07700) != 0) throw fileError(errno);
    return true;
}

void appendFile(const std::string& path, std::string_view bytes, AppendStage& stage) {
    stage = AppendStage::Open;
    Fd fd(openFile(path, O_RDWR | O_APPEND | O_CREAT, 0666));
    if (fd.get() < 0) throw fileError(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) throw fileError(errno);
    // A file whose last line was cut off (a hand edit, another program) would glue the new
    // line onto the fragment; end the fragment first, in the same write.
    std::string ended;
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd.get(), &last, 1, st.st_size - 1) == 1 && last != '\n') {
        ended = "\r\n";
        ended += bytes;
        bytes = ended;
    }
    stage = AppendStage::Write;
    try {
        writeAll(fd.get(), bytes);
    } catch (...) {
        // A fragment of a line would merge with the next one and spoil the rest of the file.
        [[maybe_unused]] const int ignored = ::ftruncate(fd.get(), st.st_size);
        throw;
    }
    stage = AppendStage::Close;
    fd.close();
}

}  // namespace skarvel::file_platform
