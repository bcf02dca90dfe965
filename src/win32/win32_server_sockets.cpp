#include "win32/win32_server_sockets.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <vector>

#include "platform/desktop_services.h"

namespace skarvel {

namespace {

constexpr UINT kSocketMessage = WM_APP + 1;
/// Carries an Id: work that must not run inside the server's own calls.
constexpr UINT kServiceMessage = WM_APP + 2;
constexpr UINT_PTR kSweepTimer = 1;
constexpr UINT_PTR kRetryTimer = 2;
/// How long a closed connection waits for the client to end its side before it is cut; reading
/// on meanwhile keeps a reply from being lost to a reset.
constexpr std::int64_t kGraceMs = 2000;
constexpr wchar_t kWindowClass[] = L"SkarvelServerSockets";

std::string errorText(int code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = n ? std::string(text, n) : std::string();
    LocalFree(text);
    while (!s.empty() &&
           (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.'))
        s.pop_back();
    return s.empty() ? "Winsock error " + std::to_string(code) : s;  // Wine has no texts for them
}

void cut(SOCKET s) {
    // No linger: the connection ends with a reset and nothing waits in the system for it.
    const linger off{1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&off), sizeof off);
    closesocket(s);
}

}  // namespace

Win32ServerSockets::Winsock::Winsock() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

Win32ServerSockets::Winsock::~Winsock() {
    WSACleanup();
}

Win32ServerSockets::Win32ServerSockets(const AutomationSettings& settings,
                                       DesktopServices& services, HINSTANCE instance)
    : settings_(settings), services_(services) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);  // fails harmlessly when another object registered it
    window_ =
        CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
}

Win32ServerSockets::~Win32ServerSockets() {
    for (auto& [id, c] : connections_) cut(c.socket);
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    if (discovery_ != INVALID_SOCKET) closesocket(discovery_);
    if (window_) {
        // Messages still queued for the window die with it.
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK Win32ServerSockets::windowProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32ServerSockets*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case kSocketMessage:
            self->onSocket(SOCKET(wParam), WSAGETSELECTEVENT(lParam));
            return 0;
        case kServiceMessage:
            self->service(Id(wParam), false);
            return 0;
        case WM_TIMER:
            if (wParam == kSweepTimer) self->onTimer();
            if (wParam == kRetryTimer) self->open();
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

std::int64_t Win32ServerSockets::now() const {
    return std::int64_t(GetTickCount64());
}

void Win32ServerSockets::start(AlpacaServer& server) {
    server_ = &server;
    if (settings_.alpacaPort <= 0 || listener_ != INVALID_SOCKET) return;
    open();
}

void Win32ServerSockets::open() {
    const auto report = [this](const std::string& text) {
        if (!text.empty()) services_.messageBox(text);
    };
    if (listener_ == INVALID_SOCKET) {
        const int error = listen();
        if (error < 0) return;  // no address to listen on: nothing to try again
        report(tcpPort_.tried(error == 0, errorText(error)));
        if (error == 0) SetTimer(window_, kSweepTimer, AlpacaServer::kSweepMs, nullptr);
    }
    if (listener_ != INVALID_SOCKET && settings_.discoveryPort > 0 &&
        discovery_ == INVALID_SOCKET) {
        const int error = bindDiscovery();
        report(udpPort_.tried(error == 0, errorText(error)));
    }
    if (listener_ != INVALID_SOCKET &&
        (settings_.discoveryPort <= 0 || discovery_ != INVALID_SOCKET))
        KillTimer(window_, kRetryTimer);
    else
        SetTimer(window_, kRetryTimer, ServerPort::kRetryMs, nullptr);
}

int Win32ServerSockets::bindDiscovery() {
    // Bound to every interface: a socket bound to one address misses the broadcasts.
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    any.sin_port = htons(u_short(settings_.discoveryPort));
    const BOOL yes = TRUE;
    if (s == INVALID_SOCKET ||
        setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes) ||
        bind(s, reinterpret_cast<const sockaddr*>(&any), sizeof any) ||
        WSAAsyncSelect(s, window_, kSocketMessage, FD_READ)) {
        const int error = WSAGetLastError();
        if (s != INVALID_SOCKET) closesocket(s);
        return error;
    }
    discovery_ = s;
    return 0;
}

int Win32ServerSockets::listen() {
    sockaddr_storage address{};
    int length = 0;
    bool dualStack = false;
    if (settings_.alpacaAddress.empty()) {
        auto& any = reinterpret_cast<sockaddr_in6&>(address);
        any.sin6_family = AF_INET6;
        any.sin6_addr = in6addr_any;
        length = sizeof any;
        dualStack = true;
    } else {
        addrinfo hints{};
        hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(settings_.alpacaAddress.c_str(), nullptr, &hints, &found) || !found) {
            services_.messageBox("The Alpaca server is off: alpacaAddress \"" +
                                 settings_.alpacaAddress + "\" is not an IP address.");
            return -1;
        }
        length = int(found->ai_addrlen);
        std::copy_n(reinterpret_cast<const char*>(found->ai_addr), length,
                    reinterpret_cast<char*>(&address));
        freeaddrinfo(found);
    }
    // The port sits at the same place in both families' addresses.
    reinterpret_cast<sockaddr_in&>(address).sin_port = htons(u_short(settings_.alpacaPort));

    SOCKET s = socket(address.ss_family, SOCK_STREAM, IPPROTO_TCP);
    const DWORD no = 0;
    if (dualStack &&
        (s == INVALID_SOCKET ||
         setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&no), sizeof no))) {
        // A system without IPv6: every IPv4 interface, as before IPv6.
        if (s != INVALID_SOCKET) closesocket(s);
        auto& any = reinterpret_cast<sockaddr_in&>(address);
        any = {};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        any.sin_port = htons(u_short(settings_.alpacaPort));
        length = sizeof any;
        s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    }
    // Nobody else may bind the port beside us and take our clients.
    const BOOL yes = TRUE;
    if (s != INVALID_SOCKET) {
        setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&yes),
                   sizeof yes);
    }
    sockaddr_storage bound{};
    int boundLength = sizeof bound;
    if (!window_ || s == INVALID_SOCKET ||
        bind(s, reinterpret_cast<const sockaddr*>(&address), length) || ::listen(s, SOMAXCONN) ||
        getsockname(s, reinterpret_cast<sockaddr*>(&bound), &boundLength) ||
        WSAAsyncSelect(s, window_, kSocketMessage, FD_ACCEPT)) {
        const int error = WSAGetLastError();
        if (s != INVALID_SOCKET) closesocket(s);
        return error ? error : WSAEINVAL;
    }
    listener_ = s;
    port_ = ntohs(reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    return 0;
}

