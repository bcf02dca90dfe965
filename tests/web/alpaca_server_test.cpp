// The server's connection policy and the request handling on fake sockets: bytes in, replies out.
#include <gmock/gmock.h>

#include <map>

#include "fakes/fake_desktop_services.h"
#include "fakes/temp_dir.h"
#include "skarvel_version.h"
#include "store/readings_log.h"
#include "store/value_text.h"
#include "web/alpaca_server.h"

namespace skarvel {
namespace {

/// A server on sockets faked here, with connection 1 open since 0 ms.
struct Server : ServerSockets {
    explicit Server(AutomationSettings s = {}) : settings(std::move(s)) { server.accepted(1, 0); }
    std::string read(Id id, std::size_t max) override {
        std::string got = in[id].substr(0, max);
        in[id].erase(0, got.size());
        return got;
    }
    void write(Id id, std::string_view bytes) override { out[id] += bytes; }
    std::size_t unsent(Id) const override { return backlog; }
    void close(Id id) override { ended[id] = "closed"; }
    void abort(Id id) override { ended[id] = "aborted"; }

    /// The replies to `bytes` on `id`: each one's status, its ErrorNumber after a '/', "=true"
    /// for a true Value, and "close" where it says so; then how the connection ended.
    std::string send(const std::string& bytes, Id id = 1, std::int64_t nowMs = 0) {
        in[id] += bytes;
        out[id].clear();
        server.readable(id, nowMs);
        std::string got, &o = out[id];
        for (std::size_t at = 0; at < o.size();) {
            const std::size_t body = o.find("\r\n\r\n", at) + 4;
            const std::size_t end = body + std::stoul(o.substr(o.find("Length: ", at) + 8));
            const std::size_t error = o.find("ErrorNumber\":", body);
            got += (got.empty() ? "" : " ") + o.substr(at + 9, 3);
            if (error < end) got += "/" + o.substr(error + 13, o.find(',', error) - error - 13);
            if (o.compare(body, 13, "{\"Value\":true") == 0) got += "=true";
            if (o.substr(at, body - at).find("Connection: close") != std::string::npos)
                got += " close";
            at = end;
        }
        return got + (ended.contains(id) ? " | " + ended[id] : "");
    }

