#include "win32/win32_serial_control.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <charconv>

#include "store/vb_error.h"

namespace skarvel {

namespace {

HANDLE asHandle(void* h) {
    return static_cast<HANDLE>(h);
}

// "COM3 (error 2: The system cannot find the file specified.)" for the journal.
std::string describeFailure(int port, DWORD code) {
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n && text ? std::string(text, n) : std::string();
    if (text) ::LocalFree(text);
    while (!message.empty() && std::isspace(static_cast<unsigned char>(message.back())))
        message.pop_back();
    std::string out = "COM" + std::to_string(port) + " (error " + std::to_string(code);
    if (!message.empty()) out += ": " + message;
    return out + ")";
}

std::string trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(s.substr(first, s.find_last_not_of(" \t") - first + 1));
}

template <typename T>
bool toNumber(const std::string& s, T& value) {
    const char* end = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(s.data(), end, value);
    return ec == std::errc() && ptr == end;
}

}  // namespace

Win32SerialControl::~Win32SerialControl() {
    close();
}

std::wstring Win32SerialControl::portPath(int port) {
    return L"\\\\.\\COM" + std::to_wstring(port);
}

void Win32SerialControl::setCommPort(std::int16_t port) {
    if (port < 1) throw vbError(err::kInvalidPortNumber);
    if (portOpen()) throw vbError(err::kPortAlreadyOpen);
    port_ = port;
}

Win32SerialControl::Line Win32SerialControl::parseSettings(const std::string& settings) {
    std::vector<std::string> parts;
    for (std::size_t from = 0;;) {
        const std::size_t comma = settings.find(',', from);
        parts.push_back(trimmed(std::string_view(settings).substr(from, comma - from)));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    Line line;
    bool ok = parts.size() == 4 && toNumber(parts[0], line.baud) && line.baud > 0 &&
              toNumber(parts[2], line.dataBits) && line.dataBits >= 5 && line.dataBits <= 8 &&
              parts[1].size() == 1;
    if (ok) {
        line.parity = char(std::tolower(static_cast<unsigned char>(parts[1][0])));
        line.stopBits = parts[3];
        ok = std::string_view("neoms").find(line.parity) != std::string_view::npos &&
             (line.stopBits == "1" || line.stopBits == "1.5" || line.stopBits == "2");
    }
    if (!ok) throw VbError(380, "Invalid property value");
    return line;
}

void Win32SerialControl::setSettings(const std::string& settings) {
    line_ = parseSettings(settings);
    if (portOpen()) applyLine();
}

void Win32SerialControl::applyLine() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(asHandle(handle_), &dcb)) return;
    dcb.BaudRate = DWORD(line_.baud);
    dcb.ByteSize = BYTE(line_.dataBits);
    switch (line_.parity) {
        case 'e':
            dcb.Parity = EVENPARITY;
            break;
        case 'o':
            dcb.Parity = ODDPARITY;
            break;
        case 'm':
            dcb.Parity = MARKPARITY;
            break;
        case 's':
            dcb.Parity = SPACEPARITY;
            break;
        default:
            dcb.Parity = NOPARITY;
    }
    dcb.fParity = dcb.Parity != NOPARITY;
    dcb.StopBits = line_.stopBits == "2"     ? TWOSTOPBITS
                   : line_.stopBits == "1.5" ? ONE5STOPBITS
                                             : ONESTOPBIT;
    dcb.fBinary = TRUE;
    // No handshake, and DTR and RTS raised as a Linux tty raises them at open: a sensor may
    // draw its power from them.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    // A framing or parity error must not stop every later read until it is cleared.
    dcb.fAbortOnError = FALSE;
    // A pseudo-terminal behind a Wine port may refuse some line settings; the bytes still flow,
    // so that is no reason to fail.
    ::SetCommState(asHandle(handle_), &dcb);
}

void Win32SerialControl::setPortOpen(bool open) {
    if (!open) {
        close();
        return;
    }
    if (portOpen()) throw vbError(err::kPortAlreadyOpen);
    gone_ = false;
    buffer_.clear();
    driverHolds_ = 0;
    const std::wstring path = portPath(port_);
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD code = ::GetLastError();
    if (h != INVALID_HANDLE_VALUE) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        // Reads return at once with what has arrived, or with nothing.
        COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
        // A port mapped to a device that is not there gives a handle that is no port at all.
        if (::GetCommState(h, &dcb) && ::SetCommTimeouts(h, &timeouts)) {
            handle_ = h;
            applyLine();
            return;
        }
        code = ::GetLastError();
        ::CloseHandle(h);
    }
    VbError e = vbError(code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION
                            ? err::kPortAlreadyOpen
                            : err::kInvalidPortNumber);
    e.setConcerning(describeFailure(port_, code));
    throw e;
}

void Win32SerialControl::close() {
    if (handle_) ::CloseHandle(asHandle(handle_));
    handle_ = nullptr;
    buffer_.clear();
    driverHolds_ = 0;
}

void Win32SerialControl::requireOpen() const {
    if (gone_ || !portOpen()) throw vbError(gone_ ? err::kDeviceGone : err::kPortNotOpen);
}

void Win32SerialControl::pull() {
    const HANDLE h = asHandle(handle_);
    bool gotBytes = false;
    std::uint8_t chunk[4096];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h, chunk, sizeof chunk, &n, nullptr) || n == 0) break;
        buffer_.insert(buffer_.end(), chunk, chunk + n);
        gotBytes = true;
        if (n < sizeof chunk) break;
    }
    DWORD errors = 0;
    COMSTAT status{};
    if (::ClearCommError(h, &errors, &status)) {
        driverHolds_ = status.cbInQue;
    } else if (!gotBytes) {
        // A vanished device still reads as silence; only the port's status says it is gone.
        // Later reads would fail the same way for ever, so let the owner open a new port.
        close();
        gone_ = true;
    }
}

int Win32SerialControl::inBufferCount() {
    requireOpen();
    pull();
    requireOpen();
    return int(std::min<std::size_t>(buffer_.size() + driverHolds_, 0x7FFFFFFF));
}

void Win32SerialControl::setInBufferCount(int count) {
    requireOpen();
    if (count != 0) return;
    pull();
    buffer_.clear();
    driverHolds_ = 0;
    if (portOpen()) ::PurgeComm(asHandle(handle_), PURGE_RXCLEAR);
}

std::vector<std::uint8_t> Win32SerialControl::input() {
    requireOpen();
    pull();
    std::vector<std::uint8_t> out;
    out.swap(buffer_);
    return out;
}

}  // namespace skarvel
