#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "web/alpaca_api.h"
#include "web/alpaca_http.h"
#include "web/server_sockets.h"

namespace skarvel {

class DesktopServices;

/// A port the server opens, the devices' or discovery's. One that cannot be opened (a monitor
/// still ending, another program for a while) is tried again every kRetryMs until it opens; the
/// failure is said once, and so is the recovery.
class ServerPort {
  public:
    static constexpr int kRetryMs = 30000;
    ServerPort(bool discovery, int port) : discovery_(discovery), port_(port) {}
    /// The outcome of one try, `reason` saying why it failed; what to report, empty for nothing.
    std::string tried(bool opened, const std::string& reason);
    bool open() const { return open_; }

  private:
    bool discovery_;
    int port_;
    bool open_ = false;
    bool refused_ = false;
};

/// The connection policy of the server, the same on every desktop: requests are parsed and
/// answered from memory (the page and its images from their fixed files); a client that sends
/// too much, too slowly or nothing at all is dropped, so none can hold up a cycle. The platform
/// reports its sockets' events and the time in milliseconds from any fixed start.
class AlpacaServer {
  public:
    static constexpr int kMaxConnections = 64;
    static constexpr std::int64_t kIdleMs = 20000;
    /// A request must arrive whole within this time of its first byte, however slowly it trickles.
    static constexpr std::int64_t kRequestMs = 10000;
    /// Enough for a request of the largest accepted size; no more is read ahead, so a flood
    /// waits in the kernel rather than in the monitor's memory.
    static constexpr std::size_t kMaxRequestBytes = kMaxHeaderBytes + kMaxBodyBytes + 4;
    /// Replies not yet taken by a client that keeps sending requests: no more are read until it
    /// takes them.
    static constexpr std::size_t kMaxBacklog = 4 * 1024 * 1024;
    static constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;
    /// How often the platform calls sweep().
    static constexpr int kSweepMs = 1000;
    /// Live streams (/events) at once: a new one makes room by ending the oldest.
    static constexpr int kMaxStreams = 32;
    /// A comment this long after the last event, so that proxies keep the stream.
    static constexpr std::int64_t kKeepAliveMs = 15000;
    /// Events a stream's reader has not taken: past this it has stopped reading and is dropped.
    static constexpr std::size_t kMaxStreamBacklog = 64 * 1024;

    /// `state` is read at every request. `webFolder` gives the folder of the status page (ending
    /// in the separator) when a request asks for it. `settingsFile` is shown on the setup pages.
    AlpacaServer(ServerSockets& sockets, const AutomationSettings& settings,
                 const AutomationState& state, DesktopServices& services,
                 std::function<std::string()> webFolder, std::string settingsFile,
                 std::string version);

    /// A new connection; the quietest one makes room when all are taken.
    void accepted(ServerSockets::Id id, std::int64_t nowMs);
    /// Bytes arrived on `id`, or the system took some of what was written.
    void readable(ServerSockets::Id id, std::int64_t nowMs);
    /// The connection ended by itself.
    void gone(ServerSockets::Id id);
    /// Drops the connections idle or too slow at `nowMs`.
    void sweep(std::int64_t nowMs);
    int connections() const { return int(connections_.size()); }
    /// Sends the state document to every live stream; called after every cycle.
    void publish();

    /// The answer to a discovery datagram, none to anything else.
    static std::optional<std::string> discoveryReply(std::string_view datagram, int alpacaPort);

  private:
    struct Connection {
        std::string in;
        std::int64_t lastActivity = 0;
        std::int64_t requestSince = -1;  ///< first byte of the incomplete request in `in`, -1: none
        bool closing = false;
        /// An /events stream since this time: no more requests are read from it.
        std::int64_t streamSince = -1;
        std::int64_t lastEvent = 0;
    };
    void drop(ServerSockets::Id id);
    void startStream(ServerSockets::Id id, Connection& c);
    void sendEvent(ServerSockets::Id id, Connection& c, const std::string& event);
    std::string reply(const HttpRequest& request);

    ServerSockets& sockets_;
    const AutomationState& state_;
    std::function<std::string()> webFolder_;
    AlpacaApi api_;
    std::unordered_map<ServerSockets::Id, Connection> connections_;
    std::int64_t nowMs_ = 0;
};

}  // namespace skarvel