    std::map<Id, std::string> in, out, ended;
    std::size_t backlog = 0;
    AutomationSettings settings;
    AutomationState state;
    testing::FakeDesktopServices services;
    testing::TempDir web;
    std::string folder = web.folder();
    std::string version = SKARVEL_VERSION;
    AlpacaServer server{
        *this,  settings, state, services, [this] { return folder; }, web.file("<a&b>\".ini"),
        version};
};

std::string get(const std::string& target, const std::string& headers = "") {
    return "GET " + target + " HTTP/1.1\r\n" + headers + "\r\n";
}
std::string put(const std::string& target, const std::string& body) {
    return "PUT " + target + " HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}
const std::string sm = "/api/v1/safetymonitor/0/", oc = "/api/v1/observingconditions/0/";
const std::string versions = get("/management/apiversions");

TEST(AlpacaServer, LimitsAtTheirBoundsKeepAliveAndPercentEncoding) {
    const std::string pad(AlpacaServer::kMaxRequestBytes, 'a');
    // The header counts up to the empty line: the request line (38 bytes here) and the fields.
    const auto header = [&](std::size_t size) {
        return versions.substr(0, 38) + "X: " + pad.substr(0, size - 43) + "\r\n\r\n";
    };
    const std::string body = "ClientID=1&" + pad.substr(0, 16384 - 11);
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {header(8192), "200"},
        {header(8192 + 1), "431 close | closed"},
        {"GET / HTTP/1.1\r\nX: " + pad.substr(0, 8192 - 19), ""},  // not whole yet
        {"GET / HTTP/1.1\r\nX: " + pad.substr(0, 8192 - 18), "431 close | closed"},
        {put(sm + "connect", body), "200/0"},
        {put(sm + "connect", body + "a"), "413 close | closed"},
        {"PUT / HTTP/1.1\r\nContent-Length: 999999999\r\n\r\n", "413 close | closed"},
        {"PUT / HTTP/1.1\r\nContent-Length: 0000000001\r\n\r\nx", "400 close | closed"},
        {"PUT / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nxx", "400 close | closed"},
        {"PUT / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", "501 close | closed"},
        {get("/", "No colon\r\n"), "400 close | closed"},
        {std::string(8192, '\n') + versions, "200"},
        {std::string(8192 + 1, '\n') + versions, "400 close | closed"},
        {std::string(8192, '\n') + put(sm + "connect", body).substr(0, AlpacaServer::kMaxRequestBytes - 8192),
         "413 close | closed"},
        // HTTP/1.0 closes unless asked to keep alive, HTTP/1.1 only when asked to close.
        {"HEAD /management/apiversions HTTP/1.0\r\n\r\n", "200 close | closed"},
        {"GET /management/apiversions HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", "200"},
        {get("/management/apiversions", "connection:close \t \r\n"), "200 close | closed"},
        {get("/management/apiversions", "Conne: close\r\n"), "200"},
        // Lines may end in LF alone.
        {"PUT " + sm + "connected HTTP/1.1\nContent-Length: 14\n\nConnected=true" +
             "GET /management/apiversions HTTP/1.1\nX: 1\n\n", "200/0 200"},
        // Upper and lower case hex digits; a '%' takes two.
        {put(sm + "connect", "") + put(sm + "action", "Action=SafetyEve%6ets&Parameters=%0a%5F%5A%5f") +
             put(sm + "action", "Action=SafetyEve%6Ets&Parameters=") +
             put(sm + "action", "Action=Safety+Events&Parameters="), "200/0 200/0 200/0 200/1036"},
        // Names in full: Client is not ClientID.
        {put(sm + "connect", "") + get(sm + "issafe?Client=9"), "200/0 200/0"},
        {put(oc + "connect", "") + put(oc + "averageperiod", "AveragePeriod=0x") +
             put(sm + "connected", "Connected=True&ClientID=5") + get(sm + "issafe?ClientID=5"), "200/0 400 200/0 200/0"},
        {get(sm + "issafe?ClientID=%30%39"), "200/1031"},
        {get(sm + "issafe?ClientID=x") + get(sm + "issafe?ClientID=1%3") +
             get(sm + "issafe?ClientID=1&X=%3g") + get(sm + "issafe?X=%g3&ClientID=1") + get(sm + "issafe?ClientID=1x"),
         "400 400 400 400 400"},
        {"ZAP " + sm + "issafe HTTP/1.1\r\n\r\n", "405"},
        {get("/setup/v1/camera/0/setup"), "403"},
        {get("/setups") + get("/management/apiversions?ClientID=-1") +
             get("/management/apiversions?%g") + get("/management/v9/x") + get(sm + "issafe/x") +
             get(oc + "issafe") + get("/assets/none.js") + get("/assets/dashboard.js"), "404 400 400 400 400 400 404 200"},
        {put(sm + "commandbool", "Raw=true") + put(sm + "commandblind", "Command=x") +
             put(sm + "commandstring", "Command=x&Raw=2"), "400 400 400"},
        {get("/history.json?to=2026-12-07&from=2026-12-07") +
             get("/history.json?from=2026-12-08&to=2026-12-07") + get("/nights.json"), "200 400 200"},
    };
    // Each status with its reason phrase.
    const std::map<std::string, std::string> phrases = {
        {"200", "OK"}, {"400", "Bad Request"}, {"403", "Forbidden"}, {"404", "Not Found"},
        {"405", "Method Not Allowed"}, {"413", "Content Too Large"}, {"501", "Not Implemented"},
        {"431", "Request Header Fields Too Large"}};
    // clang-format on
    for (const auto& [bytes, want] : rows) {
        Server s;
        EXPECT_EQ(s.send(bytes), want) << bytes.substr(0, 60);
        const std::string status = want.substr(0, 3);
        EXPECT_TRUE(status.empty() ||
                    s.out[1].starts_with("HTTP/1.1 " + status + " " + phrases.at(status) + "\r\n"));
    }
    // Refused: one space, a method in lower case, another version, a target that is no path or
    // holds a control character, a folded or a one-word header line, a signed length.
    for (const char* bad : {"GET /x", "get /x HTTP/1.1", "GET / HTTP/2.0", "GET x HTTP/1.1",
                            "GET /a\tb HTTP/1.1", "GET / HTTP/1.1\r\n X: 1",
                            "GET / HTTP/1.1\r\nB\n", "PUT / HTTP/1.1\r\nContent-Length: +1"})
        EXPECT_EQ(Server().send(bad + std::string("\r\n\r\n")), "400 close | closed") << bad;
    // A device of another kind is named as such; the setup page escapes the file's name and shows
    // the UniqueID, which no version may change (clients keep their settings under it); a
    // request without a transaction number is answered with 0; the events of a verdict are an
    // array, each with its time in UTC.
    Server s;
    s.state.verdict.events = {
        {"a", "A", "T", "R", "D", std::chrono::sys_days{} + std::chrono::hours(36)},
        {"b", "", "", "", ""}};
    // clang-format off
    s.state.haveReading = true, s.state.sky = -18.25f, s.state.ambient = 7.5f, s.state.cloudCover = 12;
    s.send(put(sm + "connect", "") + put(sm + "action", "Action=SafetyEvents&Parameters=") + get("/api/v1/telescope/0/connected") +
           get("/api/v1/bogus/0/connected") + get("/setup") + versions + get("/api/v2/safetymonitor/0/issafe") +
           put(sm + "action", "Action=%22%5C%0A%0D%09%01&Parameters=") + get(sm + "devicestate") +
           get("/setup/v1/observingconditions/0/setup") + get("/setup/v1/safetymonitor/0/setup") + get("/management/v1/description") +
           get("/management/v1/x") + get("/api/v1/safetymonitor/1/issafe") + put(oc + "connect", "") + get(oc + "devicestate") +
           get(oc + "sensordescription?SensorName=SkyTemperature") + get(oc + "temperature") + get("/"));
    for (const char* part :
         {"No telescope device here", "Unknown device type: bogus", "&lt;a&amp;b&gt;&quot;.ini</code>",
          "\"ClientTransactionID\":0,", "Unsupported Alpaca API version: v2", "[{\"Name\":\"IsSafe\",\"Value\":false},",
          "<h2>ObservingConditions 0: ", R"(:\"1970-01-02T12:00:00Z\"},{\"Source)",
          "<li><a href=\"/setup/v1/safetymonitor/0/setup\">SafetyMonitor 0</a>: Skarvel safety monitor</li>\n"
          "<li><a href=\"/setup/v1/observingconditions/0/setup\">ObservingConditions 0</a>: Skarvel sky "
          "temperature</li>\n</ul>\n<p>Now: unsafe (", "<h2>SafetyMonitor 0: Skarvel safety monitor</h2>",
          "\"ManufacturerVersion\":\"" SKARVEL_VERSION, "Unknown management request: v1/x",
          "No safetymonitor number 1 here; the only one is 0",
          R"([{"Name":"SkyTemperature","Value":-18.25},{"Name":"Temperature","Value":7.5},)"
          R"({"Name":"CloudCover","Value":12.0},{"Name":"TimeStamp")", "\"Value\":\"Infrared thermometer", "{\"Value\":7.5,\"Client",
          "UniqueID 5aaa92b0-d1bb-5c88-aee5-5413feaffdf0<", "<p>Not learned: ", R"("No action \"\"\\\n\r\t\u0001\" here")",
          "HTTP/1.1 200 OK\r\nContent-Type: application/json; charset=utf-8\r\nContent-Length: ",
          "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nConnection: keep-alive\r\n\r\n"
          "{\"Value\":[1],\"ClientTransactionID\":0,", "\r\nCache-Control: no-cache\r\n"})
        EXPECT_THAT(s.out[1], ::testing::HasSubstr(part));
    // clang-format on
}

// Each client is connected or not on its own, whichever leaves first; one that never leaves is
// forgotten once 64 others came after it, unless it keeps asking.
TEST(AlpacaApi, ConnectedIsTheAskingClientsAndTheCoverAnswersAlike) {
    const auto as = [](int client, const std::string& m, const std::string& d = sm) {
        const std::string id = "ClientID=" + std::to_string(client);
        return m.ends_with("connect") ? put(d + m, id) : get(d + m + "?" + id);
    };
    const auto connects = [&](int c, int to, std::string bytes = {}) {
        while (c <= to) bytes += as(c++, "connect");
        return bytes;
    };
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        // Without a ClientID a request is client 0's; the other device keeps its own clients.
        {put(sm + "connect", "") + get(sm + "connected") + as(0, "connected") +
             as(0, "connected", oc) + put(sm + "commandbool", "Command=x&Raw=true") +
             put(oc + "commandbool", "Command=x&Raw=true") + put(oc + "commandblind", "Command=x&Raw=true") +
             put(oc + "commandstring", "Command=x&Raw=true"),
         "200/0 200/0=true 200/0=true 200/0 200/1024 200/1024 200/1024 200/1024"},
        // Two clients leave in both orders; what needs a connection judges the asking one.
        {connects(3, 4) + as(3, "disconnect") + as(3, "issafe") + as(4, "issafe") +
             as(3, "connect") + put(sm + "connected", "Connected=False&ClientID=4") + as(4, "issafe") + as(3, "issafe"),
         "200/0 200/0 200/0 200/1031 200/0 200/0 200/0 200/1031 200/0"},
        {connects(1, 65) + as(1, "issafe") + as(2, "issafe") + as(65, "issafe"), "200/0 200/1031 200/0 200/0"},
        {connects(1, 64) + as(1, "issafe") + connects(65, 65) + as(1, "issafe") + as(2, "issafe"),
         "200/0 200/0 200/0 200/1031"},
    };
    // clang-format on
    for (const auto& [bytes, want] : rows)
        EXPECT_THAT(Server().send(bytes), ::testing::EndsWith(want)) << want;
    // The cover's value, description and age answer alike: NotImplemented while the clear sky
    // is not learned (saying why) and with skyModel=off, all three once it is learned; with a sky
    // too close to the air the value and the age are refused, and only they.
    const std::optional<float> some = 12, none;
    for (const auto& [learn, learned, cover, want, says] :
         {std::tuple(false, true, some, "200/0 200/1024 200/1024 200/1024 200/0", "no such sensor"),
          std::tuple(true, false, some, "200/0 200/1024 200/1024 200/1024 200/0",
                     "the log holds 3"),
          std::tuple(true, true, some, "200/0 200/0 200/0 200/0 200/0", "Value\":12.0,"),
          std::tuple(true, true, none, "200/0 200/1035 200/0 200/1035 200/0",
                     "too close to tell")}) {
        AutomationSettings settings;
        settings.learnSkyModel = learn;
        Server s(settings);
        s.state.skyModel = {.learned = learned, .why = "the log holds 3 of 2000 lines"};
        s.state.haveReading = true, s.state.cloudCover = cover;
        EXPECT_EQ(s.send(put(oc + "connect", "") + get(oc + "cloudcover") +
                         get(oc + "sensordescription?SensorName=CloudCover") +
                         get(oc + "timesincelastupdate?sensorname=cloudcover") +
                         get(oc + "skytemperature")),
                  want);
        EXPECT_THAT(s.out[1], ::testing::HasSubstr(says));
    }
}

