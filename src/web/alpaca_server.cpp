#include "web/alpaca_server.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "platform/desktop_services.h"

namespace skarvel {

AlpacaServer::AlpacaServer(ServerSockets& sockets, const AutomationSettings& settings,
                           const AutomationState& state, DesktopServices& services,
                           std::function<std::string()> webFolder, std::string settingsFile,
                           std::string version)
    : sockets_(sockets),
      state_(state),
      webFolder_(std::move(webFolder)),
      api_(settings, std::move(version), std::move(settingsFile), [&services] {
          MonitorHealth health = processHealth();
          health.messages = services.messageCount();
          return health;
      }) {}

void AlpacaServer::accepted(ServerSockets::Id id, std::int64_t nowMs) {
    if (int(connections_.size()) >= kMaxConnections) {
        // The quietest connection makes room, so idle ones never lock out a client that asks.
        auto oldest = connections_.begin();
        for (auto it = connections_.begin(); it != connections_.end(); ++it)
            if (it->second.lastActivity < oldest->second.lastActivity) oldest = it;
        drop(oldest->first);
    }
    nowMs_ = nowMs;
    connections_[id].lastActivity = nowMs;
}

void AlpacaServer::readable(ServerSockets::Id id, std::int64_t nowMs) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    Connection& c = it->second;
    nowMs_ = nowMs;
    if (c.closing || c.streamSince >= 0) {
        // What comes after a refusal, or on a stream, is not read; a stream's reader that
        // stopped taking its events is dropped at the next one.
        sockets_.read(id, kMaxRequestBytes);
        return;
    }
    c.lastActivity = nowMs;
    while (sockets_.unsent(id) < kMaxBacklog) {
        c.in += sockets_.read(id, kMaxRequestBytes - c.in.size());
        if (c.in.empty()) return;
        if (c.requestSince < 0) c.requestSince = nowMs;
        const HttpParse p = parseHttpRequest(c.in);
        if (p.outcome == HttpParse::Outcome::NeedMore && c.in.size() < kMaxRequestBytes) return;
        if (p.outcome != HttpParse::Outcome::Ready) {
            const int status = p.outcome == HttpParse::Outcome::Bad ? p.status : 413;
            const std::string text = (p.reason.empty() ? "Request too large" : p.reason) + "\n";
            sockets_.write(id, httpResponse(status, "text/plain; charset=utf-8", text, false));
            c.closing = true;
            c.in.clear();
            sockets_.close(id);
            return;
        }
        c.in.erase(0, p.used);
        c.requestSince = c.in.empty() ? -1 : nowMs;
        if (p.request.path == "/events" && p.request.method == "GET") {
            startStream(id, c);
            return;
        }
        sockets_.write(id, reply(p.request));
        if (!p.request.keepAlive) {
            c.closing = true;
            sockets_.close(id);
            return;
        }
    }
}

std::string AlpacaServer::reply(const HttpRequest& request) {
    const auto utc = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    AlpacaReply r =
        api_.handle({request.method, request.path, request.query, request.body}, state_, utc);
    if (!r.file.empty()) {
        // The name is one of the api's fixed few; nothing of the request is in it.
        const std::string folder = webFolder_();
        std::error_code error;
        const std::string path = folder + r.file;
        const auto size = std::filesystem::file_size(path, error);
        std::ifstream file;
        // No web folder yet (before start-up has read config.ini) is no page, not the
        // working directory's.
        if (!folder.empty() && !error && size <= kMaxFileBytes) file.open(path, std::ios::binary);
        if (file.is_open()) {
            r.body.assign(std::istreambuf_iterator<char>(file), {});
        } else {
            r = {404, "text/plain; charset=utf-8", r.file + " is not there (yet)\n", {}};
        }
    }
    return httpResponse(r.status, r.contentType, r.body, request.keepAlive,
                        request.method == "HEAD", r.cacheControl);
}

void AlpacaServer::startStream(ServerSockets::Id id, Connection& c) {
    std::vector<std::pair<std::int64_t, ServerSockets::Id>> streams;
    for (const auto& [other, o] : connections_)
        if (o.streamSince >= 0) streams.emplace_back(o.streamSince, other);
    if (int(streams.size()) >= kMaxStreams)
        drop(std::min_element(streams.begin(), streams.end())->second);
    c.streamSince = nowMs_;
    c.in.clear();
    c.requestSince = -1;
    // No length: the stream lasts until either side ends it. The browser reconnects by itself
    // after `retry` ms.
    sockets_.write(id,
                   "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream; charset=utf-8\r\n"
                   "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
                   "Connection: keep-alive\r\n\r\nretry: 5000\n\n");
    sendEvent(id, c, "data: " + api_.stateDocument(state_) + "\n\n");
}

void AlpacaServer::sendEvent(ServerSockets::Id id, Connection& c, const std::string& event) {
    if (sockets_.unsent(id) > kMaxStreamBacklog) return drop(id);
    sockets_.write(id, event);
    c.lastEvent = nowMs_;
}

void AlpacaServer::publish() {
    const std::string event = "data: " + api_.stateDocument(state_) + "\n\n";
    std::vector<ServerSockets::Id> streams;
    for (const auto& [id, c] : connections_)
        if (c.streamSince >= 0) streams.push_back(id);
    for (ServerSockets::Id id : streams) sendEvent(id, connections_.at(id), event);
}

void AlpacaServer::gone(ServerSockets::Id id) {
    connections_.erase(id);
}

void AlpacaServer::drop(ServerSockets::Id id) {
    if (connections_.erase(id) == 0) return;
    sockets_.abort(id);
}

void AlpacaServer::sweep(std::int64_t nowMs) {
    nowMs_ = nowMs;
    std::vector<ServerSockets::Id> idle, quiet;
    for (const auto& [id, c] : connections_) {
        if (c.streamSince >= 0) {
            if (nowMs - c.lastEvent >= kKeepAliveMs) quiet.push_back(id);
        } else if (nowMs - c.lastActivity > kIdleMs ||
                   (c.requestSince >= 0 && nowMs - c.requestSince > kRequestMs)) {
            idle.push_back(id);
        }
    }
    for (ServerSockets::Id id : idle) drop(id);
    for (ServerSockets::Id id : quiet) sendEvent(id, connections_.at(id), ": keep-alive\n\n");
}

std::optional<std::string> AlpacaServer::discoveryReply(std::string_view datagram, int alpacaPort) {
    if (!datagram.starts_with("alpacadiscovery1")) return std::nullopt;
    return "{\"AlpacaPort\":" + std::to_string(alpacaPort) + "}";
}

std::string ServerPort::tried(bool opened, const std::string& reason) {
    const std::string what = std::string(discovery_ ? "Alpaca discovery" : "The Alpaca server");
    const std::string port = std::to_string(port_);
    open_ = opened;
    if (opened) {
        if (!std::exchange(refused_, false)) return {};
        return what + " is on again: port " + port + " is open.";
    }
    if (std::exchange(refused_, true)) return {};
    return what + " is off: port " + port + " cannot be opened (" + reason +
           "); it is tried again every " + std::to_string(kRetryMs / 1000) + " s.";
}

}  // namespace skarvel
