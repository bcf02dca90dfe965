#include <gmock/gmock.h>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "fakes/fake_serial_control.h"
#include "fakes/temp_dir.h"
#include "qt/qt_graph_window.h"
#include "qt/qt_main_window.h"
#include "qt/qt_setup_dialog.h"

namespace skarvel {
namespace {

/// The form as built: its title and fixed size, each control in creation order with its class,
/// place, size, text, bold font, read-only flag and tool tip, and the round that Tab makes.
std::string built(QWidget& form) {
    std::ostringstream out;
    out << form.objectName().toStdString() << " \"" << form.windowTitle().toStdString() << "\" "
        << form.width() << 'x' << form.height()
        << (form.minimumSize() == form.maximumSize() ? " fixed\n" : "\n");
    QWidget* first = nullptr;
    for (QWidget* w : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isWindow()) continue;
        out << w->objectName().toStdString() << ' ' << w->metaObject()->className() << ' ' << w->x()
            << ',' << w->y() << ' ' << w->width() << 'x' << w->height() << " \""
            << w->property("text").toString().toStdString() << '"'
            << (w->font().bold() ? " bold" : "")
            << (w->property("readOnly").toBool() ? " read-only" : "") << " \""
            << w->toolTip().toStdString() << "\"\n";
        if (!first && (w->focusPolicy() & Qt::TabFocus)) first = w;
    }
    out << "Tab:";
    QWidget* stop = first;
    do {
        out << ' ' << stop->objectName().toStdString();
        do stop = stop->nextInFocusChain();
        while (!(stop->focusPolicy() & Qt::TabFocus));
    } while (stop != first);
    return out.str() + '\n';
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

TEST_F(UiTest, WindowsAreBuiltAsDrawnAndCloseWithTheMainWindow) {
    // Both against their drawing, kept beside the tests.
    EXPECT_EQ(built(w) + built(d), testing::TempDir::read(SKARVEL_TEST_DATA_DIR "/forms.txt"));
    EXPECT_EQ(w.focusWidget(), w.SkyTemp);
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
