#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "store/file_platform.h"
#include "store/vb_error.h"

namespace skarvel::file_platform {

namespace fs = std::filesystem;

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

namespace {

VbError openError(const std::wstring& path) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_ACCESS_DENIED && isFolder(path)) return vbError(err::kPathFileAccess);
    return winError(code);
}

}  // namespace

std::string readFile(const std::string& path) {
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

void writeFile(const std::string& path, std::string_view bytes, Durability durability, NewFile) {
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

bool makePrivate(const std::string&) {
    return false;
}

void appendFile(const std::string& path, std::string_view bytes, AppendStage& stage) {
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

}  // namespace skarvel::file_platform
