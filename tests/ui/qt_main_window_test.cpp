#include <gmock/gmock.h>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <regex>
#include <sstream>

#include "graphs/graph_window.h"
#include "qt_ui_helpers.h"
#include "store/file_io.h"
#include "ui/frm_main.h"
#include "ui/frm_setup.h"

namespace skarvel {
namespace {

using ::testing::MatchesRegex;
using testing::MessageBoxAnswerer;
using testing::TempDir;

TEST(MainWindow, LayoutCaptionsAndTabOrderFollowTheTable) {
    TempDir folder;
    frmMain w(testing::steadySensor("S-30C:A5C:\r\n"), testing::qpath(folder));
    EXPECT_EQ(w.windowTitle(), "Skarvel");
    EXPECT_EQ(w.size(), QSize(308, 441));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);

    struct Control {
        const char* name;
        QRect rect;
        const char* text;
    };
    const Control table[] = {
        {"Line2", {0, 0, 241, 1}, nullptr},
        {"Label5", {24, 24, 145, 17}, "Current Readings:"},
        {"Label6", {24, 56, 121, 17}, "Sky temperature"},
        {"SkyTemp", {168, 56, 57, 19}, ""},
        {"Label3", {24, 96, 121, 17}, "Ambient temperature"},
        {"AmbientTemp", {168, 96, 57, 19}, ""},
        {"Label7", {24, 136, 121, 17}, "Temperature difference"},
        {"DiffTemp", {168, 136, 57, 19}, ""},
        {"Line3", {16, 176, 273, 1}, nullptr},
        {"HistoryButton", {16, 192, 81, 25}, "3 Day Graph"},
        {"MonthButton", {112, 192, 81, 25}, "30 Day Graph"},
        {"YearButton", {208, 192, 81, 25}, "Year Graph"},
        {"Line4", {16, 232, 273, 1}, nullptr},
        {"Label4", {24, 248, 137, 17}, "Current Conditions:"},
        {"Status", {16, 288, 273, 65}, "PENDING"},
        {"Line1", {16, 368, 273, 1}, nullptr},
        {"SetupButton", {88, 384, 57, 25}, "Setup"},
        {"AboutButton", {160, 384, 57, 25}, "About"},
        {"sbStatusBar", {0, 423, 308, 18}, nullptr},
    };
    for (const auto& c : table) {
        auto* widget = w.findChild<QWidget*>(c.name);
        ASSERT_NE(widget, nullptr) << c.name;
        EXPECT_EQ(widget->geometry(), c.rect) << c.name;
        if (!c.text) continue;
        QString text;
        if (auto* l = qobject_cast<QLabel*>(widget)) text = l->text();
        if (auto* e = qobject_cast<QLineEdit*>(widget)) text = e->text();
        if (auto* b = qobject_cast<QPushButton*>(widget)) text = b->text();
        EXPECT_EQ(text.toStdString(), c.text) << c.name;
        // Captions must fit their boxes in whatever font stands in.
        if (qobject_cast<QLabel*>(widget) && widget != w.Status) {
            EXPECT_LE(widget->fontMetrics().horizontalAdvance(text), c.rect.width()) << c.name;
        }
    }
    EXPECT_TRUE(w.findChild<QLabel*>("Label5")->font().bold());
    EXPECT_FALSE(w.findChild<QLabel*>("Label6")->font().bold());
    EXPECT_TRUE(w.Status->font().bold());
    EXPECT_GE(w.Status->font().pointSizeF(), 30);
    EXPECT_EQ(w.Status->palette().color(QPalette::WindowText), QColor(0, 0, 0));
    EXPECT_EQ(w.Status->alignment(), Qt::AlignCenter);
    EXPECT_EQ(w.DiffTemp->toolTip(), "Temperature difference between Sky and Ambient");
    EXPECT_TRUE(w.SkyTemp->isReadOnly() && w.AmbientTemp->isReadOnly() && w.DiffTemp->isReadOnly());

    QWidget* expected[] = {w.SkyTemp,       w.AmbientTemp, w.SetupButton, w.AboutButton,
                           w.HistoryButton, w.DiffTemp,    w.MonthButton, w.YearButton};
    for (std::size_t i = 0; i + 1 < std::size(expected); ++i) {
        EXPECT_EQ(testing::nextTabStop(expected[i]), expected[i + 1]) << i;
    }

