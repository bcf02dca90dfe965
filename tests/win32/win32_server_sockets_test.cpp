// The Alpaca server on Winsock: real ports on this machine, real client sockets, and the
// messages pumped here as the program's window loop pumps them.

#include <gmock/gmock.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "fakes/fake_desktop_services.h"
#include "fakes/temp_dir.h"
#include "win32/win32_server_sockets.h"

using namespace skarvel;

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(u_short(port));
    return a;
}

int freePort(int type) {
    const SOCKET s = socket(AF_INET, type, 0);
    sockaddr_in a = loopback(0);
    int length = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &length);
    closesocket(s);
    return ntohs(a.sin_port);
}

/// A client socket, connected to `port` when given, that then never blocks: what has arrived
/// is gathered by pull().
struct Peer {
    explicit Peer(int type, int port = 0) : s(socket(AF_INET, type, 0)) {
        const sockaddr_in a = loopback(port);
        if (port) connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        u_long on = 1;
        ioctlsocket(s, FIONBIO, &on);
    }
    ~Peer() { closesocket(s); }
    void pull() {
        char buffer[4096];
        for (;;) {
            const int n = recv(s, buffer, sizeof buffer, 0);
            if (n > 0) got.append(buffer, n);
            if (n == 0 || (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) ended = true;
            if (n <= 0) return;
        }
    }
    SOCKET s;
    std::string got;
    bool ended = false;
};

/// "200 431 end": the status of each response begun, then whether the server ended the stream.
std::string responses(const Peer& p) {
    std::string summary;
    for (auto at = p.got.find("HTTP/1.1 "); at != std::string::npos;
         at = p.got.find("HTTP/1.1 ", at + 1))
        summary += p.got.substr(at + 9, 3) + " ";
    return summary + (p.ended ? "end" : "");
}

struct Bench {
    AutomationSettings settings;
    AutomationState state;
    skarvel::testing::FakeDesktopServices services;
    std::unique_ptr<Win32ServerSockets> server;
    std::vector<std::unique_ptr<Peer>> peers;
    std::unique_ptr<skarvel::testing::TempDir> web;