void Win32ServerSockets::onSocket(SOCKET socket, WORD event) {
    if (socket == INVALID_SOCKET) return;
    if (socket == listener_) return accept();
    if (socket == discovery_) return answerDiscovery();
    // A late event may name a handle that now belongs to a newer connection, so the event only
    // says "look": what recv and send return decides.
    (void)event;
    const auto it = ids_.find(socket);
    if (it == ids_.end()) return;
    const Id id = it->second;
    service(id, flush(connections_.at(id)));
}

void Win32ServerSockets::accept() {
    for (;;) {
        const SOCKET s = ::accept(listener_, nullptr, nullptr);
        if (s == INVALID_SOCKET) return;  // none left; FD_ACCEPT comes again for the next
        // Its events come as the listener's message until this, with the connection's id known.
        WSAAsyncSelect(s, window_, kSocketMessage, FD_READ | FD_WRITE | FD_CLOSE);
        const Id id = ++lastId_;
        connections_[id].socket = s;
        ids_[s] = id;
        server_->accepted(id, now());
    }
}

void Win32ServerSockets::receive(Connection& c) {
    // Once `in` is full no recv is made, so no FD_READ comes either: the system holds the rest
    // until read() makes room.
    while (!c.peerEnded && !c.failed && c.in.size() < AlpacaServer::kMaxRequestBytes) {
        const std::size_t had = c.in.size();
        c.in.resize(AlpacaServer::kMaxRequestBytes);
        const int n = recv(c.socket, c.in.data() + had, int(c.in.size() - had), 0);
        c.in.resize(had + std::size_t(std::max(n, 0)));
        if (n == 0) c.peerEnded = true;
        if (n > 0) continue;
        if (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK) c.failed = true;
        return;
    }
    c.stalled = c.in.size() >= AlpacaServer::kMaxRequestBytes;
}