    MessageBoxAnswerer answerer;
    w.Form_Load();
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(QApplication::focusWidget(), w.SkyTemp);
    EXPECT_EQ(w.Timer1.interval(), 10000);
    EXPECT_TRUE(w.Timer1.isActive());
    EXPECT_TRUE(answerer.seen.empty());
}

TEST(MainWindow, MessagesNeverWaitRepeatsCountInTheirBoxAndAllGoToTheJournal) {
    TempDir folder;
    frmMain w(testing::steadySensor("S-30C:A5C:\r\n"), testing::qpath(folder));
    QtDesktopServices& services = w.services();
    const std::string page =
        "Error 76 (Path not found) at line 20 in procedure CreateWebPage of Form frmMain";
    ::testing::internal::CaptureStderr();
    w.AboutButton->click();  // returns with the box still open: nobody is there to press OK
    for (int i = 0; i < 3; ++i) services.messageBox(page, "/srv/www/CloudStatus.html");
    const std::string journal = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(services.openMessageCount(), 2);

    MessageBoxAnswerer boxes;
    boxes.collect();
    ASSERT_EQ(boxes.seen.size(), 2u);
    std::sort(boxes.seen.begin(), boxes.seen.end(),
              [](const auto& a, const auto& b) { return a.text < b.text; });
    const std::string repeats = page + " \u2014 3 times, last at ";
    EXPECT_EQ(boxes.seen[0].text.substr(0, repeats.size()), repeats);
    EXPECT_THAT(boxes.seen[0].text.substr(repeats.size()),
                MatchesRegex("[0-9]+:[0-9]{2}:[0-9]{2} [AP]M"));
    EXPECT_EQ(boxes.seen[1].text, "Skarvel - Version 1.3.0");
    for (const auto& box : boxes.seen) {
        EXPECT_EQ(box.title, "Skarvel");
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
        EXPECT_EQ(box.buttons, 1);
        EXPECT_FALSE(box.modal);
    }
    // Qt's own warnings share the stream; the journal lines are those with a time in front.
    std::istringstream lines(journal);
    std::vector<std::string> texts;
    const std::regex stamped("[0-9]{4}(-[0-9]{2}){2} [0-9]{2}(:[0-9]{2}){2} (.*)");
    for (std::string line; std::getline(lines, line);) {
        if (std::smatch m; std::regex_match(line, m, stamped)) texts.push_back(m[3]);
    }
    const std::string named = page + " [/srv/www/CloudStatus.html]";
    EXPECT_EQ(texts, (std::vector<std::string>{"Skarvel - Version 1.3.0", named, named, named}));
    // Once dismissed, the same text opens a box of its own again.
    ::testing::internal::CaptureStderr();
    services.messageBox(page);
    ::testing::internal::GetCapturedStderr();
    boxes.collect();
    EXPECT_EQ(boxes.seen.back().text, page);
}

TEST(MainWindow, CycleFillsTheWindowAndThePage) {
    TempDir folder;
    frmMain w(testing::steadySensor("S-12.34C:A+21.56C:\r\n"), testing::qpath(folder));
    MessageBoxAnswerer answerer;
    w.Form_Load();
    w.Timer1_Timer();
    EXPECT_EQ(w.SkyTemp->text(), "-12.4");
    EXPECT_EQ(w.AmbientTemp->text(), "21.5");
    EXPECT_EQ(w.DiffTemp->text(), "-33.9");
    EXPECT_EQ(w.Status->text(), "CLEAR");
    EXPECT_EQ(w.Status->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_EQ(w.statusBarText(), "");
    const std::string page = TempDir::read(folder / "CloudStatus.html");
    EXPECT_NE(page.find("<br>Sky temp = -12.4C\r\n"), std::string::npos);
    EXPECT_NE(page.find("<big style=\"color: green;\">"), std::string::npos);
    EXPECT_NE(TempDir::read(folder / "status.txt").find(",CLEAR\r\n"), std::string::npos);
    EXPECT_TRUE(answerer.seen.empty());
}

TEST(MainWindow, GraphButtonsShowOneWindowEachAndClosingUnloadsThemNewestFirst) {
    TempDir folder;
    auto* w = new frmMain(testing::steadySensor("S-30C:A5C:\r\n"), testing::qpath(folder));
    MessageBoxAnswerer answerer;
    w->Form_Load();
    w->show();
    w->YearButton->click();
    w->HistoryButton->click();
    w->HistoryButton->click();
    GraphWindow* history = w->graphWindow(0);
    GraphWindow* year = w->graphWindow(2);
    ASSERT_TRUE(history && year);
    EXPECT_TRUE(history->isVisible());
    EXPECT_TRUE(year->isVisible());
    EXPECT_FALSE(w->graphWindow(1)->isVisible());
    EXPECT_EQ(history->windowTitle(), "3 Day History Graph");
    int historyWindows = 0;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (top->isVisible() && top->windowTitle() == "3 Day History Graph") ++historyWindows;
    }
    EXPECT_EQ(historyWindows, 1);
    EXPECT_TRUE(FileExists((folder / "history.bmp").string()));

    std::vector<std::string> closed;
    struct CloseSpy : QObject {
        std::vector<std::string>* log;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Close)
                log->push_back(static_cast<QWidget*>(o)->windowTitle().toStdString());
            return false;
        }
    } spy;
    spy.log = &closed;
    history->installEventFilter(&spy);
    year->installEventFilter(&spy);

    std::filesystem::remove(folder / "config.ini");
    w->close();
    EXPECT_EQ(closed, (std::vector<std::string>{"3 Day History Graph", "Year History Graph"}));
    EXPECT_FALSE(history->isVisible());
    EXPECT_FALSE(year->isVisible());
    EXPECT_EQ(TempDir::read(folder / "config.ini"),
              "webPath," + folder.str() +
                  "/\r\ncommportid,1\r\ncloudyThreshold,-25\r\n"
                  "vCloudyThreshold,-15\r\n");
    EXPECT_TRUE(answerer.seen.empty());
    delete w;
}

