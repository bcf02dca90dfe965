#include "win32/win32_mqtt_client.h"

#include <ws2tcpip.h>

#include <utility>

namespace skarvel {

namespace {

constexpr UINT kSocketMessage = WM_APP + 1;
constexpr UINT kLookupMessage = WM_APP + 2;
constexpr UINT_PTR kTickTimer = 1;
constexpr wchar_t kWindowClass[] = L"SkarvelMqttClient";

// Wine has no texts for Winsock's errors.
std::string lookupError(int error) {
    switch (error) {
        case WSAHOST_NOT_FOUND:
        case WSANO_DATA:
            return "unknown host";
    }
    return "Winsock error " + std::to_string(error);
}

}  // namespace

Win32MqttClient::Window::~Window() {
    if (!hwnd) return;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);  // messages still queued die with it
    DestroyWindow(hwnd);
}

Win32MqttClient::Win32MqttClient(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);
    window_.hwnd =
        CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
}

Win32MqttClient::~Win32MqttClient() {
    KillTimer(window_.hwnd, kTickTimer);
}

void Win32MqttClient::start(MosquittoClient& client) {
    client_ = &client;
    SetTimer(window_.hwnd, kTickTimer, 1000, nullptr);
}

LRESULT CALLBACK Win32MqttClient::windowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32MqttClient*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case kSocketMessage:
            // A late event of a socket since closed is not this one's.
            if (SOCKET(wParam) == self->socket_) self->client_->pump();
            return 0;
        case kLookupMessage:
            self->lookedUp(HANDLE(wParam), WSAGETASYNCERROR(lParam));
            return 0;
        case WM_TIMER:
            if (wParam == kTickTimer) self->client_->tick();
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void Win32MqttClient::lookUp(const std::string& host) {
    in_addr v4;
    in6_addr v6;
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1 || inet_pton(AF_INET6, host.c_str(), &v6) == 1)
        return client_->resolved({});
    hostent_.assign(MAXGETHOSTSTRUCT, 0);
    lookup_ = WSAAsyncGetHostByName(window_.hwnd, kLookupMessage, host.c_str(), hostent_.data(),
                                    int(hostent_.size()));
    if (!lookup_) client_->resolved(lookupError(WSAGetLastError()));
}

void Win32MqttClient::lookedUp(HANDLE request, int error) {
    if (request != lookup_) return;
    lookup_ = nullptr;
    client_->resolved(error ? lookupError(error) : std::string());
}

void Win32MqttClient::watch(int socket) {
    socket_ = SOCKET(socket);
    // Winsock says when the socket can take more only after it was found full; libmosquitto
    // writes at once otherwise, so there is no write interest to switch.
    WSAAsyncSelect(socket_, window_.hwnd, kSocketMessage,
                   FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE);
}

void Win32MqttClient::stop() {
    if (lookup_) WSACancelAsyncRequest(std::exchange(lookup_, nullptr));
    if (socket_ != INVALID_SOCKET) WSAAsyncSelect(socket_, window_.hwnd, 0, 0);
    socket_ = INVALID_SOCKET;
}

}  // namespace skarvel
