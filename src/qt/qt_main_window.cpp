#include "qt/qt_main_window.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStatusBar>

#include "qt/qt_form_builder.h"
#include "qt/qt_graph_window.h"
#include "qt/qt_serial_control.h"
#include "qt/qt_setup_dialog.h"
#include "qt/systemd_notifier.h"

namespace skarvel {

namespace {

QColor fromBgr(int color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

QtMainWindow::QtMainWindow(SerialFactory factory, QString programFolder)
    : services_(std::move(programFolder)) {
    if (!factory) {
        factory = [this] { return std::make_unique<QtSerialControl>(q(services_.appPath())); };
    }
    form_ = std::make_unique<frmMain>(*this, *this, services_, std::move(factory));
    form_->setServiceNotifier([](CycleObserver& next, const AutomationState& state) {
        return std::make_unique<SystemdNotifier>(next, state);
    });
    services_.setMessageParent(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    buildForm(*this, frmMainTable());
    SkyTemp = findChild<QLineEdit*>("SkyTemp");
    AmbientTemp = findChild<QLineEdit*>("AmbientTemp");
    DiffTemp = findChild<QLineEdit*>("DiffTemp");
    Status = findChild<QLabel*>("Status");
    HistoryButton = findChild<QPushButton*>("HistoryButton");
    MonthButton = findChild<QPushButton*>("MonthButton");
    YearButton = findChild<QPushButton*>("YearButton");
    SetupButton = findChild<QPushButton*>("SetupButton");
    AboutButton = findChild<QPushButton*>("AboutButton");
    sbStatusBar = findChild<QStatusBar*>("sbStatusBar");
    setStatusColor(0);

    // The status bar: the cycle's text on the left, the date and time on the right.
    simpleText_ = new QLabel(sbStatusBar);
    simpleText_->setObjectName("SimpleText");
    clock_ = new QLabel(sbStatusBar);
    clock_->setObjectName("Clock");
    sbStatusBar->addWidget(simpleText_, 1);
    sbStatusBar->addPermanentWidget(clock_);
    auto tick = [this] {
        const QDateTime now = QDateTime::currentDateTime();
        const QLocale locale;
        clock_->setText(locale.toString(now.date(), QLocale::ShortFormat) + "  " +
                        locale.toString(now.time(), QLocale::ShortFormat));
    };
    tick();
    connect(&clockTimer_, &QTimer::timeout, this, tick);
    clockTimer_.start(1000);

    frmMain& f = *form_;
    connect(HistoryButton, &QPushButton::clicked, this, [&f] { f.HistoryButton_Click(); });
    connect(MonthButton, &QPushButton::clicked, this, [&f] { f.MonthButton_Click(); });
    connect(YearButton, &QPushButton::clicked, this, [&f] { f.YearButton_Click(); });
    connect(SetupButton, &QPushButton::clicked, this, [&f] { f.SetupButton_Click(); });
    connect(AboutButton, &QPushButton::clicked, this, [&f] { f.AboutButton_Click(); });
    connect(&Timer1, &QTimer::timeout, this, [&f] { f.Timer1_Timer(); });
}

QtMainWindow::~QtMainWindow() = default;

void QtMainWindow::Form_Load() {
    form_->Form_Load();
    SkyTemp->setFocus();
}

void QtMainWindow::later(std::function<void()> step) {
    QTimer::singleShot(0, this, std::move(step));
}

GraphWindow& QtMainWindow::createGraphWindow(GraphKind kind) {
    graphs_.push_back(new QtGraphWindow(kind, form_->settings(), services_, this));
    return graphs_.back()->form();
}

void QtMainWindow::createSetupDialog(frmSetup& form) {
    setup_ = new QtSetupDialog(form, this);
}

QtGraphWindow* QtMainWindow::graphWindow(int index) const {
    return index >= 0 && index < int(graphs_.size()) ? graphs_[index] : nullptr;
}

QLineEdit* QtMainWindow::box(MainControl control) const {
    return control == MainControl::SkyTemp       ? SkyTemp
           : control == MainControl::AmbientTemp ? AmbientTemp
           : control == MainControl::DiffTemp    ? DiffTemp
                                                 : nullptr;
}

std::string QtMainWindow::text(MainControl control) const {
    if (QLineEdit* b = box(control)) return b->text().toStdString();
    return (control == MainControl::Status ? Status : simpleText_)->text().toStdString();
}

void QtMainWindow::setText(MainControl control, const std::string& text) {
    if (QLineEdit* b = box(control)) return b->setText(q(text));
    (control == MainControl::Status ? Status : simpleText_)->setText(q(text));
}

void QtMainWindow::setStatusColor(int color) {
    statusColor_ = color;
    QPalette p = Status->palette();
    p.setColor(QPalette::WindowText, fromBgr(color));
    Status->setPalette(p);
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
    form_->Form_Unload();
    event->accept();
    emit closed();
}

}  // namespace skarvel
