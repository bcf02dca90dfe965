#pragma once

#include <windows.h>
#include <winsock2.h>

#include <cstdint>
#include <string>
#include <unordered_map>

#include "web/alpaca_server.h"

namespace skarvel {

/// The Alpaca server's sockets on the user-interface thread: every socket reports to a hidden
/// window of its own through WSAAsyncSelect, so the server runs between the program's other
/// messages. What is answered and who is dropped is the server's policy.
class Win32ServerSockets final : public ServerListener {
  public:
    Win32ServerSockets(const AutomationSettings& settings, DesktopServices& services,
                       HINSTANCE instance);
    ~Win32ServerSockets() override;
    Win32ServerSockets(const Win32ServerSockets&) = delete;
    Win32ServerSockets& operator=(const Win32ServerSockets&) = delete;

    /// Opens alpacaPort on alpacaAddress (every interface when empty) and discoveryPort on every
    /// IPv4 interface.
    void start(AlpacaServer& server) override;
    /// Where the devices are served; 0 while closed.
    std::uint16_t port() const { return port_; }

    // The server's calls, made from inside its own message handling.
    std::string read(Id id, std::size_t max) override;
    void write(Id id, std::string_view bytes) override;
    std::size_t unsent(Id id) const override;
    void close(Id id) override;
    void abort(Id id) override;

  private:
    struct Winsock {
        Winsock();
        ~Winsock();
    };
    struct Connection {
        SOCKET socket = INVALID_SOCKET;
        std::string in;   ///< arrived, not yet read by the server
        std::string out;  ///< written; the system has taken it up to `outAt`
        std::size_t outAt = 0;
        bool stalled = false;  ///< `in` filled up and reading stopped
        bool peerEnded = false;
        bool failed = false;
        bool closing = false;
        bool sentEnd = false;
        std::int64_t endedAt = 0;  ///< when our end of the stream went out
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void onSocket(SOCKET socket, WORD event);
    void onTimer();
    void accept();
    void answerDiscovery();
    /// Opens what is still closed, and keeps trying while anything is.
    void open();
    /// 0, or the error that kept the port closed; -1 when there is no address to listen on.
    int listen();
    int bindDiscovery();
    void receive(Connection& c);
    /// Hands the system what it takes now; true when it took something.
    bool flush(Connection& c);
    /// Reads what has arrived, lets the server at it and ends a connection that is over.
    void service(Id id, bool wrote);
    /// service(id) from the message loop, outside the server's calls.
    void later(Id id);
    void forget(Id id, bool hard);
    std::int64_t now() const;

    Winsock winsock_;
    AutomationSettings settings_;
    DesktopServices& services_;
    AlpacaServer* server_ = nullptr;
    HWND window_ = nullptr;
    SOCKET listener_ = INVALID_SOCKET;
    SOCKET discovery_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    ServerPort tcpPort_{false, settings_.alpacaPort};
    ServerPort udpPort_{true, settings_.discoveryPort};
    std::unordered_map<Id, Connection> connections_;
    std::unordered_map<SOCKET, Id> ids_;
    Id lastId_ = 0;
};

}  // namespace skarvel
