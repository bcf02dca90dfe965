#include "store/file_io.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
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

#ifdef _WIN32

// Paths travel through the program as UTF-8; Windows takes them as UTF-16.
std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                        int(utf8.size()), nullptr, 0);
    if (n <= 0) throw vbError(err::kBadFileName);
    std::wstring wide(std::size_t(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), wide.data(),
                          n);
    return wide;
}

std::string narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string utf8(std::size_t(std::max(n, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), n, nullptr,
                          nullptr);
    return utf8;
}

fs::path toPath(const std::string& path) {
    return fs::path(widen(path));
}
std::string toUtf8(const fs::path& path) {
    return narrow(path.wstring());
}

VbError winError(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_DIRECTORY:
            return vbError(err::kPathNotFound);
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return vbError(err::kPermissionDenied);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return vbError(err::kDiskFull);
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return vbError(err::kBadFileName);
        default:
            return vbError(err::kPathFileAccess);
    }
}

/// Owns a handle so that no error path leaves a file open.
class Handle {
  public:
    explicit Handle(HANDLE h) : h_(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
    }
    HANDLE get() const { return h_; }
    void close() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        if (!::CloseHandle(h)) throw winError(::GetLastError());
    }

  private:
    HANDLE h_;
};

// Others may read, replace or delete a file while it is open here, as on POSIX.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool isFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

/// Writes everything at the end of the file, as O_APPEND does.
void writeAll(HANDLE h, std::string_view bytes) {
    while (!bytes.empty()) {
        OVERLAPPED atEnd{};
        atEnd.Offset = atEnd.OffsetHigh = 0xFFFFFFFF;
        const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD n = 0;
        if (!::WriteFile(h, bytes.data(), chunk, &n, &atEnd)) throw winError(::GetLastError());
        if (n == 0) throw vbError(err::kDiskFull);
        bytes.remove_prefix(n);
    }
}

bool processAlive(long pid) {
    if (pid == long(::GetCurrentProcessId())) return true;
    const HANDLE h = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!h) return ::GetLastError() != ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool running = !::GetExitCodeProcess(h, &code) || code == STILL_ACTIVE;
    ::CloseHandle(h);
    return running;
}

long currentProcess() {
    return long(::GetCurrentProcessId());
}

#else

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

#endif

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

// A writer killed between creating its temporary and renaming it leaves the temporary behind;
// the next write of the same file removes those whose writer is gone.
void removeStaleTemporaries(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const auto pid = temporaryOwner(toUtf8(it->path().filename()), name);
        if (pid && !processAlive(*pid)) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

// What a whole-file write replaces.
struct Target {
    fs::path path;
    fs::path folder;
    std::string name;
};

// Refuses a folder and sweeps the file's stale temporaries.
Target prepareTarget(const std::string& path) {
    Target t{toPath(path), {}, {}};
    {
        // Replace what a link points at, not the link: a page linked into a web server's tree
        // stays linked.
        std::error_code ec;
        if (fs::is_symlink(t.path, ec)) {
            fs::path resolved = fs::weakly_canonical(t.path, ec);
            if (!ec) t.path = std::move(resolved);
        }
    }
    t.name = toUtf8(t.path.filename());
    if (t.name.empty()) throw vbError(err::kBadFileName);
    t.folder = t.path.parent_path();
    {
        std::error_code ec;
        if (fs::is_directory(t.path, ec)) throw vbError(err::kPathFileAccess);
    }
    // Only an earlier, killed process can leave them, so one sweep per file and run will do.
    static std::set<std::string> swept;
    if (swept.insert(toUtf8(t.path)).second) removeStaleTemporaries(t.folder, t.name);
    return t;
}

}  // namespace

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    try {
        std::error_code ec;
        const auto st = fs::status(toPath(path), ec);
        return !ec && fs::exists(st) && !fs::is_directory(st);
    } catch (const VbError&) {
        return false;  // a name the system cannot hold
    }
}

namespace {

#ifdef _WIN32

namespace {

VbError openError(const std::wstring& path) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_ACCESS_DENIED && isFolder(path)) return vbError(err::kPathFileAccess);
    return winError(code);
}

}  // namespace

std::string readOnPlatform(const std::string& path) {
    const std::wstring wide = widen(path);
    Handle file(::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) throw vbError(err::kFileNotFound);
        throw openError(wide);
    }
    std::string content;
    char buf[65536];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file.get(), buf, sizeof buf, &n, nullptr)) throw winError(::GetLastError());
        if (n == 0) break;
        content.append(buf, n);
    }
    file.close();
    return content;
}

