#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <map>

#include "ui/desktop_services.h"

class QMessageBox;

namespace skarvel {

class QtDesktopServices final : public DesktopServices {
  public:
    /// `programFolder` replaces the executable's folder when not empty.
    explicit QtDesktopServices(QString programFolder = {}) : folder_(std::move(programFolder)) {}

    /// Message boxes are centred over this window.
    void setMessageParent(QWidget* parent) { parent_ = parent; }

    using DesktopServices::messageBox;
    void messageBox(const std::string& text, const std::string& concerning) override;
    void sleep(int ms) override;
    void doEvents() override;
    std::string appPath() const override;
    std::string title() const override { return "Skarvel"; }
    Version version() const override { return {}; }
    LocalTime now() const override;

    /// The boxes still on screen.
    int openMessageCount() const;
    /// Closes every box, as the program ends.
    void closeMessages();

  private:
    struct Shown {
        QPointer<QMessageBox> box;
        int count = 0;
    };

    QPointer<QWidget> parent_;
    QString folder_;
    std::map<std::string, Shown> shown_;
};

}  // namespace skarvel
