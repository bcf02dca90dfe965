#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

#include "forms/message_journal.h"

namespace skarvel {

class QtDesktopServices final : public JournalingServices {
  public:
    /// `programFolder` replaces the executable's folder when not empty.
    explicit QtDesktopServices(QString programFolder = {});

    /// Message boxes are centred over this window.
    void setMessageParent(QWidget* parent) { parent_ = parent; }

    void sleep(int ms) override;
    void doEvents() override;
    std::string appPath() const override;
    LocalTime now() const override;

  private:
    std::unique_ptr<MessageBoxView> openBox(const std::string& text) override;
    void log(const std::string& line) override;

    QPointer<QWidget> parent_;
    QString folder_;
};

}  // namespace skarvel