    Peer& peer(int type, int port = 0) {
        return *peers.emplace_back(std::make_unique<Peer>(type, port));
    }
    Peer& client() { return peer(SOCK_STREAM, settings.alpacaPort); }
    void send(Peer& p, std::string_view bytes) {
        while (!bytes.empty()) {
            const int n = ::send(p.s, bytes.data(), int(bytes.size()), 0);
            if (n > 0) bytes.remove_prefix(std::size_t(n));
            if (n <= 0 && WSAGetLastError() != WSAEWOULDBLOCK) return;
            pump();
        }
    }
    static void pump() {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
};

const std::string get = "GET /management/apiversions HTTP/1.1\r\nHost: observatory\r\n\r\n";

}  // namespace

TEST(Win32ServerSockets, AnswersRefusesAndReports) {
    WSADATA winsock;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &winsock), 0);
    // Each row acts as clients on a fresh server and returns what it sees; the messages are
    // pumped until that is `want` ("{port}": the server's) or a deadline passes.
    struct Row {
        const char* name;
        const char* address;  ///< alpacaAddress
        bool portTaken;       ///< another program listens on alpacaPort first
        std::function<std::function<std::string()>(Bench&)> act;
        std::string want;
    };
    const auto exchange = [](std::string request, bool halfClose) {
        return [=](Bench& b) -> std::function<std::string()> {
            Peer& p = b.client();
            b.send(p, request);
            if (halfClose) shutdown(p.s, SD_SEND);
            return [&p] { return p.pull(), responses(p); };
        };
    };
    // A discovery datagram from one client and then a genuine one from another: once the second
    // is answered, any answer to the first is there too.
    const auto discovery = [](std::string datagram) {
        return [=](Bench& b) -> std::function<std::string()> {
            Peer& first = b.peer(SOCK_DGRAM);
            Peer& second = b.peer(SOCK_DGRAM);
            const sockaddr_in to = loopback(b.settings.discoveryPort);
            for (const auto& [p, bytes] :
                 {std::pair{&first, datagram}, {&second, "alpacadiscovery1"}})
                sendto(p->s, bytes.data(), int(bytes.size()), 0,
                       reinterpret_cast<const sockaddr*>(&to), sizeof to);
            return [&first, &second]() -> std::string {
                second.pull();
                if (second.got.empty()) return "nothing yet";
                first.pull();
                return first.got.empty() ? "no answer" : first.got;
            };
        };
    };
    const std::string oversized =
        "GET / HTTP/1.1\r\nX: " + std::string(3 * AlpacaServer::kMaxRequestBytes, 'a') + "\r\n\r\n";
    const Row rows[] = {
        {"GET on one address", "127.0.0.1", false, exchange(get, false), "200 "},
        {"request, then the client's end", "", false, exchange(get, true), "200 end"},
        {"oversized header", "", false, exchange(oversized, false), "431 end"},
        {"all connections taken by idle clients", "", false,
         [&](Bench& b) -> std::function<std::string()> {
             std::vector<Peer*> idle;
             for (int i = 0; i < AlpacaServer::kMaxConnections; ++i) idle.push_back(&b.client());
             const auto asking = exchange(get, false)(b);
             return [=] {
                 int dropped = 0;
                 for (Peer* p : idle) dropped += (p->pull(), p->ended);
                 return asking() + ", idle dropped: " + std::to_string(dropped);
             };
         },
         "200 , idle dropped: 1"},
        // A page more than the system's buffers and the backlog can hold: the request behind it
        // waits until the client has taken most of the page, and is answered then.
        {"a large page, then a request", "", false,
         [&](Bench& b) -> std::function<std::string()> {
             b.web = std::make_unique<skarvel::testing::TempDir>();
             std::string page;
             for (int i = 0; page.size() < AlpacaServer::kMaxFileBytes - 64; ++i)
                 page += std::to_string(i) + '\n';
             std::ofstream(b.web->file("CloudStatus.html"), std::ios::binary) << page;
             const auto asking = exchange("GET / HTTP/1.1\r\n\r\n" + get, false)(b);
             Peer& p = *b.peers.back();
             return [=, &p]() -> std::string {
                 const std::string seen = asking();
                 if (seen.find("200 200 ") == std::string::npos) return seen;
                 const bool whole =
                     p.got.compare(p.got.find("\r\n\r\n") + 4, page.size(), page) == 0;
                 return seen + (whole ? ", page whole" : ", page damaged");
             };
         },
         "200 200 , page whole"},
        {"discovery", "", false, discovery("alpacadiscovery1"), "{\"AlpacaPort\":{port}}"},
        {"discovery with reserved bytes", "", false,
         discovery("alpacadiscovery1" + std::string(100, '\0')), "{\"AlpacaPort\":{port}}"},
        {"other datagram", "", false, discovery("alpacadiscovery"), "no answer"},
        {"port taken", "", true, nullptr,
         "The Alpaca server is off: port {port} cannot be opened (...)."},
        {"not an address", "300.1.2.3", false, nullptr,
         "The Alpaca server is off: alpacaAddress \"300.1.2.3\" is not an IP address."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Bench b;
        b.settings.alpacaPort = freePort(SOCK_STREAM);
        b.settings.discoveryPort = freePort(SOCK_DGRAM);
        b.settings.alpacaAddress = row.address;
        Peer holder(SOCK_STREAM);
        if (row.portTaken) {
            sockaddr_in any = loopback(b.settings.alpacaPort);
            any.sin_addr.s_addr = htonl(INADDR_ANY);
            bind(holder.s, reinterpret_cast<sockaddr*>(&any), sizeof any);
            listen(holder.s, 1);
        }
        b.server = std::make_unique<Win32ServerSockets>(
            b.settings, b.state, b.services, [&b] { return b.web ? b.web->folder() : ""; },
            "automation.ini", "1.3.0", GetModuleHandleW(nullptr));
        b.server->start();
        std::string want = row.want;
        if (const auto at = want.find("{port}"); at != std::string::npos)
            want.replace(at, 6, std::to_string(b.settings.alpacaPort));
        // The system's reason is its own; the message around it is ours.
        const auto observe = row.act ? row.act(b) : [&b] {
            std::string all;
            for (std::string m : b.services.messages) {
                if (const auto open = m.find(" ("); open != std::string::npos)
                    m.replace(open + 2, m.size() - open - 4, "...");
                all += m;
            }
            return all;
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (observe() != want && std::chrono::steady_clock::now() < deadline) b.pump();
        EXPECT_EQ(observe(), want);
        EXPECT_EQ(b.server->port(), row.act ? b.settings.alpacaPort : 0);
        if (row.act) {
            EXPECT_THAT(b.services.messages, ::testing::IsEmpty());
        }
    }
}
