#include "automation/notify_settings.h"

#include "automation/automation_ini.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>

namespace skarvel {

namespace {

std::string lower(std::string_view s) {
    std::string l(s);
    for (char& c : l) c = char(std::tolower(static_cast<unsigned char>(c)));
    return l;
}

/// Nothing that could end a header or a command line early.
bool printable(std::string_view v) {
    return std::none_of(v.begin(), v.end(),
                        [](char c) { return (unsigned char)c < ' ' || c == 0x7f; });
}

bool isUrl(std::string_view v, std::initializer_list<std::string_view> schemes) {
    for (std::string_view scheme : schemes) {
        const std::string l = lower(v.substr(0, scheme.size()));
        if (l != scheme) continue;
        const std::string_view rest = v.substr(scheme.size());
        return !rest.empty() && rest.front() != '/' && rest.find(' ') == rest.npos &&
               printable(rest);
    }
    return false;
}

bool isWebUrl(std::string_view v) {
    return isUrl(v, {"https://", "http://"});
}

bool isMailAddress(std::string_view v) {
    const std::size_t at = v.find('@');
    return at != v.npos && at > 0 && at + 1 < v.size() && v.find('@', at + 1) == v.npos &&
           std::none_of(v.begin(), v.end(), [](char c) {
               return (unsigned char)c <= ' ' ||
                      std::string_view("<>,;\"()").find(c) != std::string_view::npos;
           });
}

bool isName(std::string_view v) {
    return !v.empty() && v.size() <= 32 && std::all_of(v.begin(), v.end(), [](char c) {
        return std::isalnum((unsigned char)c) || c == '-' || c == '_';
    });
}

constexpr std::array<std::pair<NotifyKind, const char*>, 5> kKinds = {{
    {NotifyKind::ntfy, "ntfy"},
    {NotifyKind::pushover, "pushover"},
    {NotifyKind::gotify, "gotify"},
    {NotifyKind::webhook, "webhook"},
    {NotifyKind::mail, "mail"},
}};

constexpr std::array<std::pair<NotifyEvent, const char*>, 4> kEvents = {{
    {unsafeEvent, "unsafe"},
    {safeEvent, "safe"},
    {troubleEvent, "trouble"},
    {summaryEvent, "summary"},
}};

bool parseEvents(std::string_view v, unsigned& out) {
    unsigned events = 0;
    for (std::size_t start = 0; start <= v.size();) {
        const std::size_t comma = std::min(v.find(',', start), v.size());
        std::string_view word = v.substr(start, comma - start);
        while (!word.empty() && word.front() == ' ') word.remove_prefix(1);
        while (!word.empty() && word.back() == ' ') word.remove_suffix(1);
        const auto e = std::find_if(kEvents.begin(), kEvents.end(),
                                    [&](const auto& k) { return lower(word) == k.second; });
        if (e == kEvents.end()) return false;
        events |= e->first;
        start = comma + 1;
    }
    out = events;
    return true;
}

/// Why the target cannot be used as it stands, or empty.
std::string missing(const NotifyTarget& t) {
    if ((t.kind == NotifyKind::pushover || t.kind == NotifyKind::gotify) && t.token.empty())
        return "token= is needed";
    if (t.kind == NotifyKind::mail && (t.smtp.empty() || t.from.empty()))
        return "smtp= and from= are needed";
    if (!t.password.empty() && t.user.empty()) return "password= needs user=";
    return {};
}

const char* const kShared[] = {"notifyCaFile", "notifyQuietMinutes", "troubleMinutes",
                               "summaryTime",  "heartbeatUrl",       "heartbeatMinutes"};

}  // namespace

const char* kindName(NotifyKind kind) {
    return kKinds[std::size_t(kind)].second;
}

std::string NotifySettings::caFileIn(const std::string& folder) const {
    const bool absolute = caFile.empty() || caFile.front() == '/' || caFile.front() == '\\' ||
                          (caFile.size() > 1 && caFile[1] == ':');
    return absolute ? caFile : folder + caFile;
}

std::vector<std::string> NotifySettings::secrets() const {
    std::vector<std::string> s;
    for (const NotifyTarget& t : targets) {
        for (const std::string* v : {&t.token, &t.password}) {
            if (!v->empty()) s.push_back(*v);
        }
        if (t.kind == NotifyKind::pushover) s.push_back(t.address);
        // A webhook's address is its secret.
        if (t.kind == NotifyKind::webhook) s.push_back(t.address);
    }
    if (!heartbeatUrl.empty()) s.push_back(heartbeatUrl);
    return s;
}

bool isNotifyKey(std::string_view key) {
    const std::string l = lower(key);
    if (l.starts_with("notify.")) return true;
    return std::any_of(std::begin(kShared), std::end(kShared),
                       [&](const char* k) { return lower(k) == l; });
}

NotifySettings readNotifySettings(const std::vector<std::pair<std::string, std::string>>& pairs,
                                  std::vector<std::string>& problems) {
    NotifySettings settings;
    std::map<std::string, NotifyTarget> targets;  // by lower-case name
    std::vector<std::string> order, bad;
    std::map<std::string, bool> seen;
    const auto problem = [&](const std::string& key, const std::string& why) {
        problems.push_back("automation.ini: " + key + (why.front() == '=' ? "" : " ") + why);
    };
    // The targets first: their options may come before them.
    for (const auto& [key, value] : pairs) {
        const std::string l = lower(key);
        if (!l.starts_with("notify.") || l.find('.', 7) != l.npos) continue;
        const std::string name = key.substr(7);
        if (!isName(name)) {
            problem(key, "is not notify.<name> with letters, digits, - and _ only; it is left out");
            continue;
        }
        if (targets.count(lower(name))) {
            problem(key, "is given twice; the first is used");
            continue;
        }
        const std::size_t colon = value.find(':');
        const std::string kind = lower(value.substr(0, colon));
        const auto k = std::find_if(kKinds.begin(), kKinds.end(),
                                    [&](const auto& e) { return kind == e.second; });
        NotifyTarget t;
        t.name = name;
        t.address = colon == value.npos ? std::string() : value.substr(colon + 1);
        bool good = colon != value.npos && k != kKinds.end();
        if (good) {
            t.kind = k->first;
            if (t.kind == NotifyKind::mail)
                good = isMailAddress(t.address);
            else if (t.kind == NotifyKind::pushover)
                good = !t.address.empty() &&
                       std::all_of(t.address.begin(), t.address.end(),
                                   [](char c) { return std::isalnum((unsigned char)c); });
            else
                good = isWebUrl(t.address);
        }
        if (!good) {
            problem(key,
                    "is not ntfy:<topic URL>, pushover:<user key>, gotify:<server URL>, "
                    "webhook:<URL> or mail:<address>; it is left out");
            bad.push_back(lower(name));
        }
        targets.emplace(lower(name), t);
        order.push_back(lower(name));
    }
    for (const auto& [key, value] : pairs) {
        const std::string l = lower(key);
        if (seen[l]) {
            if (!l.starts_with("notify.") || l.find('.', 7) != l.npos)
                problem(key, "is given twice; the first is used");
            continue;
        }
        seen[l] = true;
        int n = 0;
        if (l == "notifycafile") {
            settings.caFile = value;
        } else if (l == "notifyquietminutes") {
            if (!isWhole(value, 0, 1440, settings.quietMinutes))
                problem(key, "=" + value + " is not a whole number from 0 to 1440; 15 is used");
        } else if (l == "troubleminutes") {
            if (!isWhole(value, 1, 1440, settings.troubleMinutes))
                problem(key, "=" + value + " is not a whole number from 1 to 1440; 5 is used");
        } else if (l == "heartbeatminutes") {
            if (!isWhole(value, 1, 1440, settings.heartbeatMinutes))
                problem(key, "=" + value + " is not a whole number from 1 to 1440; 5 is used");
        } else if (l == "heartbeaturl") {
            if (value.empty() || isWebUrl(value))
                settings.heartbeatUrl = value;
            else
                problem(key, "is not empty (off) or an http:// or https:// address; it is off");
        } else if (l == "summarytime") {
            int h = 0, m = 0;
            if (value.size() == 5 && value[2] == ':' && isWhole(value.substr(0, 2), 0, 23, h) &&
                isWhole(value.substr(3), 0, 59, m))
                settings.summaryMinute = h * 60 + m;
            else
                problem(key, "=" + value + " is not a time such as 08:00; 08:00 is used");
        } else if (const std::size_t dot = l.find('.', 7); dot != l.npos) {
            const std::string name = l.substr(7, dot - 7), option = l.substr(dot + 1);
            const auto t = targets.find(name);
            if (t == targets.end()) {
                problem(key,
                        "belongs to no notify." + key.substr(7, dot - 7) + "= line; it is ignored");
                continue;
            }
            NotifyTarget& target = t->second;
            bool good = printable(value);
            if (option == "events")
                good = good && parseEvents(value, target.events);
            else if (option == "token")
                target.token = value;
            else if (option == "user")
                target.user = value;
            else if (option == "password")
                target.password = value;
            else if (option == "from")
                good = good && isMailAddress(value), target.from = value;
            else if (option == "smtp")
                good = good && isUrl(value, {"smtp://", "smtps://"}), target.smtp = value;
            else if (option == "url")
                good = good && isWebUrl(value), target.url = value;
            else if (option == "priority")
                good = isWhole(value, 1, 2, n), target.priority = n;
            else
                good = false;
            if (!good) {
                problem(key, option == "events"
                                 ? "is not a list of unsafe, safe, trouble and summary; the target "
                                   "is left out"
                                 : "is not a good value or option; the target is left out");
                bad.push_back(name);
            }
        }
    }
    for (const std::string& name : order) {
        if (std::find(bad.begin(), bad.end(), name) != bad.end()) continue;
        const NotifyTarget& t = targets[name];
        if (const std::string why = missing(t); !why.empty()) {
            problem("notify." + t.name, "needs more: " + why + "; it is left out");
            continue;
        }
        settings.targets.push_back(t);
    }
    return settings;
}

}  // namespace skarvel
