#pragma once

#include "forms/message_journal.h"
#include "win32/win32_text.h"

namespace skarvel {

/// The desktop services on the Win32 API. Every wait pumps the thread's messages, so windows,
/// timers and sockets go on while the sensor is read.
class Win32DesktopServices final : public JournalingServices {
  public:
    explicit Win32DesktopServices(HINSTANCE instance);

    /// Boxes are centred over this window, or over the modal dialog while one is up.
    void setMessageOwner(HWND owner) { owner_ = owner; }
    void setModalDialog(HWND dialog) { modal_ = dialog; }

    void sleep(int ms) override;
    void doEvents() override;
    std::string appPath() const override;
    LocalTime now() const override;

    /// Handles one message as the program's windows expect (Tab, Enter and Esc in boxes and
    /// dialogs). False for WM_QUIT, after which every wait returns at once.
    bool dispatch(MSG& message);
    /// The outermost message loop; returns the exit code.
    int run();

    /// A line of skarvel.log with its time, outside the journal's folding.
    void logLine(const std::string& text) { log(MessageJournal::line(now(), text, {})); }
    /// A box of its own, not counted among the monitor's messages.
    std::unique_ptr<MessageBoxView> box(const std::string& text) { return openBox(text); }

  private:
    std::unique_ptr<MessageBoxView> openBox(const std::string& text) override;
    /// A desktop program has no standard error on Windows: the journal is a file.
    void log(const std::string& line) override;

    HINSTANCE instance_;
    HWND owner_ = nullptr;
    HWND modal_ = nullptr;
    bool quit_ = false;
    int exitCode_ = 0;
};

}  // namespace skarvel