TEST(MainWindow, SetupSavesEvenWhenCancelledAndRunsOneCycle) {
    TempDir folder;
    frmMain w(testing::steadySensor("S-30C:A5C:\r\n"), testing::qpath(folder));
    MessageBoxAnswerer answerer;
    w.Form_Load();
    w.show();
    std::filesystem::remove(folder / "config.ini");
    QTimer::singleShot(50, [&] {
        frmSetup* dialog = w.setupDialog();
        ASSERT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->focusWidget(), dialog->cmdOK);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    w.SetupButton->click();
    EXPECT_FALSE(w.setupDialog()->isVisible());
    EXPECT_TRUE(FileExists((folder / "config.ini").string()));
    EXPECT_EQ(w.Status->text(), "CLEAR");  // the cycle ran at once

    // A config.ini that cannot be written is reported, not lost silently.
    std::filesystem::remove(folder / "config.ini");
    std::filesystem::create_directory(folder / "config.ini");
    QTimer::singleShot(50, [&] { w.setupDialog()->cmdCancel->click(); });
    w.SetupButton->click();
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].text.rfind("Error 75 (Path/File access error) at line 0 in "
                                          "procedure SetupButton_Click of Form frmMain",
                                          0),
              0u)
        << answerer.seen[0].text;
}

}  // namespace
}  // namespace skarvel

namespace skarvel {
namespace {

TEST(MainWindow, SetupPressedDuringACycleOpensOnceTheCycleIsDone) {
    testing::TempDir folder;
    frmMain w(testing::steadySensor("S-30C:A5C:\r\n"), testing::qpath(folder));
    testing::MessageBoxAnswerer answerer;
    w.Form_Load();
    w.show();
    bool pressedDuringCycle = false, openedDuringCycle = true;
    QTimer::singleShot(100, [&] {
        pressedDuringCycle = w.monitor().cycleRunning();
        w.SetupButton->click();
        openedDuringCycle = w.setupDialog()->isVisible();
    });
    w.Timer1_Timer();
    EXPECT_TRUE(pressedDuringCycle);
    EXPECT_FALSE(openedDuringCycle);

    bool opened = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!w.setupDialog()->isVisible()) return;
        opened = true;
        EXPECT_FALSE(w.monitor().cycleRunning());
        w.setupDialog()->cmdCancel->click();
    });
    poll.start(10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return opened; }, 5000));
    EXPECT_TRUE(answerer.seen.empty());
}

}  // namespace
}  // namespace skarvel
