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
#include "forms/form_table.h"
#include "qt/qt_graph_window.h"
#include "qt/qt_main_window.h"
#include "qt/qt_setup_dialog.h"

namespace skarvel {
namespace {

/// A form built as its table says: title, fixed size, and each control's place, size, font, text,
/// tooltip and read-only state; nothing more; the Tab round in the table's order.
void expectBuiltFrom(QWidget& form, const FormTable& table) {
    EXPECT_EQ(form.windowTitle().toStdString(), table.title);
    EXPECT_TRUE(form.size() == QSize(table.width, table.height) &&
                form.minimumSize() == form.maximumSize());
    std::map<int, QWidget*> round;
    for (const Control& c : table.controls) {
        auto* w = form.findChild<QWidget*>(c.name, Qt::FindDirectChildrenOnly);
        ASSERT_TRUE(w) << c.name;
        EXPECT_EQ(w->geometry(), QRect(c.x, c.y, c.width, c.height)) << c.name;
        EXPECT_EQ(w->font().bold(), c.font != FontKind::Normal) << c.name;
        EXPECT_EQ(w->property("text").toString().toStdString() + "|" + w->toolTip().toStdString(),
                  c.caption + std::string("|") + c.toolTip);
        EXPECT_EQ(w->property("readOnly").toBool(), c.readOnly) << c.name;
        if (c.tabIndex >= 0) round[c.tabIndex] = w;
    }
    EXPECT_EQ(std::ranges::count_if(form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly),
                                    [](QWidget* w) { return !w->isWindow(); }),
              long(table.controls.size()));
    QWidget* w = round.begin()->second;
    for (const auto& [index, next] : round) {
        EXPECT_EQ(w, next) << next->objectName().toStdString();
        do w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
    }
}

/// Answers every message box on screen while it lives, as a person pressing OK would, and keeps
/// what each showed.
struct MessageBoxAnswerer : QObject {
    const int timer = startTimer(10);
    void timerEvent(QTimerEvent*) override { collect(); }
    /// Answers the boxes on screen now; returns their texts.
    std::vector<std::string> collect() {
        std::vector<std::string> texts;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible()) continue;
            texts.push_back(box->text().toStdString());
            seen.push_back(texts.back());
            box->button(QMessageBox::Ok)->click();
        }
        return texts;
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
    expectBuiltFrom(w, frmMainTable());
    expectBuiltFrom(d, frmSetupTable());
    // Each graph button shows its window at the graphs' size; closing the main window closes
    // them and saves.
    for (auto* button : {w.YearButton, w.HistoryButton}) button->click();
    const auto shown = [] {
        QStringList names;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible())
                names << window->objectName() +
                             QString::asprintf(" %dx%d", window->width(), window->height());
        names.sort();
        return names.join(", ").toStdString();
    };
    EXPECT_EQ(shown(), "frmHistory 1016x549, frmYear 1016x549");
    std::filesystem::remove(folder / "config.ini");
    w.close();
    EXPECT_EQ(shown(), "");
    EXPECT_TRUE(std::filesystem::exists(folder / "config.ini") && answerer.seen.empty());
}

TEST_F(UiTest, MessagesNeverWaitRepeatsCountInTheirBoxAndAllGoToTheJournal) {
    const std::string page = "Error 76 at line 20 in procedure CreateWebPage";
    answerer.killTimer(answerer.timer);  // the keyboard answers here
    w.show();
    ::testing::internal::CaptureStderr();
    w.AboutButton->click();  // returns with the box still open: nobody is there to press OK
    // Whoever is there closes it with Enter, and has the main window's keyboard back.
    const auto active = [](QWidget* window) {
        return QTest::qWaitFor([window] { return QApplication::activeWindow() == window; }, 1000);
    };
    const QPointer about = w.findChild<QMessageBox*>();
    ASSERT_TRUE(about && active(about));
    EXPECT_EQ(about->focusWidget(), about->button(QMessageBox::Ok));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(active(&w) && !about);
    // A new box takes the focus; its repeats do not take it again.
    w.services().messageBox(page, "/srv/www/CloudStatus.html");
    w.activateWindow();
    for (int i = 0; i < 2; ++i) w.services().messageBox(page, "/srv/www/CloudStatus.html");
    const std::string journal = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(active(&w) &&
                !QTest::qWaitFor([&] { return QApplication::activeWindow() != &w; }, 100));
    EXPECT_TRUE(std::ranges::none_of(w.findChildren<QMessageBox*>(), &QWidget::isModal));
    EXPECT_THAT(answerer.collect(),
                ::testing::ElementsAre(::testing::StartsWith(page + " \u2014 3")));
    // The journal is standard error, where Qt's own warnings may come between.
    EXPECT_THAT(journal, ::testing::HasSubstr(" " + page + " [/srv/www/CloudStatus.html]\n"));
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
    EXPECT_TRUE(!d.isVisible() && w.settings().commportid == 3 && answerer.collect().empty());
}

}  // namespace
}  // namespace skarvel
