#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "ui/desktop_services.h"

namespace skarvel {

class QtDesktopServices final : public DesktopServices {
  public:
    /// `programFolder` replaces the executable's folder when not empty.
    explicit QtDesktopServices(QString programFolder = {}) : folder_(std::move(programFolder)) {}

    /// Message boxes are centred over this window.
    void setMessageParent(QWidget* parent) { parent_ = parent; }

    void messageBox(const std::string& text) override;
    void sleep(int ms) override;
    void doEvents() override;
    std::string appPath() const override;
    std::string title() const override { return "Skarvel"; }
    Version version() const override { return {}; }
    LocalTime now() const override;

  private:
    QPointer<QWidget> parent_;
    QString folder_;
};

}  // namespace skarvel
