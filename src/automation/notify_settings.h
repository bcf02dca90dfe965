#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace skarvel {

enum class NotifyKind { ntfy, pushover, gotify, webhook, mail };

/// What a target is sent; a target takes a set of them.
enum NotifyEvent : unsigned { unsafeEvent = 1, safeEvent = 2, troubleEvent = 4, summaryEvent = 8 };

/// One notify.<name>= line of automation.ini with its options.
struct NotifyTarget {
    std::string name;
    NotifyKind kind = NotifyKind::ntfy;
    /// The topic URL, user key, server URL, webhook URL or mail address.
    std::string address;
    unsigned events = unsafeEvent | safeEvent | troubleEvent;
    std::string token, user, password, from, smtp;
    /// Pushover's API, replaceable by a proxy.
    std::string url = "https://api.pushover.net/1/messages.json";
    /// Pushover's priority for unsafe: 1, or 2 for an emergency that repeats until seen.
    int priority = 1;

    bool operator==(const NotifyTarget&) const = default;
};

struct NotifySettings {
    std::vector<NotifyTarget> targets;
    /// Extra certificate authorities, for self-hosted servers.
    std::string caFile;
    int quietMinutes = 15;
    int troubleMinutes = 5;
    /// Local minutes after midnight.
    int summaryMinute = 8 * 60;
    std::string heartbeatUrl;
    int heartbeatMinutes = 5;

    bool operator==(const NotifySettings&) const = default;
    /// caFile, a relative one taken from `folder` (ending with the separator), where
    /// automation.ini is.
    std::string caFileIn(const std::string& folder) const;
    /// Tokens, passwords and the heartbeat's own address, to be kept out of every text.
    std::vector<std::string> secrets() const;
};

/// Whether `key` (as written, any case) is one of the notification settings.
bool isNotifyKey(std::string_view key);

/// The notification settings from automation.ini's key=value pairs of isNotifyKey() keys, in
/// file order. A bad line adds a problem naming its key: a shared setting keeps its default, a
/// target is left out.
NotifySettings readNotifySettings(const std::vector<std::pair<std::string, std::string>>& pairs,
                                  std::vector<std::string>& problems);

const char* kindName(NotifyKind kind);

}  // namespace skarvel