// The nights end with the one under way, whose evening is the date 12 hours back, and take its
// morning; the clear sky's envelope is read from the log once per learning.
TEST(AlpacaApi, TheNightsAndTheEnvelopeFromTheLog) {
    Server s;
    const LocalTime morning = makeTime(2026, 12, 10, 6);
    const auto log = [&](int n, std::string lines = {}) {
        while (n--) lines += dateTimeText(morning + std::chrono::minutes(n)) + ",5,-25\r\n";
        testing::TempDir::write(s.web / dayFileName(morning), lines);
    };
    const auto body = [&](const std::string& target) {
        EXPECT_EQ(s.send(get(target)), "200");
        return s.out[1].substr(s.out[1].find("\r\n\r\n") + 4);
    };
    log(1);
    for (const auto& [at, want] :
         {std::pair(makeTime(2026, 12, 10, 11, 59, 59), "2026-12-09\",\"lines\":1 2026-11-26"),
          std::pair(makeTime(2026, 12, 10, 12), "2026-12-10\",\"lines\":0 2026-11-27")}) {
        s.state.updatedAt = at;
        const std::string n = body("/nights.json");  // newest first
        EXPECT_EQ(n.substr(13, 21) + " " + n.substr(n.rfind("evening") + 10, 10), want);
    }
    s.state.skyModel = {.learned = true, .learnedAt = morning};
    const std::string once = (log(kMinBinLines), body("/skymodel.json"));
    EXPECT_EQ((log(kMinBinLines + 1), body("/skymodel.json")), once);  // until it learns again
    s.state.skyModel.learnedAt += std::chrono::minutes(1);
    EXPECT_THAT(body("/skymodel.json"), ::testing::EndsWith("\"envelope\":[[5.0,-25.0,17]]}"));
}

