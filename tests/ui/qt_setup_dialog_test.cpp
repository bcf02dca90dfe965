#include <gtest/gtest.h>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "fakes/fake_desktop_services.h"
#include "qt_ui_helpers.h"
#include "store/settings.h"
#include "ui/frm_setup.h"

namespace skarvel {
namespace {

using testing::FakeDesktopServices;

struct SetupDialogTest : ::testing::Test {
    Settings settings{"/srv/www/", 1, -25, -15};
    FakeDesktopServices services;
    frmSetup dialog{settings, services};

    void type(const char* cloudy, const char* vCloudy, const char* port, const char* path) {
        dialog.CloudyThresholdField->setText(cloudy);
        dialog.VeryCloudyThresholdField->setText(vCloudy);
        dialog.ComPort->setText(port);
        dialog.WebPathField->setText(path);
    }
};

TEST_F(SetupDialogTest, LayoutTooltipsAndKeys) {
    EXPECT_EQ(dialog.windowTitle(), "Setup");
    EXPECT_EQ(dialog.size(), QSize(243, 202));
    const std::pair<QWidget*, QRect> geometry[] = {
        {dialog.CloudyThresholdField, {136, 16, 33, 19}},
        {dialog.VeryCloudyThresholdField, {136, 48, 33, 19}},
        {dialog.ComPort, {80, 80, 41, 19}},
        {dialog.WebPathField, {80, 112, 145, 19}},
        {dialog.cmdOK, {40, 152, 73, 25}},
        {dialog.cmdCancel, {128, 152, 73, 25}},
        {dialog.findChild<QLabel*>("Label4"), {16, 16, 97, 17}},
        {dialog.findChild<QLabel*>("Label3"), {16, 48, 121, 17}},
        {dialog.findChild<QLabel*>("Label1"), {16, 80, 49, 17}},
        {dialog.findChild<QLabel*>("Label2"), {16, 112, 57, 17}},
    };
    for (const auto& [widget, rect] : geometry) {
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), rect) << widget->objectName().toStdString();
    }
    EXPECT_EQ(dialog.CloudyThresholdField->toolTip(), "Temperature difference for a cloudy sky");
    EXPECT_EQ(dialog.VeryCloudyThresholdField->toolTip(),
              "Temperature difference for a very cloudy sky");
    EXPECT_EQ(dialog.WebPathField->toolTip(),
              "Enter the path to save the history image for web serving");
    QWidget* order[] = {dialog.cmdOK,
                        dialog.cmdCancel,
                        dialog.ComPort,
                        dialog.WebPathField,
                        dialog.VeryCloudyThresholdField,
                        dialog.CloudyThresholdField};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        EXPECT_EQ(testing::nextTabStop(order[i]), order[i + 1]) << i;
    }

    // Opening fills the fields in the general form; Enter does not press OK, Esc cancels.
    settings.cloudyThreshold = -27.5f;
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(dialog.CloudyThresholdField->text(), "-27.5");
        EXPECT_EQ(dialog.VeryCloudyThresholdField->text(), "-15");
        EXPECT_EQ(dialog.ComPort->text(), "1");
        EXPECT_EQ(dialog.WebPathField->text(), "/srv/www/");
        EXPECT_EQ(dialog.focusWidget(), dialog.cmdOK);
        dialog.CloudyThresholdField->setText("-30");
        QTest::keyClick(dialog.cmdOK, Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible());
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    dialog.showModal();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FLOAT_EQ(settings.cloudyThreshold, -27.5f);
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(SetupDialogTest, OkTakesTheFieldsOverOrRefusesWithAMessage) {
    QTimer::singleShot(0, [&] {
        // Wrong order: refused, but port and path already taken over.
        type("-10", "-20", "3", "/var/www");
        dialog.cmdOK->click();
        ASSERT_EQ(services.messages.size(), 1u);
        EXPECT_EQ(services.messages[0], "Error: V.Cloudy threshold lower than Cloudy threshold");
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(settings.commportid, 3);
        EXPECT_EQ(settings.webPath, "/var/www/");
        EXPECT_FLOAT_EQ(settings.cloudyThreshold, -25);

        // Entries the program cannot use change nothing.
        const char* bad[][4] = {{"x", "-15", "2", "/a"},     {"-25", "", "2", "/a"},
                                {"-25", "-15", "0", "/a"},   {"-25", "-15", "40000", "/a"},
                                {"-25", "-15", "0.5", "/a"}, {"-25", "-15", "2", ""},
                                {"-25", "-15", "2", "/a,b"}, {"-25", "-15", "2", "/a\"b"}};
        for (const auto& b : bad) {
            type(b[0], b[1], b[2], b[3]);
            dialog.cmdOK->click();
            EXPECT_TRUE(dialog.isVisible());
        }
        EXPECT_EQ(services.messages.size(), 1u + std::size(bad));
        EXPECT_EQ(services.messages[1], "Cloudy threshold must be a number");
        EXPECT_EQ(services.messages[3], "Com port must be a number from 1 to 32767");
        EXPECT_EQ(settings.commportid, 3);
        EXPECT_EQ(settings.webPath, "/var/www/");

        type("-20", "-20.0", "3.5", "/srv/web/");  // equal thresholds pass; final "/" kept
        dialog.cmdOK->click();
    });
    dialog.showModal();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(settings.commportid, 4);  // a half rounds to the even neighbour; 2.5 would give 2
    EXPECT_EQ(settings.webPath, "/srv/web/");
    EXPECT_FLOAT_EQ(settings.cloudyThreshold, -20);
    EXPECT_FLOAT_EQ(settings.vCloudyThreshold, -20);

    // Reopening shows the values in the general form; the close box cancels.
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(dialog.VeryCloudyThresholdField->text(), "-20");
        dialog.VeryCloudyThresholdField->setText("-1");
        dialog.close();
    });
    dialog.showModal();
    EXPECT_FLOAT_EQ(settings.vCloudyThreshold, -20);
}

}  // namespace
}  // namespace skarvel
