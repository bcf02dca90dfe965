#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace skarvel {

class DesktopServices;
struct Settings;

/// The setup dialog: thresholds, port and web folder. Writes only the settings in memory.
class frmSetup final : public QDialog {
    Q_OBJECT
  public:
    frmSetup(Settings& settings, DesktopServices& services, QWidget* parent = nullptr);

    /// Fills the fields from the settings; runs at every opening.
    void Form_Load();
    /// Shows the dialog modally, centred over its parent, until it closes.
    void showModal();

    QLineEdit* CloudyThresholdField = nullptr;
    QLineEdit* VeryCloudyThresholdField = nullptr;
    QLineEdit* ComPort = nullptr;
    QLineEdit* WebPathField = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

  public slots:
    void cmdOK_Click();
    void cmdCancel_Click();

  protected:
    void reject() override;  // Esc and the close box cancel

  private:
    Settings& settings_;
    DesktopServices& services_;
};

}  // namespace skarvel
