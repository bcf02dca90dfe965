#pragma once

#include "store/setup_fields.h"

namespace skarvel {

class DesktopServices;

/// The setup dialog's window on a desktop.
class SetupDialogView {
  public:
    virtual ~SetupDialogView() = default;
    virtual SetupFields fields() const = 0;
    virtual void setFields(const SetupFields& fields) = 0;
    /// Shows the dialog modally over the main window, the focus on OK, until it closes.
    virtual void runModal() = 0;
    /// Ends runModal().
    virtual void end() = 0;
};

/// The setup dialog: thresholds, port and web folder. Writes only the settings in memory.
class frmSetup {
  public:
    frmSetup(Settings& settings, DesktopServices& services)
        : settings_(settings), services_(services) {}
    void setView(SetupDialogView* view) { view_ = view; }
    SetupDialogView* view() const { return view_; }

    /// Fills the fields from the settings, then waits for OK or Cancel.
    void showModal();
    void Form_Load();
    void cmdOK_Click();
    /// Also Esc and the close box.
    void cmdCancel_Click();

  private:
    Settings& settings_;
    DesktopServices& services_;
    SetupDialogView* view_ = nullptr;
};

}  // namespace skarvel
