#pragma once

#include <QDialog>

#include "forms/frm_setup.h"

class QLineEdit;
class QPushButton;

namespace skarvel {

/// The setup dialog's window.
class QtSetupDialog final : public QDialog, public SetupDialogView {
    Q_OBJECT
  public:
    QtSetupDialog(frmSetup& form, QWidget* parent = nullptr);

    SetupFields fields() const override;
    void setFields(const SetupFields& fields) override;
    void runModal() override;
    void end() override { done(QDialog::Accepted); }

    QLineEdit* CloudyThresholdField = nullptr;
    QLineEdit* VeryCloudyThresholdField = nullptr;
    QLineEdit* ComPort = nullptr;
    QLineEdit* WebPathField = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

  protected:
    void reject() override { form_.cmdCancel_Click(); }  // Esc and the close box cancel

  private:
    frmSetup& form_;
};

}  // namespace skarvel
