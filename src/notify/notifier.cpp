#include "notify/notifier.h"

#include <algorithm>
#include <cstdio>

#include "automation/automation_files.h"
#include "platform/desktop_services.h"

namespace skarvel {

namespace {

using namespace std::chrono;

std::string fixed(double v, int decimals) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string json(const std::optional<float>& v, int decimals) {
    return v ? fixed(*v, decimals) : "null";
}

std::string quoted(const std::string& s) {
    return "\"" + jsonEscaped(s) + "\"";
}

std::string formEncoded(std::string_view s) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

/// "Wed, 09 Dec 2026 04:10:21 +0000", RFC 5322's date.
std::string mailDate(sys_seconds utc) {
    static const char* const names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto day = floor<days>(utc);
    const year_month_day date{day};
    const hh_mm_ss<seconds> t{utc - day};
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s, %02u %s %d %02d:%02d:%02d +0000",
                  names[weekday(day).c_encoding()], unsigned(date.day()),
                  months[unsigned(date.month()) - 1], int(date.year()), int(t.hours().count()),
                  int(t.minutes().count()), int(t.seconds().count()));
    return buf;
}

std::string dayText(local_days day) {
    static const char* const months[] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
    const year_month_day date{day};
    return std::to_string(unsigned(date.day())) + " " + months[unsigned(date.month()) - 1];
}

std::string readings(const NotifyMessage& m) {
    std::string s;
    if (m.cover) s += " Cloud cover " + fixed(*m.cover, 0) + " %.";
    if (m.sky && m.ambient)
        s += " Sky " + fixed(*m.sky, 1) + " °C, ambient " + fixed(*m.ambient, 1) + " °C.";
    return s;
}

NotifyMessage fromState(NotifyEvent event, const char* name, const AutomationState& state,
                        sys_seconds utc) {
    NotifyMessage m;
    m.event = event;
    m.name = name;
    m.time = utc;
    m.safe = state.verdict.safe;
    m.reason = state.verdict.reason;
    if (state.haveReading) {
        m.state = state.state;
        m.cover = state.cloudCover;
        m.sky = state.sky;
        m.ambient = state.ambient;
    }
    return m;
}

}  // namespace

NotifyRequest buildRequest(const NotifyTarget& target, const NotifyMessage& message,
                           std::string_view messageId) {
    NotifyRequest r;
    switch (target.kind) {
        case NotifyKind::ntfy:
            r.url = target.address;
            r.headers = {"Content-Type: text/plain; charset=utf-8", "Title: " + message.title,
                         std::string("Priority: ") + (message.urgent ? "urgent" : "default")};
            if (message.event == unsafeEvent || message.name == "trouble")
                r.headers.push_back("Tags: warning");
            else if (message.event == safeEvent)
                r.headers.push_back("Tags: white_check_mark");
            if (!target.token.empty()) r.headers.push_back("Authorization: Bearer " + target.token);
            r.body = message.text;
            break;
        case NotifyKind::pushover: {
            const int priority = message.urgent ? target.priority : 0;
            r.url = target.url;
            r.headers = {"Content-Type: application/x-www-form-urlencoded"};
            r.body = "token=" + formEncoded(target.token) + "&user=" + formEncoded(target.address) +
                     "&title=" + formEncoded(message.title) +
                     "&message=" + formEncoded(message.text) +
                     "&priority=" + std::to_string(priority);
            // An emergency repeats every minute until acknowledged, for at most an hour.
            if (priority == 2) r.body += "&retry=60&expire=3600";
            break;
        }
        case NotifyKind::gotify:
            r.url = target.address;
            if (!r.url.ends_with('/')) r.url += '/';
            r.url += "message";
            r.headers = {"Content-Type: application/json", "X-Gotify-Key: " + target.token};
            r.body = "{\"title\":" + quoted(message.title) +
                     ",\"message\":" + quoted(message.text) +
                     ",\"priority\":" + (message.urgent ? "8" : "5") + "}";
            break;
        case NotifyKind::webhook:
            r.url = target.address;
            r.headers = {"Content-Type: application/json"};
            r.body = "{\"event\":" + quoted(message.name) +
                     ",\"time\":" + quoted(utcText(message.time)) +
                     ",\"safe\":" + (message.safe ? "true" : "false") +
                     ",\"reason\":" + quoted(message.reason) +
                     ",\"state\":" + (message.state.empty() ? "null" : quoted(message.state)) +
                     ",\"cloudCover\":" + json(message.cover, 0) +
                     ",\"sky\":" + json(message.sky, 1) +
                     ",\"ambient\":" + json(message.ambient, 1) +
                     ",\"title\":" + quoted(message.title) + ",\"message\":" + quoted(message.text);
            if (const auto& n = message.night) {
                const year_month_day d{n->evening};
                char evening[16];
                std::snprintf(evening, sizeof evening, "%04d-%02u-%02u", int(d.year()),
                              unsigned(d.month()), unsigned(d.day()));
                r.body += std::string(",\"night\":{\"evening\":\"") + evening +
                          "\",\"lines\":" + std::to_string(n->lines) +
                          ",\"hoursSafe\":" + fixed(n->hoursSafe, 2) +
                          ",\"longestSafeHours\":" + fixed(n->longestSafeHours, 2) +
                          ",\"changes\":" + std::to_string(n->changes) +
                          ",\"meanCover\":" + (n->meanCover ? fixed(*n->meanCover, 1) : "null") +
                          "}";
            }
            r.body += "}";
            break;
        case NotifyKind::mail:
            r.mail = true;
            r.url = target.smtp;
            r.from = target.from;
            r.to = target.address;
            r.user = target.user;
            r.password = target.password;
            r.requireTls = !target.user.empty();
            r.body = "Date: " + mailDate(message.time) + "\r\nFrom: <" + target.from +
                     ">\r\nTo: <" + target.address + ">\r\nSubject: " + message.title +
                     "\r\nMessage-ID: <" + std::string(messageId) +
                     ">\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
                     "Content-Transfer-Encoding: 8bit\r\n\r\n" +
                     message.text + "\r\n";
            break;
    }
    return r;
}

