#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "skarvel_version.h"

namespace skarvel {

struct Version {
    int major = SKARVEL_VERSION_MAJOR;
    int minor = SKARVEL_VERSION_MINOR;
    int revision = SKARVEL_VERSION_PATCH;
};

/// What the logic needs of the desktop. One implementation per desktop, one fake with virtual
/// time for tests.
class DesktopServices {
  public:
    virtual ~DesktopServices() = default;

    /// Shows `text` in a box titled with title(), OK button only, no icon, and returns at once:
    /// nobody may be at the desktop. The same text while its box is open counts as a repeat.
    /// Every message also goes to standard error with the local date and time, followed by
    /// `concerning` (the file or device) when not empty.
    virtual void messageBox(const std::string& text, const std::string& concerning) = 0;
    void messageBox(const std::string& text) { messageBox(text, {}); }
    /// Closes every box still on screen, as the program ends.
    virtual void closeMessages() = 0;
    /// Lets the journal say which repeated messages have stopped; called after every cycle.
    virtual void settleMessages() {}
    /// Messages shown since start, repeats included.
    virtual std::uint64_t messageCount() const = 0;
    /// Waits `ms` milliseconds. Window events keep being handled meanwhile.
    virtual void sleep(int ms) = 0;
    /// Handles the window events that are pending, then returns.
    virtual void doEvents() = 0;
    /// Folder of the running executable, without a final separator except at a root.
    virtual std::string appPath() const = 0;
    /// The program's title, the caption of every message box.
    std::string title() const { return "Skarvel"; }
    Version version() const { return {}; }
    /// Local date and time.
    virtual std::chrono::local_seconds now() const = 0;
};

}  // namespace skarvel
