#include "store/file_io.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>

#include "store/file_append.h"
#include "store/vb_error.h"

namespace skarvel {

namespace fs = std::filesystem;

namespace {

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

// Temporaries are hidden files named after the target and their writer's process:
// ".status.txt.1234-7.tmp".
std::string temporaryName(const std::string& name, long pid, unsigned serial) {
    return "." + name + "." + std::to_string(pid) + "-" + std::to_string(serial) + ".tmp";
}

std::optional<long> temporaryOwner(std::string_view file, const std::string& name) {
    const std::string prefix = "." + name + ".";
    const std::string_view suffix = ".tmp";
    if (file.size() <= prefix.size() + suffix.size() || !file.starts_with(prefix) ||
        !file.ends_with(suffix)) {
        return std::nullopt;
    }
    const std::string_view middle =
        file.substr(prefix.size(), file.size() - prefix.size() - suffix.size());
    const auto dash = middle.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash + 1 == middle.size() ||
        middle.find_first_not_of("0123456789-") != std::string_view::npos ||
        middle.find('-', dash + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    long pid = 0;
    const auto res = std::from_chars(middle.data(), middle.data() + dash, pid);
    if (res.ec != std::errc() || pid <= 0) return std::nullopt;
    return pid;
}

bool processAlive(long pid) {
    return pid == long(::getpid()) || ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
}

// A writer killed between creating its temporary and renaming it leaves the temporary behind;
// the next write of the same file removes those whose writer is gone.
void removeStaleTemporaries(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const auto pid = temporaryOwner(it->path().filename().string(), name);
        if (pid && !processAlive(*pid)) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

}  // namespace

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    const auto st = fs::status(path, ec);
    return !ec && fs::exists(st) && !fs::is_directory(st);
}

std::string readWholeFile(const std::string& path) try {
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
} catch (VbError& e) {
    e.setConcerning(path);
    throw;
}

void writeFileAtomic(const std::string& path, std::string_view bytes, Durability durability) try {
    fs::path target(path);
    {
        // Replace what a link points at, not the link: a page linked into a web server's tree
        // stays linked.
        std::error_code ec;
        if (fs::is_symlink(target, ec)) {
            fs::path resolved = fs::weakly_canonical(target, ec);
            if (!ec) target = std::move(resolved);
        }
    }
    const std::string name = target.filename().string();
    if (name.empty()) throw vbError(err::kBadFileName);
    const fs::path folder = target.parent_path();
    {
        std::error_code ec;
        if (fs::is_directory(target, ec)) throw vbError(err::kPathFileAccess);
    }
    // Only an earlier, killed process can leave them, so one sweep per file and run will do.
    static std::set<std::string> swept;
    if (swept.insert(target.string()).second) removeStaleTemporaries(folder, name);

    static std::atomic<unsigned> serial{0};
    std::string tempPath;
    int raw = -1;
    for (int attempt = 0; raw < 0; ++attempt) {
        tempPath = (folder / temporaryName(name, long(::getpid()), serial++)).string();
        raw = openFile(tempPath, O_WRONLY | O_CREAT | O_EXCL, 0666);
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
} catch (VbError& e) {
    e.setConcerning(path);
    throw;
}

void appendToFile(const std::string& path, std::string_view bytes, AppendStage& stage) try {
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
} catch (VbError& e) {
    e.setConcerning(path);
    throw;
}

void appendToFile(const std::string& path, std::string_view bytes) {
    AppendStage stage{};
    appendToFile(path, bytes, stage);
}

}  // namespace skarvel
