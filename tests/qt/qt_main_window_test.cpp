#include <gmock/gmock.h>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <filesystem>

#include "fakes/fake_serial_control.h"
#include "fakes/temp_dir.h"
#include "qt/qt_graph_window.h"
#include "qt/qt_main_window.h"
#include "qt/qt_setup_dialog.h"

namespace skarvel {
namespace {

/// A form as its table gives it: title, size, and a line per control with its place and size,
/// what else it is and its text; then the round that Tab makes from `first`.
std::string describe(QWidget& form, QWidget* first) {
    QString out = form.windowTitle() + QString::asprintf(" %dx%d", form.width(), form.height());
    if (form.minimumSize() == form.maximumSize()) out += " fixed";
    for (QWidget* w : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isWindow()) continue;
        out += "\n" + QString::asprintf("%s %d %d %d %d%s%s %s", qUtf8Printable(w->objectName()),
                                        w->x(), w->y(), w->width(), w->height(),
                                        w->font().bold() ? " bold" : "",
                                        w->property("readOnly").toBool() ? " read-only" : "",
                                        qUtf8Printable(w->property("text").toString()))
                          .trimmed();
    }
    out += "\nTab:";
    // Round the focus chain once, from `first` back to it.
    for (QWidget* w = first; w != first || out.endsWith(':'); w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus) out += " " + w->objectName();
    return out.toStdString();
}

/// Answers every message box on screen while it lives, as a person pressing OK would, and keeps
/// what each showed.
struct MessageBoxAnswerer : QObject {
    const int timer = startTimer(10);
    void timerEvent(QTimerEvent*) override { answer(); }
    /// Answers the boxes on screen now.
    void answer() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible()) continue;
            seen.push_back(box->text().toStdString());
            box->button(QMessageBox::Ok)->click();
        }
    }
    std::vector<std::string> seen;
};

/// A sensor that always has a line reading V.CLOUDY waiting.
struct SteadySensor : testing::FakeSerialControl {
    inline static testing::FakeDesktopServices clock{""};  // never asked: the line is always there
    SteadySensor() : FakeSerialControl(clock, std::make_shared<testing::FakePortScript>()) {}
    int inBufferCount() override { return int(line.size()); }
    std::vector<std::uint8_t> input() override { return {line.begin(), line.end()}; }
    const std::string line = "S-5C:A5C:\r\n";
};

/// The main window, loaded, in a folder of its own.
struct UiTest : ::testing::Test {
    testing::TempDir folder;
    MessageBoxAnswerer answerer;
    QtMainWindow w{[] { return std::make_unique<SteadySensor>(); }, folder.str().c_str()};
    QtSetupDialog& d = (w.Form_Load(), *w.setupDialog());
};

TEST_F(UiTest, WindowsAreBuiltFromTheirTablesAndCloseWithTheMainWindow) {
    EXPECT_EQ(
        describe(w, w.focusWidget()),
        "Skarvel 308x441 fixed\nLine2 0 0 241 1\nLabel5 24 24 145 17 bold Current Readings:\n"
        "Label6 24 56 121 17 Sky temperature\nSkyTemp 168 56 57 19 read-only\nLabel3 24 96 121 17 "
        "Ambient temperature\nAmbientTemp 168 96 57 19 read-only\nLabel7 24 136 121 17 Temperature "
        "difference\nDiffTemp 168 136 57 19 read-only\nLine3 16 176 273 1\nHistoryButton 16 192 81 "
        "25 3 Day Graph\nMonthButton 112 192 81 25 30 Day Graph\nYearButton 208 192 81 25 Year "
        "Graph\nLine4 16 232 273 1\nLabel4 24 248 137 17 bold Current Conditions:\nStatus 16 288 "
        "273 65 bold PENDING\nLine1 16 368 273 1\nSetupButton 88 384 57 25 Setup\nAboutButton 160 "
        "384 57 25 About\nsbStatusBar 0 423 308 18\nTab: SkyTemp AmbientTemp SetupButton "
        "AboutButton HistoryButton DiffTemp MonthButton YearButton");
    EXPECT_EQ(
        describe(d, d.cmdOK),
        "Setup 243x202 fixed\nLabel4 16 16 97 17 Cloudy threshold\nCloudyThresholdField 136 16 33 "
        "19\nLabel3 16 48 121 17 Very Cloudy threshold\nVeryCloudyThresholdField 136 48 33 19\n"
        "Label1 16 80 49 17 Com port\nComPort 80 80 41 19 1\nLabel2 16 112 57 17 Web path\n"
        "WebPathField 80 112 145 19\ncmdOK 40 152 73 25 OK\ncmdCancel 128 152 73 25 Cancel\nTab: "
        "cmdOK cmdCancel ComPort WebPathField VeryCloudyThresholdField CloudyThresholdField");
    // Each graph button shows its window at the graphs' size; closing the main window closes
    // them and saves.
    for (auto* button : {w.YearButton, w.MonthButton, w.HistoryButton}) button->click();
    const auto shown = [] {
        QStringList names;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible())
                names << window->objectName() +
                             QString::asprintf(" %dx%d", window->width(), window->height());
        names.sort();
        return names.join(", ").toStdString();
    };
    EXPECT_EQ(shown(), "frmHistory 1016x549, frmMonth 1016x549, frmYear 1016x549");
    std::filesystem::remove(folder / "config.ini");
    w.close();
    EXPECT_EQ(shown(), "");
    EXPECT_TRUE(std::filesystem::exists(folder / "config.ini") && answerer.seen.empty());
}

TEST_F(UiTest, SetupKeysDoNotPressOkAndOkTakesWhatTheFieldsSay) {
    QTimer::singleShot(100, [&] {
        EXPECT_TRUE(d.isVisible() && d.focusWidget() == d.cmdOK);
        d.CloudyThresholdField->setText("-30");
        QTest::keyClick(d.cmdOK, Qt::Key_Return);  // Enter does not press OK
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    w.SetupButton->click();
    EXPECT_TRUE(!d.isVisible() && w.settings().cloudyThreshold == -25 && answerer.seen.empty());
    // Closing it ran a cycle: V.CLOUDY, in red.
    EXPECT_EQ(w.Status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    d.show();
    d.ComPort->setText(" 3 ");
    d.cmdOK->click();
    EXPECT_TRUE(!d.isVisible() && w.settings().commportid == 3 &&
                (answerer.answer(), answerer.seen.empty()));
}

}  // namespace
}  // namespace skarvel