// A stream opens with the state, gets it after every cycle and a comment when 15 s pass without
// one; it is never idle, reads nothing more, and ends when its reader stops taking events or
// when 32 others came after it.
TEST(AlpacaServer, EventsFollowEveryCycleWithinTheirLimits) {
    Server s;
    const auto open = [&](Server::Id id, std::int64_t ms) {
        s.server.accepted(id, ms - 20000);  // the stream begins when it is asked for
        s.in[id] = get("/events") + versions;
        s.server.readable(id, ms);
        return std::exchange(s.out[id], "");
    };
    s.state.verdict.reason = "PENDING";
    const std::string event =
        "data: {\"time\":\"1970-01-01T00:00:00Z\",\"safe\":false,"
        "\"reason\":\"PENDING\"}\n\n";
    EXPECT_THAT(open(1, 0),
                ::testing::AllOf(::testing::StartsWith("HTTP/1.1 200 OK\r\nContent-Type: "
                                                       "text/event-stream; charset=utf-8\r\n"),
                                 ::testing::EndsWith("\r\n\r\nretry: 5000\n\n" + event)));
    EXPECT_EQ(s.send(versions, 1, 0) + s.in[1], "");  // read and left unanswered
    s.server.publish();
    s.server.sweep(14999);
    EXPECT_EQ(std::exchange(s.out[1], ""), event);
    for (std::int64_t ms : {15000, 29999, 30000}) s.server.sweep(ms);
    EXPECT_EQ(s.out[1], ": keep-alive\n\n: keep-alive\n\n");
    for (Server::Id id = 2; id <= 32; ++id) open(id, 41000);
    EXPECT_TRUE(s.ended.empty());
    open(33, 42000);  // the 33rd: the oldest makes room
    EXPECT_EQ(s.ended, (std::map<Server::Id, std::string>{{1, "aborted"}}));
    s.backlog = AlpacaServer::kMaxStreamBacklog;
    s.server.publish();
    EXPECT_EQ(s.ended.size(), 1u);
    s.backlog = AlpacaServer::kMaxStreamBacklog + 1;
    s.server.publish();
    EXPECT_EQ(s.ended.size(), 33u);
}