bool Win32ServerSockets::flush(Connection& c) {
    bool sent = false;
    while (c.outAt < c.out.size() && !c.failed) {
        const int n = send(c.socket, c.out.data() + c.outAt,
                           int(std::min<std::size_t>(c.out.size() - c.outAt, 1 << 20)), 0);
        if (n <= 0) {
            if (WSAGetLastError() != WSAEWOULDBLOCK) c.failed = true;
            break;
        }
        c.outAt += std::size_t(n);
        sent = true;
    }
    if (c.outAt == c.out.size() || c.failed) {
        c.out.clear();
        c.outAt = 0;
    } else if (c.outAt > c.out.size() / 2) {
        c.out.erase(0, c.outAt);
        c.outAt = 0;
    }
    if (c.closing && c.out.empty() && !c.sentEnd && !c.failed) {
        shutdown(c.socket, SD_SEND);
        c.sentEnd = true;
        c.endedAt = now();
    }
    return sent;
}

void Win32ServerSockets::service(Id id, bool wrote) {
    auto it = connections_.find(id);
    if (it == connections_.end()) return;
    receive(it->second);
    if (!it->second.in.empty() || wrote) {
        server_->readable(id, now());
        it = connections_.find(id);  // the server may have dropped it
        if (it == connections_.end()) return;
    }
    const Connection& c = it->second;
    // A client that ended its side has its reply first: the connection goes once everything it
    // sent is read and everything written to it has gone.
    if (c.failed || (c.peerEnded && c.in.empty() && c.out.empty())) {
        forget(id, c.failed);
        server_->gone(id);
    }
}

void Win32ServerSockets::later(Id id) {
    PostMessageW(window_, kServiceMessage, WPARAM(id), 0);
}

std::string Win32ServerSockets::read(Id id, std::size_t max) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return {};
    Connection& c = it->second;
    if (c.in.size() < max) receive(c);
    const std::size_t n = std::min(max, c.in.size());
    std::string bytes = c.in.substr(0, n);
    c.in.erase(0, n);
    // Room again after a full buffer: the system's next bytes are fetched from the message loop.
    if ((c.stalled && n > 0) || c.peerEnded || c.failed) {
        c.stalled = false;
        later(id);
    }
    return bytes;
}

void Win32ServerSockets::write(Id id, std::string_view bytes) {
    const auto it = connections_.find(id);
    if (it == connections_.end() || it->second.failed) return;
    Connection& c = it->second;
    c.out.append(bytes);
    // Into the system now: the client may end its side as soon as it has its reply.
    flush(c);
    if (c.failed) later(id);
}

std::size_t Win32ServerSockets::unsent(Id id) const {
    const auto it = connections_.find(id);
    return it == connections_.end() ? 0 : it->second.out.size() - it->second.outAt;
}

void Win32ServerSockets::close(Id id) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    it->second.closing = true;
    flush(it->second);
    if (it->second.peerEnded || it->second.failed) later(id);
}

void Win32ServerSockets::abort(Id id) {
    forget(id, true);
}

void Win32ServerSockets::forget(Id id, bool hard) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    const SOCKET s = it->second.socket;
    ids_.erase(s);
    connections_.erase(it);
    if (hard)
        cut(s);
    else
        closesocket(s);
}

void Win32ServerSockets::onTimer() {
    const std::int64_t t = now();
    server_->sweep(t);
    std::vector<Id> late;
    for (const auto& [id, c] : connections_)
        if (c.sentEnd && t - c.endedAt > kGraceMs) late.push_back(id);
    for (const Id id : late) {
        forget(id, false);
        server_->gone(id);
    }
}

void Win32ServerSockets::answerDiscovery() {
    // A bounded batch: a flood of datagrams must not keep the window from its other messages;
    // each recvfrom asks for the next FD_READ.
    for (int i = 0; i < 64; ++i) {
        char datagram[64];
        sockaddr_storage from{};
        int fromLength = sizeof from;
        int n = recvfrom(discovery_, datagram, sizeof datagram, 0,
                         reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) {
            const int error = WSAGetLastError();
            if (error == WSAECONNRESET) continue;  // an earlier reply found nobody listening
            if (error != WSAEMSGSIZE) return;
            n = sizeof datagram;  // longer than any request: its start decides
        }
        const auto answer = AlpacaServer::discoveryReply(std::string_view(datagram, n), port_);
        if (answer)
            sendto(discovery_, answer->data(), int(answer->size()), 0,
                   reinterpret_cast<const sockaddr*>(&from), fromLength);
    }
}

}  // namespace skarvel
