#include <gtest/gtest.h>

#include "indi/weather_report.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "indi/http_get.h"
#endif

namespace skarvel::indi {
namespace {

using namespace std::chrono;

TEST(WeatherReport, OnlyAFreshWellFormedSafeDocumentIsSafe) {
    const sys_seconds now = sys_days(2026y / 12 / 7) + 22h + 15min + 3s;
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n\r\n";
    const std::string clear = R"({"time":"2026-12-07T22:15:03Z","sky":-30.1,"ambient":10.0,)"
                              R"("difference":-40.1,"state":"CLEAR","safe":true,"reason":"CLEAR"})";
    struct Row {
        std::string response, error;
        WeatherReport want;
    };
    const auto unsafe = [](std::string reason) { return WeatherReport{false, reason, {}, {}, {}}; };
    const std::string bad = "BAD ANSWER: not the monitor's state document";
    const WeatherReport clearOnly{true, "CLEAR", {}, {}, {}};
    // clang-format off
    const Row rows[] = {
        {ok + clear, "", {true, "CLEAR", -30.1, 10.0, {}}},
        {"HTTP/1.1 200\r\n\r\n" + clear, "", {true, "CLEAR", -30.1, 10.0, {}}},  // no reason phrase
        {ok + R"({"time":"2026-12-07T22:13:03Z","sky":-3.5,"cloudCover":87.5,"safe":false,)"
              R"("reason":"V.CLOUDY"})", "", {false, "V.CLOUDY", -3.5, {}, 87.5}},
        // Before the first reading the monitor leaves the values out.
        {ok + R"({"time":"2026-12-07T22:15:00Z","safe":false,"reason":"PENDING: no reading yet"})",
         "", unsafe("PENDING: no reading yet")},
        {ok + R"({"time":"2026-12-07T22:13:02Z","sky":-30.1,"safe":true,"reason":"CLEAR"})", "",
         {false, "STALE: the monitor's state is 121 s old", -30.1, {}, {}}},
        {ok + R"({"time":"2026-12-07T22:13:03Z","safe":true,"reason":"CLEAR"})", "", clearOnly},
        // A clock ahead of this one cannot make it stale.
        {ok + R"({"time":"2026-12-07T23:00:00Z","safe":true,"reason":"CLEAR"})", "", clearOnly},
        {"", "Connection refused", unsafe("NO ANSWER: Connection refused")},
        {"", "", unsafe("NO ANSWER: empty")},
        {"HTTP/1.1 404 Not Found\r\n\r\n{}", "", unsafe("BAD ANSWER: HTTP/1.1 404 Not Found")},
        {"HTTP/1.1 2000 OK\r\n\r\n" + clear, "", unsafe("BAD ANSWER: HTTP/1.1 2000 OK")},
        {"HTTP/1.", "", unsafe("BAD ANSWER: HTTP/1.")},
        {"SSH-2.0-OpenSSH_9.2\r\n", "", unsafe("BAD ANSWER: SSH-2.0-OpenSSH_9.2")},
        {ok + clear.substr(0, 60), "", unsafe(bad)},
        {ok + R"({"roof_status":{"open_ok":1,"reasons":"CLEAR"}})", "", unsafe(bad)},
        {ok + R"({"time":"2026-12-07T22:15:03Z","safe":1,"reason":"CLEAR"})", "", unsafe(bad)},
        {ok + R"({"time":"2026-12-07T22:15:03Z","safe":true})", "", unsafe(bad)},
        {ok + R"({"time":"2026-12-07 22:15:03","safe":true,"reason":"CLEAR"})", "", unsafe(bad)},
        {ok + R"({"time":"2026-12-07T22:15:03+00","safe":true,"reason":"CLEAR"})", "", unsafe(bad)},
        {ok + R"({"time":"2026-02-30T22:15:03Z","safe":true,"reason":"CLEAR"})", "", unsafe(bad)},
        {ok + R"(["time","safe"])", "", unsafe(bad)},
        {"HTTP/1.1 200 OK\r\n" + clear, "", unsafe(bad)},
    };
    // clang-format on
    for (const Row& r : rows) {
        const WeatherReport got = weatherReport(r.response, r.error, now, 120);
        EXPECT_EQ(got, r.want) << r.response << " -> " << got.reason;
    }
}

TEST(WeatherReport, StateAddressFromTheUrl) {
    // clang-format off
    const std::pair<std::string, std::optional<StateAddress>> rows[] = {
        {"http://localhost:11111", StateAddress{"localhost", "11111", "/state.json"}},
        {"http://192.168.1.20", StateAddress{"192.168.1.20", "80", "/state.json"}},
        {"http://pier.local:8080/skarvel/",
         StateAddress{"pier.local", "8080", "/skarvel/state.json"}},
        {"http://[::1]:65535", StateAddress{"::1", "65535", "/state.json"}},
        {"http://[fe80::1]", StateAddress{"fe80::1", "80", "/state.json"}},
        {"https://localhost:11111", std::nullopt}, {"localhost:11111", std::nullopt},
        {"http://", std::nullopt}, {"http://:11111", std::nullopt},
        {"http://localhost:", std::nullopt}, {"http://localhost:0", std::nullopt},
        {"http://localhost:65536", std::nullopt}, {"http://localhost:011111", std::nullopt},
        {"http://localhost:11a", std::nullopt}, {"http://[::1", std::nullopt},
        {"http://[::1]x", std::nullopt}, {"http://user@localhost:11111", std::nullopt},
        {"http://localhost:11111/a b", std::nullopt},
    };
    // clang-format on
    for (const auto& [url, want] : rows) EXPECT_EQ(stateAddress(url), want) << url;
}

#ifndef _WIN32
// The driver's client against a loopback server that reads the request whole and then answers.
TEST(HttpGet, TheWholeAnswerWithinTheTimeOutOrAnError) {
    const auto open = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto before = open();
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof a;
    ::bind(server, reinterpret_cast<sockaddr*>(&a), size), ::listen(server, 1);
    ::getsockname(server, reinterpret_cast<sockaddr*>(&a), &size);
    const std::string port = std::to_string(ntohs(a.sin_port));
    const std::string ok = "HTTP/1.1 200 OK\r\n\r\n{}", big(8 << 20, 'p');
    // The path (a long one fills the socket's buffers), the answer, its last byte alone after a
    // pause or none at all; what the client returns, or its error.
    // clang-format off
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {"/", ok, ok}, {"/" + big, ok, ok},
        {"/", std::string((1 << 20) + 2, 'x'), "the answer is too long"},
        {"/", "", "no whole answer within the time-out"}};
    // clang-format on
    for (const auto& [path, answer, want] : rows) {
        std::thread peer([&, &answer = answer, &path = path] {
            const int c = ::accept(server, nullptr, nullptr);
            std::string request, buffer(1 << 16, '\0');
            for (ssize_t n = 1; n > 0 && !request.ends_with("\r\n\r\n");)
                if ((n = ::recv(c, buffer.data(), buffer.size(), 0)) > 0)
                    request.append(buffer.data(), std::size_t(n));
            ::send(c, answer.data(), answer.size() - !answer.empty(), MSG_NOSIGNAL);
            std::this_thread::sleep_for(answer.empty() ? 2500ms : 50ms);
            ::send(c, answer.data() + answer.size() - 1, !answer.empty(), MSG_NOSIGNAL);
            ::close(c);
        });
        std::string error;
        const std::string got = httpGet({"127.0.0.1", port, path}, 2s, error);
        peer.join();
        EXPECT_EQ(got.empty() ? error : got + error, want);
    }
    ::close(server);
    EXPECT_EQ(open(), before);  // each attempt's socket closed
}
#endif

}  // namespace
}  // namespace skarvel::indi