// The limits as numbers: 64 connections, 10 s for a request, 20 s idle, 4 MiB of replies not
// taken, 16 MiB files.
TEST(AlpacaServer, DropsTheQuietestTheIdleAndTheSlowAndServesFilesUpToTheirLimit) {
    Server s;
    // All connections taken: a new one makes room by dropping the quietest.
    for (Server::Id id = 2; id <= 64; ++id) s.server.accepted(id, std::int64_t(id));
    s.server.accepted(1000, 2000);
    EXPECT_EQ(s.ended, (std::map<Server::Id, std::string>{{1, "aborted"}}));
    // A request must come whole within its time from its first byte, however active its client.
    s.send("GET / HTTP/1.1\r\n", 1000, 0);
    s.send("X: 1\r\n", 1000, 9000);
    s.server.sweep(10000);
    EXPECT_FALSE(s.ended.contains(1000));
    s.server.sweep(10001);
    EXPECT_EQ(s.ended[1000], "aborted");
    // Idle for exactly the limit is kept.
    s.send(versions, 64, 14000);
    s.server.sweep(34000);
    EXPECT_EQ(s.server.connections(), 1);
    s.server.accepted(7, 34001), s.server.gone(7), s.server.sweep(34001);
    EXPECT_EQ(s.server.connections(), 0);
    // A client that leaves its replies untaken is not read until it takes them.
    s.server.accepted(100, 0);
    s.backlog = 4 * 1024 * 1024;
    EXPECT_EQ(s.send(get("/year.bmp"), 100), "");
    s.backlog = 4 * 1024 * 1024 - 1;
    // The page's files up to their size limit, none before the web folder is known.
    testing::TempDir::write(s.web / "year.bmp", std::string(16 * 1024 * 1024, 'y'));
    testing::TempDir::write(s.web / "month.bmp", std::string(16 * 1024 * 1024 + 1, 'm'));
    EXPECT_EQ(s.send("", 100), "200");
    EXPECT_TRUE(s.out[100].ends_with("\r\n\r\n" + std::string(16 * 1024 * 1024, 'y')));
    EXPECT_EQ(s.send(get("/month.bmp"), 100), "404");
    std::string longer;  // served while their files are there
    for (const char* file : {"CloudStatus.html", "history.bmp", "month.bmp", "year.bmp"})
        testing::TempDir::write(s.web / file, file), longer += get("/" + std::string(file) + "x");
    EXPECT_EQ(s.send(longer + get("/month.bmp"), 100), "404 404 404 404 200");
    s.folder.clear();
    EXPECT_EQ(s.send(get("/year.bmp"), 100), "404");
    // After a refusal nothing more is read.
    EXPECT_EQ(s.send("x\r\n\r\n", 100), "400 close | closed");
    EXPECT_THAT(s.out[100], ::testing::EndsWith("\r\n\r\nMalformed request line\n"));
    EXPECT_EQ(s.send(versions, 100), " | closed");
    s.server.accepted(101, 0);  // nor after a reply that closes
    const std::string closing =
        s.send(get("/management/apiversions", "Connection: close\r\n"), 101);
    EXPECT_EQ(closing + s.send(versions, 101), "200 close | closed | closed");
    // A port that cannot be opened is said once, and so is its opening at last.
    ServerPort port(false, 11111);
    std::string said;
    for (bool opened : {false, false, true, true}) {
        said += port.tried(opened, "in use");
        said += port.open() ? "+|" : "|";
    }
    EXPECT_EQ(said,
              "The Alpaca server is off: port 11111 cannot be opened (in use); it is tried "
              "again every 30 s.||The Alpaca server is on again: port 11111 is open.+|+|");
}

}  // namespace
}  // namespace skarvel
