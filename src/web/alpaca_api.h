#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/automation_state.h"
#include "automation/metrics.h"

namespace skarvel {

struct AlpacaRequest {
    std::string_view method;
    std::string_view path;   ///< still percent-encoded
    std::string_view query;  ///< after '?', without it
    std::string_view body;   ///< application/x-www-form-urlencoded
};

struct AlpacaReply {
    int status = 200;
    std::string contentType;
    std::string body;
    /// When not empty the reply is this file of the web folder, one of a fixed few names; the
    /// server reads it and sends it as `contentType` (404 when it cannot be read).
    std::string file;
    std::string_view cacheControl = "no-store";
};

/// The Alpaca devices, the management API, the setup pages, the state documents and the routes
/// of the status page: one request in, one reply out, from memory. Keeps the server transaction
/// counter and which clients are connected.
class AlpacaApi {
  public:
    /// Clients remembered as connected, per device.
    static constexpr std::size_t kMaxClients = 64;

    /// `settingsFile` is automation.ini in the program folder, shown on the setup pages; the
    /// day files are read beside it. `health` is asked
    /// for the figures of /metrics that the state does not hold.
    AlpacaApi(AutomationSettings settings, std::string version, std::string settingsFile,
              std::function<MonitorHealth()> health);

    /// `utc` is now. Ages are counted in UTC, as the verdict counts them: a local clock that
    /// changes for the summer makes no reading an hour old.
    AlpacaReply handle(const AlpacaRequest& request, const AutomationState& state,
                       std::chrono::sys_seconds utc);

    /// The state document of /state.json and /events, stamped with the verdict's time.
    std::string stateDocument(const AutomationState& state) const;

    /// The UniqueID of device type `type` (lower case) number 0: stable, distinct per device,
    /// derived from the one uniqueId of the installation.
    std::string notifyTargets() const;
    std::string deviceUniqueId(std::string_view type) const;

  private:
    struct Call;
    /// One request and what it is answered from.
    struct Context {
        const AlpacaRequest& request;
        const AutomationState& state;
        std::chrono::sys_seconds utc;
    };
    using Serve = AlpacaReply (AlpacaApi::*)(const Context&, std::string_view arg);
    /// A row of the route table.
    struct Route {
        std::string_view path;
        bool prefix;  ///< every path that starts with `path`
        /// The plain-text 405 to verbs other than GET and HEAD; empty: `serve` takes every verb.
        std::string_view refusal;
        Serve serve;
        std::string_view arg;
    };
    AlpacaReply device(const Context& c, std::string_view);
    AlpacaReply management(const Context& c, std::string_view);
    AlpacaReply safetyJson(const Context& c, std::string_view);
    AlpacaReply stateJson(const Context& c, std::string_view);
    AlpacaReply metrics(const Context& c, std::string_view);
    AlpacaReply setup(const Context& c, std::string_view);
    AlpacaReply webFile(const Context& c, std::string_view file);
    AlpacaReply history(const Context& c, std::string_view nights);
    AlpacaReply asset(const Context& c, std::string_view name);
    AlpacaReply skyModel(const Context& c, std::string_view);
    AlpacaReply setupPage(std::string_view device, const AutomationState& state) const;

    AutomationSettings settings_;
    std::string version_;
    std::string settingsFile_;
    /// The program folder, where automation.ini and the day files lie.
    std::string logFolder_;
    /// The envelope of the log the model was learned from, as JSON, and when it was learned.
    std::string envelope_;
    LocalTime envelopeOf_{};
    std::function<MonitorHealth()> health_;
    std::uint32_t serverTransactionId_ = 0;
    /// ClientIDs that connected and have not disconnected, per device, the least recently heard
    /// from first: each client is connected or not on its own, and one that never says goodbye
    /// is forgotten once kMaxClients others came after it.
    std::vector<std::uint32_t> connected_[2];
};

}  // namespace skarvel
