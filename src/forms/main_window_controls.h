#pragma once

#include <string>

namespace skarvel {

/// The main-window controls that the cycle writes and the status page reads back.
class MainWindowControls {
  public:
    virtual ~MainWindowControls() = default;

    virtual std::string skyTemp() const = 0;
    virtual void setSkyTemp(const std::string& text) = 0;
    virtual std::string ambientTemp() const = 0;
    virtual void setAmbientTemp(const std::string& text) = 0;
    virtual std::string diffTemp() const = 0;
    virtual void setDiffTemp(const std::string& text) = 0;

    /// Caption of the `Status` label.
    virtual std::string statusCaption() const = 0;
    virtual void setStatusCaption(const std::string& caption) = 0;
    /// Text colour of the `Status` label, 0x00BBGGRR.
    virtual int statusColor() const = 0;
    virtual void setStatusColor(int color) = 0;

    /// The status bar's single text.
    virtual std::string statusBarText() const = 0;
    virtual void setStatusBarText(const std::string& text) = 0;
};

}  // namespace skarvel
