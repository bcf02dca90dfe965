#pragma once

#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

#include "forms/frm_main.h"
#include "qt/qt_desktop_services.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace skarvel {

class QtGraphWindow;
class QtSetupDialog;

/// The main window: readings, state, graph buttons, Setup and About, and the status bar.
class QtMainWindow final : public QWidget, public MainWindowView, public MainWindowControls {
    Q_OBJECT
  public:
    /// `factory` makes the serial control the monitor opens, by default the real port;
    /// `programFolder` replaces the executable's folder when not empty.
    explicit QtMainWindow(SerialFactory factory = {}, QString programFolder = {});
    ~QtMainWindow() override;

    /// Start-up: settings, the link, the windows and the timer. Call before show().
    void Form_Load();
    void Timer1_Timer() { form_->Timer1_Timer(); }

    // MainWindowControls
    std::string text(MainControl control) const override;
    void setText(MainControl control, const std::string& text) override;
    int statusColor() const override { return statusColor_; }
    void setStatusColor(int color) override;

    // MainWindowView
    void startTimer1(int intervalMs) override { Timer1.start(intervalMs); }
    void stopTimer1() override { Timer1.stop(); }
    void later(std::function<void()> step) override;
    GraphWindow& createGraphWindow(GraphKind kind) override;
    void createSetupDialog(frmSetup& form) override;

    frmMain& form() { return *form_; }
    Monitor& monitor() { return form_->monitor(); }
    Settings& settings() { return form_->settings(); }
    QtDesktopServices& services() { return services_; }
    QtGraphWindow* graphWindow(int index) const;
    QtSetupDialog* setupDialog() const { return setup_; }
    AutomationPublisher* automation() const { return form_->automation(); }

    QLineEdit* SkyTemp = nullptr;
    QLineEdit* AmbientTemp = nullptr;
    QLineEdit* DiffTemp = nullptr;
    QLabel* Status = nullptr;
    QPushButton* HistoryButton = nullptr;
    QPushButton* MonthButton = nullptr;
    QPushButton* YearButton = nullptr;
    QPushButton* SetupButton = nullptr;
    QPushButton* AboutButton = nullptr;
    QStatusBar* sbStatusBar = nullptr;
    QTimer Timer1;

  signals:
    /// The window has closed and the form is unloaded.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    /// The reading box for `control`, null for the others.
    QLineEdit* box(MainControl control) const;

    QtDesktopServices services_;
    std::unique_ptr<frmMain> form_;
    int statusColor_ = 0;
    QLabel* simpleText_ = nullptr;
    QLabel* clock_ = nullptr;
    QTimer clockTimer_;
    std::vector<QtGraphWindow*> graphs_;
    QtSetupDialog* setup_ = nullptr;
};

}  // namespace skarvel
