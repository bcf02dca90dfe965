#pragma once

#include <string>

namespace skarvel {

enum class MainControl { SkyTemp, AmbientTemp, DiffTemp, Status, StatusBar };

/// The main-window controls that the cycle writes and the status page reads back.
class MainWindowControls {
  public:
    virtual ~MainWindowControls() = default;

    /// A reading box's text, the `Status` label's caption or the status bar's single text.
    virtual std::string text(MainControl control) const = 0;
    virtual void setText(MainControl control, const std::string& text) = 0;
    /// Text colour of the `Status` label, 0x00BBGGRR.
    virtual int statusColor() const = 0;
    virtual void setStatusColor(int color) = 0;

    std::string skyTemp() const { return text(MainControl::SkyTemp); }
    void setSkyTemp(const std::string& t) { setText(MainControl::SkyTemp, t); }
    std::string ambientTemp() const { return text(MainControl::AmbientTemp); }
    void setAmbientTemp(const std::string& t) { setText(MainControl::AmbientTemp, t); }
    std::string diffTemp() const { return text(MainControl::DiffTemp); }
    void setDiffTemp(const std::string& t) { setText(MainControl::DiffTemp, t); }
    std::string statusCaption() const { return text(MainControl::Status); }
    void setStatusCaption(const std::string& c) { setText(MainControl::Status, c); }
    std::string statusBarText() const { return text(MainControl::StatusBar); }
    void setStatusBarText(const std::string& t) { setText(MainControl::StatusBar, t); }
};

}  // namespace skarvel
