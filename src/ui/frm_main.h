#pragma once

#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

#include "automation/automation_publisher.h"
#include "core/file_publishing.h"
#include "core/monitor.h"
#include "store/settings.h"
#include "ui/main_window_controls.h"
#include "ui/qt_desktop_services.h"
#include "ui/systemd_notifier.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace skarvel {

class GraphWindow;
class frmSetup;

/// The main window: readings, state, graph buttons, Setup and About, and the status bar.
class frmMain final : public QWidget, public MainWindowControls {
    Q_OBJECT
  public:
    /// `factory` makes the serial control the monitor opens, by default the real port;
    /// `programFolder` replaces the executable's folder when not empty.
    explicit frmMain(SerialFactory factory = {}, QString programFolder = {});
    ~frmMain() override;

    /// Start-up: settings, the link, the windows and the timer. Call before show().
    void Form_Load();

    // MainWindowControls
    std::string skyTemp() const override;
    void setSkyTemp(const std::string& text) override;
    std::string ambientTemp() const override;
    void setAmbientTemp(const std::string& text) override;
    std::string diffTemp() const override;
    void setDiffTemp(const std::string& text) override;
    std::string statusCaption() const override;
    void setStatusCaption(const std::string& caption) override;
    int statusColor() const override { return statusColor_; }
    void setStatusColor(int color) override;
    std::string statusBarText() const override;
    void setStatusBarText(const std::string& text) override;

    Monitor& monitor() { return *monitor_; }
    Settings& settings() { return settings_; }
    QtDesktopServices& services() { return services_; }
    GraphWindow* graphWindow(int index) const;
    frmSetup* setupDialog() const { return setup_; }
    /// The safety verdict and its files; null before Form_Load.
    AutomationPublisher* automation() const { return automation_.get(); }

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

  public slots:
    void Timer1_Timer();
    void HistoryButton_Click();
    void MonthButton_Click();
    void YearButton_Click();
    void SetupButton_Click();
    void AboutButton_Click();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildLayout();
    void showGraph(int index);
    void Form_Unload();
    void createWindowsAndStartTimer();
    void saveConfigReporting(const char* procedure);

    Settings settings_;
    QtDesktopServices services_;
    FilePublishing publishing_;
    std::unique_ptr<AutomationPublisher> automation_;
    std::unique_ptr<SystemdNotifier> notifier_;
    std::unique_ptr<Monitor> monitor_;
    int statusColor_ = 0;
    QLabel* simpleText_ = nullptr;
    QLabel* clock_ = nullptr;
    QTimer clockTimer_;
    std::vector<GraphWindow*> graphs_;
    std::vector<GraphWindow*> loadOrder_;
    frmSetup* setup_ = nullptr;
    bool setupPending_ = false;
    bool unloaded_ = false;
};

}  // namespace skarvel
