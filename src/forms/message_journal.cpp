#include "forms/message_journal.h"

#include <cstdio>
#include <iterator>

#include "store/file_io.h"
#include "store/value_text.h"

namespace skarvel {

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
    log_(line(now, text, concerning));
    ++count_;
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

void MessageJournal::closeAll() {
    for (auto& [text, shown] : shown_)
        if (shown.box) shown.box->close();
    shown_.clear();
}

}  // namespace skarvel
