#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

#include "forms/desktop_services.h"
#include "forms/message_journal.h"

namespace skarvel {

class QtDesktopServices final : public DesktopServices {
  public:
    /// `programFolder` replaces the executable's folder when not empty.
    explicit QtDesktopServices(QString programFolder = {});

    /// Message boxes are centred over this window.
    void setMessageParent(QWidget* parent) { parent_ = parent; }

    using DesktopServices::messageBox;
    void messageBox(const std::string& text, const std::string& concerning) override;
    void closeMessages() override { journal_.closeAll(); }
    void sleep(int ms) override;
    void doEvents() override;
    std::string appPath() const override;
    std::string title() const override { return "Skarvel"; }
    Version version() const override { return {}; }
    LocalTime now() const override;

    /// The boxes still on screen.
    int openMessageCount() const { return journal_.openCount(); }

  private:
    std::unique_ptr<MessageBoxView> openBox(const std::string& text);

    QPointer<QWidget> parent_;
    QString folder_;
    MessageJournal journal_;
};

}  // namespace skarvel
