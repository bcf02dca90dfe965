#include "ui/frm_main.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStatusBar>
#include <algorithm>

#include "core/qt_serial_control.h"
#include "graphs/graph_window.h"
#include "store/config.h"
#include "store/vb_error.h"
#include "ui/form_fonts.h"
#include "ui/frm_setup.h"

namespace skarvel {

namespace {

QColor fromBgr(int color) {
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

frmMain::frmMain(SerialFactory factory, QString programFolder)
    : services_(std::move(programFolder)), publishing_(settings_, services_, *this) {
    if (!factory) {
        factory = [this] { return std::make_unique<QtSerialControl>(q(services_.appPath())); };
    }
    monitor_ =
        std::make_unique<Monitor>(settings_, services_, *this, std::move(factory), publishing_);
    services_.setMessageParent(this);
    setObjectName("frmMain");
    setWindowTitle("Skarvel");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(308, 441);
    setFont(ui::formFont());
    buildLayout();
    connect(&Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
}

frmMain::~frmMain() = default;

void frmMain::buildLayout() {
    auto line = [this](const char* name, int x, int y, int w) {
        auto* l = new QFrame(this);
        l->setObjectName(name);
        l->setGeometry(x, y, w + 1, 1);
        l->setAutoFillBackground(true);
        QPalette p = l->palette();
        p.setColor(QPalette::Window, p.color(QPalette::WindowText));
        l->setPalette(p);
    };
    auto label = [this](const char* name, const char* text, int x, int y, int w, int h,
                        bool bold = false) {
        auto* l = new QLabel(text, this);
        l->setObjectName(name);
        l->setGeometry(x, y, w, h);
        if (bold) l->setFont(ui::formFont(true));
        return l;
    };
    auto box = [this](const char* name, int y) {
        auto* b = new QLineEdit(this);
        b->setObjectName(name);
        b->setGeometry(168, y, 57, 19);
        b->setReadOnly(true);  // the cycle overwrites them anyway
        return b;
    };
    auto button = [this](const char* name, const char* text, int x, int y, int w) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setGeometry(x, y, w, 25);
        return b;
    };

    line("Line2", 0, 0, 240);
    label("Label5", "Current Readings:", 24, 24, 145, 17, true);
    label("Label6", "Sky temperature", 24, 56, 121, 17);
    SkyTemp = box("SkyTemp", 56);
    label("Label3", "Ambient temperature", 24, 96, 121, 17);
    AmbientTemp = box("AmbientTemp", 96);
    label("Label7", "Temperature difference", 24, 136, 121, 17);
    DiffTemp = box("DiffTemp", 136);
    DiffTemp->setToolTip("Temperature difference between Sky and Ambient");
    line("Line3", 16, 176, 272);
    HistoryButton = button("HistoryButton", "3 Day Graph", 16, 192, 81);
    MonthButton = button("MonthButton", "30 Day Graph", 112, 192, 81);
    YearButton = button("YearButton", "Year Graph", 208, 192, 81);
    line("Line4", 16, 232, 272);
    label("Label4", "Current Conditions:", 24, 248, 137, 17, true);
    Status = label("Status", "PENDING", 16, 288, 273, 65);
    Status->setAlignment(Qt::AlignCenter);
    Status->setFont(ui::stateFont());
    setStatusColor(0);
    line("Line1", 16, 368, 272);
    SetupButton = button("SetupButton", "Setup", 88, 384, 57);
    AboutButton = button("AboutButton", "About", 160, 384, 57);

    sbStatusBar = new QStatusBar(this);
    sbStatusBar->setObjectName("sbStatusBar");
    sbStatusBar->setGeometry(0, 423, 308, 18);
    sbStatusBar->setSizeGripEnabled(false);
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

    QWidget* order[] = {SkyTemp,       AmbientTemp, SetupButton, AboutButton,
                        HistoryButton, DiffTemp,    MonthButton, YearButton};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
    setFocusProxy(SkyTemp);

    connect(HistoryButton, &QPushButton::clicked, this, &frmMain::HistoryButton_Click);
    connect(MonthButton, &QPushButton::clicked, this, &frmMain::MonthButton_Click);
    connect(YearButton, &QPushButton::clicked, this, &frmMain::YearButton_Click);
    connect(SetupButton, &QPushButton::clicked, this, &frmMain::SetupButton_Click);
    connect(AboutButton, &QPushButton::clicked, this, &frmMain::AboutButton_Click);
}

void frmMain::Form_Load() {
    // automation.ini is read once; the verdict follows every cycle from the first on.
    automation_ = std::make_unique<AutomationPublisher>(GetEXEPath(services_), services_);
    notifier_ = std::make_unique<SystemdNotifier>(*automation_, automation_->state());
    monitor_->setCycleObserver(notifier_.get());
    monitor_->Form_Load([this] { createWindowsAndStartTimer(); });
    SkyTemp->setFocus();
}

void frmMain::createWindowsAndStartTimer() {
    const GraphKind kinds[] = {GraphKind::History, GraphKind::Month, GraphKind::Year};
    for (GraphKind kind : kinds) {
        auto* window = new GraphWindow(kind, settings_, services_, this);
        graphs_.push_back(window);
    }
    publishing_.setGraphs(graphs_[0], graphs_[1], graphs_[2]);
    setup_ = new frmSetup(settings_, services_, this);
    Timer1.setInterval(10000);
    Timer1.start();
    notifier_->ready();
}

GraphWindow* frmMain::graphWindow(int index) const {
    return index >= 0 && index < int(graphs_.size()) ? graphs_[index] : nullptr;
}

std::string frmMain::skyTemp() const {
    return SkyTemp->text().toStdString();
}
void frmMain::setSkyTemp(const std::string& text) {
    SkyTemp->setText(q(text));
}
std::string frmMain::ambientTemp() const {
    return AmbientTemp->text().toStdString();
}
void frmMain::setAmbientTemp(const std::string& text) {
    AmbientTemp->setText(q(text));
}
std::string frmMain::diffTemp() const {
    return DiffTemp->text().toStdString();
}
void frmMain::setDiffTemp(const std::string& text) {
    DiffTemp->setText(q(text));
}
std::string frmMain::statusCaption() const {
    return Status->text().toStdString();
}
void frmMain::setStatusCaption(const std::string& caption) {
    Status->setText(q(caption));
}

void frmMain::setStatusColor(int color) {
    statusColor_ = color;
    QPalette p = Status->palette();
    p.setColor(QPalette::WindowText, fromBgr(color));
    Status->setPalette(p);
}

std::string frmMain::statusBarText() const {
    return simpleText_->text().toStdString();
}
void frmMain::setStatusBarText(const std::string& text) {
    simpleText_->setText(q(text));
}

void frmMain::Timer1_Timer() {
    if (unloaded_) return;
    const bool outer = !monitor_->cycleRunning();
    monitor_->Timer1_Timer();
    // Setup pressed while the cycle waited for the sensor opens once the cycle is done.
    if (outer && setupPending_) {
        setupPending_ = false;
        QTimer::singleShot(0, this, &frmMain::SetupButton_Click);
    }
}

void frmMain::showGraph(int index) {
    GraphWindow* window = graphWindow(index);
    if (!window) return;
    if (!window->isVisible()) {
        loadOrder_.erase(std::remove(loadOrder_.begin(), loadOrder_.end(), window),
                         loadOrder_.end());
        loadOrder_.push_back(window);
    }
    window->showWindow();
}

void frmMain::HistoryButton_Click() {
    showGraph(0);
}
void frmMain::MonthButton_Click() {
    showGraph(1);
}
void frmMain::YearButton_Click() {
    showGraph(2);
}

void frmMain::saveConfigReporting(const char* procedure) {
    try {
        publishing_.SaveConfig();
    } catch (const std::exception& e) {
        reportError(services_, e, 0, procedure, "frmMain");
    }
}

void frmMain::SetupButton_Click() {
    if (!setup_ || unloaded_) return;
    if (monitor_->cycleRunning()) {
        setupPending_ = true;
        return;
    }
    setup_->showModal();
    saveConfigReporting("SetupButton_Click");
    Timer1_Timer();
}

void frmMain::AboutButton_Click() {
    const Version v = services_.version();
    services_.messageBox(services_.title() + " - Version " + std::to_string(v.major) + "." +
                         std::to_string(v.minor) + "." + std::to_string(v.revision));
}

void frmMain::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    if (notifier_) notifier_->stopping();
    Timer1.stop();
    // Newest first, the main window never. Windows loaded only by a redraw count as older.
    for (GraphWindow* g : graphs_) {
        if (g->isLoaded() && std::find(loadOrder_.begin(), loadOrder_.end(), g) == loadOrder_.end())
            loadOrder_.insert(loadOrder_.begin(), g);
    }
    for (auto it = loadOrder_.rbegin(); it != loadOrder_.rend(); ++it) {
        (*it)->unloadWindow();
    }
    loadOrder_.clear();
    services_.closeMessages();
    saveConfigReporting("Form_Unload");
}

void frmMain::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

}  // namespace skarvel
