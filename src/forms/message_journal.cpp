#include "forms/message_journal.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "store/file_io.h"
#include "store/value_text.h"

namespace skarvel {

namespace {

std::string times(int n) {
    return std::to_string(n) + (n == 1 ? " time" : " times");
}

}  // namespace

std::string MessageJournal::line(LocalTime now, const std::string& text,
                                 const std::string& concerning) {
    const CivilTime c = toCivil(now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d ", c.year, c.month, c.day,
                  c.hour, c.minute, c.second);
    return stamp + text + (concerning.empty() ? "" : " [" + concerning + "]");
}

std::string MessageJournal::repeated(const std::string& text, int count, LocalTime last) {
    return text + " \u2014 " + std::to_string(count) + " times, last at " + timeText(last);
}

void MessageJournal::appendToFile(const std::string& path, const std::string& line,
                                  std::size_t limit) {
    try {
        skarvel::appendToFile(path, line + "\r\n");
        std::string all = readWholeFile(path);
        if (all.size() <= limit) return;
        const std::size_t cut = all.find('\n', all.size() / 2);
        writeFileAtomic(path, cut == std::string::npos ? "" : all.substr(cut + 1),
                        Durability::Cached);
    } catch (const std::exception&) {
    }
}

void MessageJournal::show(const std::string& text, const std::string& concerning, LocalTime now) {
    ++count_;
    const std::string key = text + '\0' + concerning;
    const auto found = repeats_.find(key);
    if (found == repeats_.end()) {
        log_(line(now, text, concerning));
        repeats_.emplace(key, Repeats{text, concerning, now, now});
    } else {
        Repeats& r = found->second;
        r.interval = std::max(now - r.last, std::chrono::seconds(0));
        r.last = now;
        r.repeated = true;
        ++r.unwritten;
        if (now - r.since >= std::chrono::minutes(kFoldMinutes)) {
            log_(line(now, text, concerning) + " \u2014 " + times(r.unwritten) + " since " +
                 timeText(r.since));
            r.since = now;
            r.unwritten = 0;
        }
    }
    for (auto it = shown_.begin(); it != shown_.end();)
        it = it->second.box && it->second.box->isOpen() ? std::next(it) : shown_.erase(it);
    // Nobody may be there to press OK: the box never waits, and a repeat updates it.
    Shown& shown = shown_[text];
    if (shown.box) {
        shown.box->setText(repeated(text, ++shown.count, now));
        return;
    }
    shown = Shown{open_(text), 1};
}

int MessageJournal::openCount() const {
    int n = 0;
    for (const auto& [text, shown] : shown_) n += shown.box && shown.box->isOpen();
    return n;
}

void MessageJournal::settle(LocalTime now, bool all) {
    using namespace std::chrono;
    for (auto it = repeats_.begin(); it != repeats_.end();) {
        const Repeats& r = it->second;
        // A message that came once is kept as long as a repeat would still be folded.
        const seconds wait = r.repeated ? std::max(2 * r.interval, r.interval + seconds(30))
                                        : duration_cast<seconds>(minutes(kFoldMinutes));
        if (!all && now - r.last <= std::min(wait, seconds(minutes(kFoldMinutes)))) {
            ++it;
            continue;
        }
        if (r.repeated)
            log_(line(now, r.text, r.concerning) + " \u2014 " + (all ? "" : "stopped: ") +
                 (r.unwritten ? times(r.unwritten) + " more since " + timeText(r.since) + ", "
                              : std::string()) +
                 "the last at " + timeText(r.last));
        it = repeats_.erase(it);
    }
}

void MessageJournal::closeAll(LocalTime now) {
    for (auto& [text, shown] : shown_)
        if (shown.box) shown.box->close();
    shown_.clear();
    settle(now, true);
}

}  // namespace skarvel
