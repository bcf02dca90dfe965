#include <gmock/gmock.h>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <regex>
#include <sstream>

#include "fakes/fake_serial_control.h"
#include "fakes/temp_dir.h"
#include "graphs/graph_window.h"
#include "qt_ui_helpers.h"
#include "ui/frm_main.h"
#include "ui/frm_setup.h"

namespace skarvel {
namespace {

using Texts = std::vector<std::string>;

/// A form as its table gives it: title, size, and a line per child with its place and size, what
/// else it is, its text and its tooltip; then the round that Tab makes from `first`.
std::string describe(QWidget& form, QWidget* first) {
    QString out =
        QString::asprintf("%s %dx%d%s\n", qUtf8Printable(form.windowTitle()), form.width(),
                          form.height(), form.minimumSize() == form.maximumSize() ? " fixed" : "");
    for (QWidget* w : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w->isWindow()) continue;
        const auto* box = qobject_cast<QLineEdit*>(w);
        const QString text = w->property("text").toString(), tip = w->toolTip();
        out += QString::asprintf("%s %d %d %d %d", qUtf8Printable(w->objectName()), w->x(), w->y(),
                                 w->width(), w->height()) +
               (w->font().bold() ? " bold" : "") + (box && box->isReadOnly() ? " read-only" : "") +
               (text.isEmpty() ? "" : " " + text) + (tip.isEmpty() ? "" : " ~" + tip) + "\n";
    }
    out += "Tab:";
    for (QWidget* w = first; w != first || out.endsWith(':'); w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus) out += " " + w->objectName();
    }
    return out.toStdString();
}

/// A sensor that always has a line reading V.CLOUDY waiting.
struct SteadySensor : testing::FakeSerialControl {
    inline static testing::FakeDesktopServices clock{""};
    SteadySensor() : FakeSerialControl(clock, std::make_shared<testing::FakePortScript>()) {}
    int inBufferCount() override { return int(line.size()); }
    std::vector<std::uint8_t> input() override { return {line.begin(), line.end()}; }
    const std::string line = "S-5C:A5C:\r\n";
};

/// The main window, loaded, in a folder of its own.
struct UiTest : ::testing::Test {
    testing::TempDir folder;
    testing::MessageBoxAnswerer answerer;
    frmMain w{[] { return std::make_unique<SteadySensor>(); },
              QString::fromStdString(folder.str())};
    frmSetup& d = (w.Form_Load(), *w.setupDialog());
};

TEST_F(UiTest, WindowsFollowTheirTablesAndGraphWindowsComeOnceAndGoNewestFirst) {
    EXPECT_EQ(
        describe(w, w.focusWidget()),
        "Skarvel 308x441 fixed\nLine2 0 0 241 1\nLabel5 24 24 145 17 bold Current Readings:\n"
        "Label6 24 56 121 17 Sky temperature\nSkyTemp 168 56 57 19 read-only\nLabel3 24 96 121 17 "
        "Ambient temperature\nAmbientTemp 168 96 57 19 read-only\nLabel7 24 136 121 17 Temperature "
        "difference\nDiffTemp 168 136 57 19 read-only ~Temperature difference between Sky and "
        "Ambient\nLine3 16 176 273 1\nHistoryButton 16 192 81 25 3 Day Graph\nMonthButton 112 192 "
        "81 25 30 Day Graph\nYearButton 208 192 81 25 Year Graph\nLine4 16 232 273 1\nLabel4 24 248"
        " 137 17 bold Current Conditions:\nStatus 16 288 273 65 bold PENDING\nLine1 16 368 273 1\n"
        "SetupButton 88 384 57 25 Setup\nAboutButton 160 384 57 25 About\nsbStatusBar 0 423 308 18"
        "\nTab: SkyTemp AmbientTemp SetupButton AboutButton HistoryButton DiffTemp MonthButton "
        "YearButton");
    EXPECT_EQ(
        describe(d, d.cmdOK),
        "Setup 243x202 fixed\nLabel4 16 16 97 17 Cloudy threshold\nCloudyThresholdField 136 16 33 "
        "19 ~Temperature difference for a cloudy sky\nLabel3 16 48 121 17 Very Cloudy threshold\n"
        "VeryCloudyThresholdField 136 48 33 19 ~Temperature difference for a very cloudy sky\n"
        "Label1 16 80 49 17 Com port\nComPort 80 80 41 19 1\nLabel2 16 112 57 17 Web path\n"
        "WebPathField 80 112 145 19 ~Enter the path to save the history image for web serving\n"
        "cmdOK 40 152 73 25 OK\ncmdCancel 128 152 73 25 Cancel\nTab: cmdOK cmdCancel ComPort "
        "WebPathField VeryCloudyThresholdField CloudyThresholdField");
    EXPECT_TRUE(w.Status->font().pointSizeF() >= 30 && w.Status->alignment() == Qt::AlignCenter);
    // Each graph button shows its one window; closing unloads them newest first and saves.
    for (auto* button : {w.YearButton, w.HistoryButton, w.HistoryButton}) button->click();
    struct CloseSpy : QObject {
        QString closed;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (o->isWidgetType() && e->type() == QEvent::Close) closed += o->objectName() + ' ';
            return false;
        }
    } spy;
    qApp->installEventFilter(&spy);
    EXPECT_TRUE(w.graphWindow(0)->isVisible() && w.graphWindow(2)->isVisible());
    std::filesystem::remove(folder / "config.ini");
    w.close();
    EXPECT_EQ(spy.closed, "frmMain frmHistory frmYear ");
    EXPECT_FALSE(w.graphWindow(0)->isVisible() || w.graphWindow(2)->isVisible());
    EXPECT_TRUE(std::filesystem::exists(folder / "config.ini") && answerer.seen.empty());
}

