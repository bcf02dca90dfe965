#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace skarvel {

class AlpacaServer;

/// The platform's TCP connections as the server uses them. A connection is named by a number
/// that is never used again, so a late event for a closed one cannot reach a new one.
class ServerSockets {
  public:
    using Id = std::uint64_t;
    virtual ~ServerSockets() = default;

    /// Up to `max` of the bytes that have arrived on `id`; empty when there are none.
    virtual std::string read(Id id, std::size_t max) = 0;
    /// Queues `bytes` and hands the system what it takes at once: a client that half-closes
    /// after its request may have its connection ended as soon as that end is read.
    virtual void write(Id id, std::string_view bytes) = 0;
    /// Bytes written and not yet taken by the system.
    virtual std::size_t unsent(Id id) const = 0;
    /// Ends the connection once what was written has gone.
    virtual void close(Id id) = 0;
    /// Ends the connection at once; no event for `id` comes afterwards.
    virtual void abort(Id id) = 0;
};

/// The same connections with the listening sockets that bring them: a desktop's whole side of the
/// server.
class ServerListener : public ServerSockets {
  public:
    /// Opens the settings' ports (alpacaPort 0: none) and reports their events to `server` from
    /// then on. A port that cannot be opened is tried again until it opens; the monitor goes on
    /// either way.
    virtual void start(AlpacaServer& server) = 0;
};

}  // namespace skarvel