void writeOnPlatform(const std::string& path, std::string_view bytes, Durability durability,
                     NewFile) {
    const Target target = prepareTarget(path);
    static std::atomic<unsigned> serial{0};
    std::wstring tempPath;
    HANDLE raw = INVALID_HANDLE_VALUE;
    for (int attempt = 0; raw == INVALID_HANDLE_VALUE; ++attempt) {
        const auto name = temporaryName(target.name, currentProcess(), serial++);
        tempPath = (target.folder / widen(name)).wstring();
        raw = ::CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (raw == INVALID_HANDLE_VALUE &&
            (::GetLastError() != ERROR_FILE_EXISTS || attempt >= 100)) {
            throw openError(tempPath);
        }
    }
    Handle file(raw);
    try {
        writeAll(file.get(), bytes);
        const bool synced = durability == Durability::Synced;
        if (synced && !::FlushFileBuffers(file.get())) throw winError(::GetLastError());
        file.close();
        // Write-through makes the rename itself durable before it returns.
        const DWORD flags = MOVEFILE_REPLACE_EXISTING | (synced ? MOVEFILE_WRITE_THROUGH : 0);
        // A reader that opened the old file without sharing its deletion (a virus scanner, an
        // indexer, a web server) holds it for a moment.
        for (int attempt = 0; !::MoveFileExW(tempPath.c_str(), target.path.c_str(), flags);
             ++attempt) {
            const DWORD code = ::GetLastError();
            if ((code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION) || attempt >= 10) {
                throw winError(code);
            }
            ::Sleep(20);
        }
    } catch (...) {
        ::DeleteFileW(tempPath.c_str());
        throw;
    }
}

bool restrictOnPlatform(const std::string&) {
    return false;
}

void appendOnPlatform(const std::string& path, std::string_view bytes, AppendStage& stage) {
    stage = AppendStage::Open;
    const std::wstring wide = widen(path);
    Handle file(::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) throw openError(wide);
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) throw winError(::GetLastError());
    // A file whose last line was cut off (a hand edit, another program) would glue the new
    // line onto the fragment; end the fragment first, in the same write.
    std::string ended;
    if (size.QuadPart > 0) {
        OVERLAPPED at{};
        at.Offset = DWORD(size.QuadPart - 1);
        at.OffsetHigh = DWORD((size.QuadPart - 1) >> 32);
        char last = '\n';
        DWORD n = 0;
        if (::ReadFile(file.get(), &last, 1, &n, &at) && n == 1 && last != '\n') {
            ended = "\r\n";
            ended += bytes;
            bytes = ended;
        }
    }
    stage = AppendStage::Write;
    try {
        writeAll(file.get(), bytes);
    } catch (...) {
        // A fragment of a line would merge with the next one and spoil the rest of the file.
        if (::SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN)) ::SetEndOfFile(file.get());
        throw;
    }
    stage = AppendStage::Close;
    file.close();
}

#else

std::string readOnPlatform(const std::string& path) {
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

void writeOnPlatform(const std::string& path, std::string_view bytes, Durability durability,
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

bool restrictOnPlatform(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) throw fileError(errno);
    if ((st.st_mode & 077) == 0) return false;
    if (::chmod(path.c_str(), st.st_mode & 07700) != 0) throw fileError(errno);
    return true;
}

void appendOnPlatform(const std::string& path, std::string_view bytes, AppendStage& stage) {
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

#endif

}  // namespace

// A failure names its file, which the journal needs and the message box does not show.
std::string readWholeFile(const std::string& path) try {
    return readOnPlatform(path);
} catch (VbError& e) {
    e.setConcerning(path);
    throw;
}

void writeFileAtomic(const std::string& path, std::string_view bytes, Durability durability,
                     NewFile access) try {
    writeOnPlatform(path, bytes, durability, access);
} catch (VbError& e) {
    e.setConcerning(path);
    throw;
}

bool restrictToOwner(const std::string& path) try {
    return restrictOnPlatform(path);
} catch (VbError& e) {
    e.setConcerning(path);
    throw;
}

void appendToFile(const std::string& path, std::string_view bytes, AppendStage& stage) try {
    appendOnPlatform(path, bytes, stage);
} catch (VbError& e) {
    e.setConcerning(path);
    throw;
}

void appendToFile(const std::string& path, std::string_view bytes) {
    AppendStage stage{};
    appendToFile(path, bytes, stage);
}

}  // namespace skarvel
