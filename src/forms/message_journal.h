#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/desktop_services.h"
#include "store/date_time.h"

namespace skarvel {

/// A message box on screen, as each desktop shows it: never modal, OK only.
class MessageBoxView {
  public:
    virtual ~MessageBoxView() = default;
    /// False once someone has closed it.
    virtual bool isOpen() const = 0;
    virtual void setText(const std::string& text) = 0;
    virtual void close() = 0;
};

/// The messages of a run: each goes onto the screen as one box per text, whose repeats are
/// counted in it rather than opening more boxes, and to the journal with its time. A message that
/// keeps coming is written when it first comes, then at most once every `kFoldMinutes` with how
/// often it came meanwhile, and once when it has stopped, so a night of one failure does not bury
/// the rest. Only the same text about the same file or device is folded.
class MessageJournal {
  public:
    /// `open` shows a new box with the focus on OK; `log` writes a line to the journal.
    MessageJournal(std::function<std::unique_ptr<MessageBoxView>(const std::string& text)> open,
                   std::function<void(const std::string& line)> log)
        : open_(std::move(open)), log_(std::move(log)) {}

    static constexpr int kFoldMinutes = 10;

    void show(const std::string& text, const std::string& concerning, LocalTime now);
    /// Writes the last line of each message that has stopped coming: one that came again within
    /// twice its usual interval still comes. Called once per cycle.
    void settle(LocalTime now) { settle(now, false); }
    /// The boxes still on screen.
    int openCount() const;
    /// Messages shown, repeats included.
    std::uint64_t count() const { return count_; }
    /// Closes every box and writes what the journal still owes, as the program ends.
    void closeAll(LocalTime now);

    /// "2026-12-07 22:15:03 text [concerning]": sortable, whatever the locale.
    static std::string line(LocalTime now, const std::string& text, const std::string& concerning);
    /// What a box shows after `count` messages of the same text, the last at `last`.
    static std::string repeated(const std::string& text, int count, LocalTime last);
    /// Appends `line` to the journal file at `path` where there is no standard error (Windows),
    /// cutting the file back to its newest half, at a line's start, once it passes `limit`. A
    /// journal that cannot be written is no reason to stop: failures are ignored.
    static void appendToFile(const std::string& path, const std::string& line,
                             std::size_t limit = 1024 * 1024);

  private:
    /// A message's journal lines: `since` is when the last one was written.
    struct Repeats {
        std::string text, concerning;
        LocalTime since, last;
        std::chrono::seconds interval{0};
        int unwritten = 0;
        bool repeated = false;
    };
    void settle(LocalTime now, bool all);

    struct Shown {
        std::unique_ptr<MessageBoxView> box;
        int count = 0;
    };

    std::function<std::unique_ptr<MessageBoxView>(const std::string&)> open_;
    std::function<void(const std::string&)> log_;
    std::map<std::string, Shown> shown_;
    /// By the journal line's text without its time.
    std::map<std::string, Repeats> repeats_;
    std::uint64_t count_ = 0;
};

/// Desktop services whose messages go through the journal: a desktop supplies the box and the
/// journal's line.
class JournalingServices : public DesktopServices {
  public:
    using DesktopServices::messageBox;
    void messageBox(const std::string& text, const std::string& concerning) final {
        journal_.show(text, concerning, now());
    }
    void closeMessages() final { journal_.closeAll(now()); }
    void settleMessages() final { journal_.settle(now()); }
    std::uint64_t messageCount() const final { return journal_.count(); }

  protected:
    /// Shows a new box with the focus on OK, over the window in front.
    virtual std::unique_ptr<MessageBoxView> openBox(const std::string& text) = 0;
    virtual void log(const std::string& line) = 0;

  private:
    MessageJournal journal_{[this](const std::string& text) { return openBox(text); },
                            [this](const std::string& line) { log(line); }};
};

}  // namespace skarvel
