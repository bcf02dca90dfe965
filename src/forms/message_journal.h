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

/// The messages of a run: each goes to the journal with its time, and onto the screen as one box
/// per text, whose repeats are counted in it rather than opening more boxes.
class MessageJournal {
  public:
    /// `open` shows a new box with the focus on OK; `log` writes a line to the journal.
    MessageJournal(std::function<std::unique_ptr<MessageBoxView>(const std::string& text)> open,
                   std::function<void(const std::string& line)> log)
        : open_(std::move(open)), log_(std::move(log)) {}

    void show(const std::string& text, const std::string& concerning, LocalTime now);
    /// The boxes still on screen.
    int openCount() const;
    /// Messages shown, repeats included.
    std::uint64_t count() const { return count_; }
    /// Closes every box, as the program ends.
    void closeAll();

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
    struct Shown {
        std::unique_ptr<MessageBoxView> box;
        int count = 0;
    };

    std::function<std::unique_ptr<MessageBoxView>(const std::string&)> open_;
    std::function<void(const std::string&)> log_;
    std::map<std::string, Shown> shown_;
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
    void closeMessages() final { journal_.closeAll(); }
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
