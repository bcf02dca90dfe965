#pragma once

#include <windows.h>
#include <winsock2.h>

#include <map>

#include "notify/curl_sender.h"

namespace skarvel {

/// libcurl's sockets and timer on the user-interface thread: the sockets report to a hidden
/// window through WSAAsyncSelect, the timer is that window's.
class Win32CurlLoop final : public CurlLoop {
  public:
    explicit Win32CurlLoop(HINSTANCE instance);
    ~Win32CurlLoop() override;
    Win32CurlLoop(const Win32CurlLoop&) = delete;
    Win32CurlLoop& operator=(const Win32CurlLoop&) = delete;

  private:
    struct Interest {
        bool read = false, write = false;
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void start(CurlSender& sender) override;
    void watch(std::intptr_t socket, bool read, bool write) override;
    void timer(long ms) override;
    void ready(SOCKET socket, long events);
    /// Reports again what is still ready, as poll() would: Winsock tells a socket's readiness
    /// once, and FD_WRITE only after a send that would have blocked.
    void recheck();

    HWND window_ = nullptr;
    CurlSender* sender_ = nullptr;
    std::map<SOCKET, Interest> watched_;
};

}  // namespace skarvel
