#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/automation_state.h"
#include "web/history.h"

namespace skarvel {

class DesktopServices;

/// One message, as every kind of target tells it.
struct NotifyMessage {
    NotifyEvent event = unsafeEvent;
    /// "unsafe", "safe", "trouble", "recovered", "summary" or "test", for the webhook.
    std::string name;
    /// Plain ASCII: it travels in headers and a mail's subject.
    std::string title;
    std::string text;
    bool urgent = false;
    std::chrono::sys_seconds time{};
    bool safe = false;
    std::string reason, state;
    std::optional<float> cover, sky, ambient;
    std::optional<Night> night;
};

/// What the transport does for one message.
struct NotifyRequest {
    std::string url;
    std::vector<std::string> headers;
    std::string body;
    bool get = false;
    /// SMTP: the envelope and the login; the body is the whole mail.
    bool mail = false;
    std::string from, to, user, password;
    /// TLS or nothing: credentials never travel in the clear.
    bool requireTls = false;
};

/// The transport's outcome: an HTTP status (or SMTP's last reply code), or why there is none.
struct NotifyAnswer {
    long status = 0;
    std::string error;
    /// The start of the server's answer, for the report.
    std::string body;

    bool delivered(bool mail) const { return error.empty() && (mail || status / 100 == 2); }
    /// A server refusing the message itself would refuse it again.
    bool worthRetrying() const {
        return !error.empty() || status >= 500 || status == 429 || status == 408;
    }
};

/// The request for `message` to `target`; `messageId` is the mail's Message-ID.
NotifyRequest buildRequest(const NotifyTarget& target, const NotifyMessage& message,
                           std::string_view messageId);

/// Sends requests off the cycle; answers come back later through `done`, on the same thread.
class NotifySender {
  public:
    using Done = std::function<void(const NotifyAnswer&)>;
    virtual ~NotifySender() = default;
    virtual void send(const NotifyRequest& request, Done done) = 0;
};

/// What is sent, when and to whom: the verdict's changes folded within the quiet period, the
/// monitor's own trouble once per outage and once when it ends, the night's summary at its
/// local time, the heartbeat while readings come; failed targets retried with back-off for an
/// hour, reported once when they fail and once when they recover.
class Notifier {
  public:
    /// The night whose evening is the given day, from the log.
    using NightSource = std::function<std::optional<Night>(std::chrono::local_days)>;
    static constexpr std::chrono::seconds firstBackOff{30}, longestBackOff{15 * 60};
    static constexpr std::chrono::hours giveUpAfter{1};
    static constexpr std::size_t maxQueued = 16;

    Notifier(const AutomationSettings& settings, NotifySender& sender, DesktopServices& services,
             NightSource nights);

    /// After every cycle: what is due is sent.
    void cycle(const AutomationState& state, std::chrono::sys_seconds utc,
               std::chrono::local_seconds local);

    /// One test message to every target, and the heartbeat; `each` is told every outcome:
    /// the target's name, "delivered" or why not, and whether it was.
    void test(std::chrono::sys_seconds utc,
              std::function<void(const std::string&, const std::string&, bool)> each);

    /// Messages waiting or under way.
    std::size_t pending() const;

    /// `text` with every secret of the settings blanked out.
    std::string redacted(std::string text) const;

  private:
    struct Queued {
        std::uint64_t id;
        NotifyMessage message;
    };
    struct Target {
        NotifyTarget settings;
        std::deque<Queued> queue;
        std::optional<std::uint64_t> inFlight;
        std::chrono::seconds backOff{0};
        std::chrono::sys_seconds nextTry{};
        bool failing = false;
    };

    void verdictRules(const AutomationState& state, std::chrono::sys_seconds utc);
    void troubleRules(const AutomationState& state, std::chrono::sys_seconds utc);
    void summaryRule(std::chrono::local_seconds local, std::chrono::sys_seconds utc);
    void heartbeat(const AutomationState& state, std::chrono::sys_seconds utc);
    void post(NotifyMessage message);
    void pump(Target& target);
    void answered(Target& target, std::uint64_t id, const NotifyAnswer& answer);
    void report(const std::string& about, const std::string& text);
    /// The server's answer or the error, in one line.
    std::string why(const NotifyAnswer& answer) const;

    NotifySettings settings_;
    int freshSeconds_;
    NotifySender& sender_;
    DesktopServices& services_;
    NightSource nights_;
    std::vector<Target> targets_;
    std::vector<std::string> secrets_;
    std::uint64_t nextId_ = 1;
    std::chrono::sys_seconds now_{};
    AutomationState last_;

    /// The monitor starts unsafe, and says so in every file: unsafe at start is no news.
    bool announced_ = false;
    std::optional<bool> previous_;
    std::optional<std::chrono::sys_seconds> lastVerdictSent_;
    int changes_ = 0;
    std::optional<std::chrono::sys_seconds> noReadingSince_;
    bool readingTrouble_ = false, fileTrouble_ = false;
    std::optional<std::chrono::local_seconds> nextSummary_;
    std::chrono::sys_seconds nextBeat_{};
    bool beating_ = false, beatFailing_ = false;
};

}  // namespace skarvel