Notifier::Notifier(const AutomationSettings& settings, NotifySender& sender,
                   DesktopServices& services, NightSource nights)
    : settings_(settings.notify),
      // Readings older than this no longer count as the sensor answering.
      freshSeconds_(settings.staleSeconds > 0 ? settings.staleSeconds : 120),
      sender_(sender),
      services_(services),
      nights_(std::move(nights)),
      secrets_(settings.notify.secrets()) {
    for (const NotifyTarget& t : settings_.targets)
        targets_.push_back(Target{t, {}, {}, {}, {}, false});
}

std::string Notifier::redacted(std::string text) const {
    for (const std::string& secret : secrets_) {
        for (std::size_t at; (at = text.find(secret)) != text.npos;)
            text.replace(at, secret.size(), "…");
    }
    return text;
}

void Notifier::report(const std::string& about, const std::string& text) {
    services_.messageBox(redacted(text), about);
}

std::string Notifier::why(const NotifyAnswer& answer) const {
    std::string s = answer.error.empty() ? "the server answered " + std::to_string(answer.status)
                                         : answer.error;
    std::string body = answer.body.substr(0, 200);
    std::replace_if(
        body.begin(), body.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    if (!answer.error.empty() || body.empty()) return s;
    return s + ": " + body;
}

void Notifier::cycle(const AutomationState& state, sys_seconds utc, local_seconds local) {
    now_ = utc;
    last_ = state;
    verdictRules(state, utc);
    troubleRules(state, utc);
    summaryRule(local, utc);
    heartbeat(state, utc);
    for (Target& t : targets_) pump(t);
}

void Notifier::verdictRules(const AutomationState& state, sys_seconds utc) {
    const bool safe = state.verdict.safe;
    if (previous_ && *previous_ != safe) ++changes_;
    previous_ = safe;
    if (announced_ == safe) return;
    if (lastVerdictSent_ && utc < *lastVerdictSent_ + minutes(settings_.quietMinutes)) return;
    NotifyMessage m =
        fromState(safe ? safeEvent : unsafeEvent, safe ? "safe" : "unsafe", state, utc);
    m.urgent = !safe;
    m.title = safe ? "Skarvel: SAFE" : "Skarvel: UNSAFE";
    m.text = (safe ? "SAFE: " : "UNSAFE: ") + state.verdict.reason + "." + readings(m);
    if (changes_ > 1)
        m.text +=
            " The verdict changed " + std::to_string(changes_) + " times since the last message.";
    announced_ = safe;
    lastVerdictSent_ = utc;
    changes_ = 0;
    post(std::move(m));
}

void Notifier::troubleRules(const AutomationState& state, sys_seconds utc) {
    const sys_seconds since = state.haveReading ? state.lastReadingUtc : state.startedUtc;
    const auto limit = minutes(settings_.troubleMinutes);
    const auto message = [&](const char* name, std::string title, std::string text) {
        NotifyMessage m = fromState(troubleEvent, name, state, utc);
        m.title = std::move(title);
        m.text = std::move(text);
        post(std::move(m));
    };
    if (!readingTrouble_ && utc - since >= limit) {
        readingTrouble_ = true;
        noReadingSince_ = since;
        message("trouble", "Skarvel: no readings",
                std::string(state.linkOpen ? "The sensor has not answered"
                                           : "The sensor's port is closed") +
                    ": no reading for " +
                    std::to_string(duration_cast<minutes>(utc - since).count()) + " minutes. " +
                    state.verdict.reason + ".");
    } else if (readingTrouble_ && state.haveReading && state.lastReadingUtc > *noReadingSince_ &&
               utc - state.lastReadingUtc < limit) {
        readingTrouble_ = false;
        message("recovered", "Skarvel: readings again",
                "The sensor answers again after " +
                    std::to_string(
                        duration_cast<minutes>(state.lastReadingUtc - *noReadingSince_).count()) +
                    " minutes without a reading." +
                    readings(fromState(troubleEvent, "", state, utc)));
    }
    if (!fileTrouble_ && !state.fileTrouble.empty()) {
        fileTrouble_ = true;
        message("trouble", "Skarvel: files cannot be written",
                "The monitor cannot write its files: " + state.fileTrouble);
    } else if (fileTrouble_ && state.fileTrouble.empty()) {
        fileTrouble_ = false;
        message("recovered", "Skarvel: files written again", "The monitor writes its files again.");
    }
}

void Notifier::summaryRule(local_seconds local, sys_seconds utc) {
    const auto today = floor<days>(local);
    const auto at = today + minutes(settings_.summaryMinute);
    if (!nextSummary_) {
        nextSummary_ = local < at ? at : at + days(1);
        return;
    }
    if (local < *nextSummary_) return;
    // A clock that jumped ahead gives one summary, not one per day skipped.
    nextSummary_ = local < at ? at : at + days(1);
    const auto evening = today - days(1);
    NotifyMessage m;
    m.event = summaryEvent;
    m.name = "summary";
    m.time = utc;
    m.safe = last_.verdict.safe;
    m.reason = last_.verdict.reason;
    m.title = "Skarvel: the night of " + dayText(evening);
    const std::optional<Night> night = nights_ ? nights_(evening) : std::nullopt;
    if (!night || night->lines == 0) {
        m.text = "No readings were logged in the night of " + dayText(evening) + ".";
    } else {
        m.text =
            "The night of " + dayText(evening) + ": safe for " + fixed(night->hoursSafe, 1) +
            " h, the longest safe stretch " + fixed(night->longestSafeHours, 1) +
            " h, the verdict changed " + std::to_string(night->changes) +
            (night->changes == 1 ? " time" : " times") +
            (night->meanCover ? ", mean cloud cover " + fixed(*night->meanCover, 0) + " %." : ".");
    }
    m.night = night;
    post(std::move(m));
}

void Notifier::heartbeat(const AutomationState& state, sys_seconds utc) {
    if (settings_.heartbeatUrl.empty() || beating_ || utc < nextBeat_) return;
    if (!state.haveReading || utc - state.lastReadingUtc > seconds(freshSeconds_)) return;
    nextBeat_ = utc + minutes(settings_.heartbeatMinutes);
    beating_ = true;
    NotifyRequest r;
    r.url = settings_.heartbeatUrl;
    r.get = true;
    sender_.send(r, [this](const NotifyAnswer& a) {
        beating_ = false;
        if (a.delivered(false)) {
            if (std::exchange(beatFailing_, false))
                report("heartbeatUrl", "heartbeatUrl: beats get through again");
        } else if (!std::exchange(beatFailing_, true)) {
            report("heartbeatUrl", "heartbeatUrl: the beat failed: " + why(a) +
                                       "; the next is tried in " +
                                       std::to_string(settings_.heartbeatMinutes) + " minutes");
        }
    });
}

void Notifier::post(NotifyMessage message) {
    for (Target& t : targets_) {
        if (!(t.settings.events & message.event)) continue;
        // A later verdict makes one still waiting stale: the latest state is what matters.
        if (message.event & (safeEvent | unsafeEvent)) {
            std::erase_if(t.queue, [&](const Queued& q) {
                return (q.message.event & (safeEvent | unsafeEvent)) && q.id != t.inFlight;
            });
        }
        t.queue.push_back(Queued{nextId_++, message});
        while (t.queue.size() > maxQueued) {
            const auto oldest = std::find_if(t.queue.begin(), t.queue.end(),
                                             [&](const Queued& q) { return q.id != t.inFlight; });
            t.queue.erase(oldest);
        }
    }
}

void Notifier::pump(Target& t) {
    if (t.inFlight || t.queue.empty() || now_ < t.nextTry) return;
    const auto before = t.queue.size();
    std::erase_if(t.queue, [&](const Queued& q) { return now_ - q.message.time >= giveUpAfter; });
    if (t.queue.size() != before)
        report("notify." + t.settings.name, "notify." + t.settings.name + ": " +
                                                std::to_string(before - t.queue.size()) +
                                                " messages given up after an hour of failures");
    if (t.queue.empty()) return;
    const Queued& q = t.queue.front();
    t.inFlight = q.id;
    const std::string id = "skarvel." + std::to_string(q.message.time.time_since_epoch().count()) +
                           "." + std::to_string(q.id) + "@skarvel";
    sender_.send(buildRequest(t.settings, q.message, id),
                 [this, &t, id = q.id](const NotifyAnswer& a) { answered(t, id, a); });
}

void Notifier::answered(Target& t, std::uint64_t id, const NotifyAnswer& answer) {
    t.inFlight.reset();
    const std::string name = "notify." + t.settings.name;
    const bool mail = t.settings.kind == NotifyKind::mail;
    const auto it =
        std::find_if(t.queue.begin(), t.queue.end(), [&](const Queued& q) { return q.id == id; });
    if (answer.delivered(mail)) {
        if (it != t.queue.end()) t.queue.erase(it);
        if (std::exchange(t.failing, false)) report(name, name + ": messages get through again");
        t.backOff = seconds(0);
        t.nextTry = now_;
        return pump(t);
    }
    const bool retry = answer.worthRetrying() && it != t.queue.end();
    if (!retry && it != t.queue.end()) t.queue.erase(it);
    t.backOff = retry ? (t.backOff.count() ? std::min(t.backOff * 2, seconds(longestBackOff))
                                           : firstBackOff)
                      : seconds(0);
    t.nextTry = now_ + t.backOff;
    if (!std::exchange(t.failing, true)) {
        report(name, name + " (" + kindName(t.settings.kind) + "): " + why(answer) +
                         (retry ? "; it is tried again with back-off for an hour"
                                : "; the message is dropped"));
    }
    if (!retry) pump(t);
}

std::size_t Notifier::pending() const {
    std::size_t n = beating_ ? 1 : 0;
    for (const Target& t : targets_) n += t.queue.size();
    return n;
}

void Notifier::test(sys_seconds utc,
                    std::function<void(const std::string&, const std::string&, bool)> each) {
    now_ = utc;
    for (Target& t : targets_) {
        NotifyMessage m;
        m.event = summaryEvent;
        m.name = "test";
        m.time = utc;
        m.title = "Skarvel: test";
        m.text = "A test message from Skarvel. When this arrives, alerts reach you here.";
        m.reason = "a test";
        const std::string name = "notify." + t.settings.name;
        const bool mail = t.settings.kind == NotifyKind::mail;
        sender_.send(buildRequest(t.settings, m, "skarvel.test." + t.settings.name + "@skarvel"),
                     [this, each, name, mail](const NotifyAnswer& a) {
                         each(name, a.delivered(mail) ? "delivered" : redacted(why(a)),
                              a.delivered(mail));
                     });
    }
    if (settings_.heartbeatUrl.empty()) return;
    NotifyRequest r;
    r.url = settings_.heartbeatUrl;
    r.get = true;
    sender_.send(r, [this, each](const NotifyAnswer& a) {
        each("heartbeatUrl", a.delivered(false) ? "delivered" : redacted(why(a)),
             a.delivered(false));
    });
}

}  // namespace skarvel
