#include "win32/win32_curl_loop.h"

#include <algorithm>

namespace skarvel {

namespace {

constexpr UINT kSocketMessage = WM_APP + 1;
constexpr UINT_PTR kTimer = 1;
constexpr wchar_t kWindowClass[] = L"SkarvelCurlLoop";

}  // namespace

Win32CurlLoop::Win32CurlLoop(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);  // fails harmlessly when an earlier loop registered it
    window_ =
        CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
}

Win32CurlLoop::~Win32CurlLoop() {
    for (const auto& [socket, interest] : watched_) WSAAsyncSelect(socket, window_, 0, 0);
    KillTimer(window_, kTimer);
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);  // messages still queued die with it
    DestroyWindow(window_);
}

LRESULT CALLBACK Win32CurlLoop::windowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32CurlLoop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self || !self->sender_) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case kSocketMessage:
            self->ready(SOCKET(wParam), WSAGETSELECTEVENT(lParam));
            return 0;
        case WM_TIMER:
            if (wParam != kTimer) return 0;
            KillTimer(window, kTimer);  // once; libcurl sets the next one from inside
            self->sender_->timeout();
            self->recheck();
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void Win32CurlLoop::start(CurlSender& sender) {
    sender_ = &sender;
}

void Win32CurlLoop::watch(std::intptr_t socket, bool read, bool write) {
    const SOCKET s = SOCKET(socket);
    if (!read && !write) {
        WSAAsyncSelect(s, window_, 0, 0);
        watched_.erase(s);
        return;
    }
    watched_[s] = {read, write};
    // A new selection reports at once what is ready already.
    WSAAsyncSelect(s, window_, kSocketMessage,
                   (read ? FD_READ | FD_CLOSE : 0) | (write ? FD_WRITE | FD_CONNECT : 0));
}

void Win32CurlLoop::timer(long ms) {
    if (ms < 0) {
        KillTimer(window_, kTimer);
        return;
    }
    SetTimer(window_, kTimer, UINT(std::clamp<long>(ms, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM)),
             nullptr);
}

void Win32CurlLoop::ready(SOCKET socket, long events) {
    // libcurl may have forgotten the socket, or closed it and been given its number again, since
    // the message was queued: it finds out for itself whether anything is there.
    const auto it = watched_.find(socket);
    if (it == watched_.end()) return;
    // A failed connection or a closed peer is what the next send or receive finds out.
    const bool readable = it->second.read && (events & (FD_READ | FD_CLOSE));
    const bool writable = it->second.write && (events & (FD_WRITE | FD_CONNECT | FD_CLOSE));
    if (!readable && !writable) return;
    sender_->socketReady(std::intptr_t(socket), readable, writable);
    recheck();
}

void Win32CurlLoop::recheck() {
    fd_set in{}, out{}, failed{};
    for (const auto& [socket, interest] : watched_) {
        if (interest.read) FD_SET(socket, &in);
        if (interest.write) {
            FD_SET(socket, &out);
            FD_SET(socket, &failed);
        }
    }
    timeval now{0, 0};
    if (in.fd_count + out.fd_count == 0 || select(0, &in, &out, &failed, &now) <= 0) return;
    for (const auto& [socket, interest] : watched_) {
        const long events = (FD_ISSET(socket, &in) ? FD_READ : 0) |
                            (FD_ISSET(socket, &out) || FD_ISSET(socket, &failed) ? FD_WRITE : 0);
        if (events)
            PostMessageW(window_, kSocketMessage, WPARAM(socket), WSAMAKESELECTREPLY(events, 0));
    }
}

}  // namespace skarvel