TEST_F(UiTest, MessagesNeverWaitRepeatsCountInTheirBoxAndAllGoToTheJournal) {
    const std::string page = "Error 76 at line 20 in procedure CreateWebPage";
    ::testing::internal::CaptureStderr();
    w.AboutButton->click();  // returns with the box still open: nobody is there to press OK
    for (int i = 0; i < 3; ++i) w.services().messageBox(page, "/srv/www/CloudStatus.html");
    const std::string journal = ::testing::internal::GetCapturedStderr();
    for (auto* box : w.findChildren<QMessageBox*>())
        EXPECT_TRUE(box->isVisible() && !box->isModal() && box->icon() == QMessageBox::NoIcon);
    EXPECT_THAT(answerer.collect(),
                ::testing::UnorderedElementsAre(
                    "Skarvel - Version 1.3.0",
                    ::testing::MatchesRegex(page + " \u2014 3 times, last at "
                                                   "[0-9]+:[0-9]{2}:[0-9]{2} [AP]M")));
    // Every message, with the date and time in front; Qt's own warnings share the stream.
    const std::regex stamped("[0-9]{4}(-[0-9]{2}){2} [0-9]{2}(:[0-9]{2}){2} (.*)");
    Texts lines;
    for (std::sregex_iterator i(journal.begin(), journal.end(), stamped), end; i != end; ++i)
        lines.push_back((*i)[3]);
    const std::string named = page + " [/srv/www/CloudStatus.html]";
    EXPECT_EQ(lines, (Texts{"Skarvel - Version 1.3.0", named, named, named}));
}

TEST_F(UiTest, SetupPressedDuringACycleOpensAfterItAndSavesAndRunsACycleEvenWhenCancelled) {
    std::filesystem::remove(folder / "config.ini");
    QTimer::singleShot(100, [&] {  // while the cycle waits for the sensor
        EXPECT_TRUE(w.monitor().cycleRunning());
        w.SetupButton->click();
        EXPECT_FALSE(d.isVisible());
    });
    w.Timer1_Timer();
    w.setStatusCaption("");
    QTimer::singleShot(100, [&] {
        EXPECT_TRUE(d.isVisible() && d.focusWidget() == d.cmdOK && !w.monitor().cycleRunning());
        d.CloudyThresholdField->setText("-30");
        QTest::keyClick(d.cmdOK, Qt::Key_Return);  // Enter does not press OK
        EXPECT_TRUE(d.isVisible());
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Status->text() != ""; }, 10000));
    EXPECT_TRUE(std::filesystem::exists(folder / "config.ini") && answerer.seen.empty());
    EXPECT_TRUE(w.settings().cloudyThreshold == -25 && w.Status->text() == "V.CLOUDY");
    EXPECT_EQ(w.Status->palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

TEST_F(UiTest, SetupRefusesWhatItCannotUseNamingTheField) {
    // Cloudy, very cloudy, port, path, and the refusal. Thresholds in the wrong order are refused,
    // but port and path are taken over already. Equal thresholds pass, a half rounds to the even
    // neighbour (0.5 to 0, refused) and a final "/" is kept.
    std::istringstream rows(
        "-10|-20|2.5|/var/www|Error: V.Cloudy threshold lower than Cloudy threshold\n"
        "x|-15|2|/a|Cloudy threshold must be a number\n"
        "-25||2|/a|Very Cloudy threshold must be a number\n"
        "-25|-15|40000|/a|Com port must be a number from 1 to 32767\n"
        "-25|-15|0.5|/a|Com port must be a number from 1 to 32767\n"
        "-25|-15|2||Web path must not be empty\n"
        "-25|-15|2|/a,b|Web path must not contain a comma or a double quote\n"
        "-25|-15|2|/a\"b|Web path must not contain a comma or a double quote\n"
        "-20|-20.0|3.5|/srv/web/|");
    d.show();
    const Settings& s = w.settings();
    for (std::string row, refusal; std::getline(rows, row);) {
        std::istringstream in(row);
        for (auto* field : d.findChildren<QLineEdit*>()) {
            std::getline(in, refusal, '|');
            field->setText(QString::fromStdString(refusal));
        }
        std::getline(in, refusal = "");
        d.cmdOK->click();
        EXPECT_EQ(answerer.collect(), refusal.empty() ? Texts{} : Texts{refusal}) << row;
        EXPECT_EQ(d.isVisible(), s.cloudyThreshold == -25) << row;
        const std::string portAndPath = std::to_string(s.commportid) + s.webPath;
        EXPECT_EQ(portAndPath, d.isVisible() ? "2/var/www/" : "4/srv/web/") << row;
    }
    EXPECT_EQ(s.vCloudyThreshold, -20);
}

}  // namespace
}  // namespace skarvel
