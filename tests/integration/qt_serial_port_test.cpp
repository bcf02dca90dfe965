// The real QSerialPort on pseudo-terminals, driven through the real main window.
#include <gtest/gtest.h>
#include <QLabel>
#include <QLineEdit>

#include "core/qt_serial_control.h"
#include "core/sensor_link.h"
#include "integration/pty_sensor.h"
#include "ui/frm_main.h"
#include "ui/qt_desktop_services.h"
#include "ui/qt_ui_helpers.h"

namespace skarvel {
namespace {

using namespace std::chrono_literals;
using testing::MessageBoxAnswerer;
using testing::PtySensor;
using testing::TempFolder;

TEST(RealSerialPort, ReadsMediansLosesAnUnpluggedSensorAndReopensANewOne) {
    TempFolder folder;
    MessageBoxAnswerer answerer;
    auto sensor = std::make_unique<PtySensor>(
        folder / "com1",
        std::vector<std::string>{"S-20.1C:A21C:\r\n", "S15C:A21C:\r\n", "S-20.2C:A23.5C:\r\n"});
    frmMain w({}, folder.q());
    w.Form_Load();
    ASSERT_TRUE(answerer.seen.empty()) << answerer.seen[0].text;
    ASSERT_TRUE(w.monitor().linkOpen());

    w.Timer1_Timer();
    EXPECT_EQ(w.SkyTemp->text(), "-20.1");
    EXPECT_EQ(w.AmbientTemp->text(), "21");
    EXPECT_EQ(w.Status->text(), "CLEAR");

    sensor->unplug();
    w.Timer1_Timer();
    EXPECT_EQ(w.statusBarText(), "Failed to get readings");
    EXPECT_FALSE(w.monitor().linkOpen());

    w.Timer1_Timer();  // the link is dead: ERROR and a failed reopen
    EXPECT_EQ(w.Status->text(), "ERROR");
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].text,
              "Error opening comm port 1, click the 'Setup' button and verify the com port "
              "selection");

    sensor = std::make_unique<PtySensor>(folder / "com1",
                                         std::vector<std::string>{"S-5.55C:A3.33C:\r\n"});
    w.Timer1_Timer();  // reopens
    EXPECT_TRUE(w.monitor().linkOpen());
    w.Timer1_Timer();
    EXPECT_EQ(w.SkyTemp->text(), "-5.6");
    EXPECT_EQ(w.AmbientTemp->text(), "3.3");
    EXPECT_EQ(w.Status->text(), "V.CLOUDY");
    EXPECT_EQ(answerer.seen.size(), 1u);
}

TEST(RealSerialPort, PortNumbersAndAPortInUse) {
    TempFolder folder;
    EXPECT_EQ(QtSerialControl::portPath(folder.q(), 1), "/dev/ttyS0");
    EXPECT_EQ(QtSerialControl::portPath(folder.q(), 4), "/dev/ttyS3");

    PtySensor sensor(folder / "com2", {"S-1C:A1C:\r\n"});
    const QString device = QtSerialControl::portPath(folder.q(), 2);
    EXPECT_TRUE(device.startsWith("/dev/pts/")) << device.toStdString();

    QtDesktopServices services(folder.q());
    MessageBoxAnswerer answerer;
    std::unique_ptr<SerialControl> first, second;
    std::int16_t port = 2;
    auto factory = [&] { return std::make_unique<QtSerialControl>(folder.q()); };
    ASSERT_TRUE(getComms(port, kLineSettings, first, factory, services));
    EXPECT_FALSE(getComms(port, kLineSettings, second, factory, services));
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].text.rfind("Error opening comm port 2,", 0), 0u);

    float ambient = 0, sky = 0;
    EXPECT_TRUE(getReadings(*first, services, ambient, sky));
    EXPECT_FLOAT_EQ(sky, -1);
    first.reset();  // releasing the control frees the port for the next open
    EXPECT_TRUE(getComms(port, kLineSettings, second, factory, services));
}

}  // namespace
}  // namespace skarvel
