// The real QSerialPort on pseudo-terminals, driven through the real main window.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QLabel>
#include <QLineEdit>
#include <atomic>
#include <thread>

#include "core/qt_serial_control.h"
#include "core/sensor_link.h"
#include "ui/frm_main.h"
#include "ui/qt_desktop_services.h"
#include "ui/qt_ui_helpers.h"

namespace skarvel {
namespace {

using namespace std::chrono_literals;
using testing::MessageBoxAnswerer;
using testing::TempFolder;

/// A sensor on a pseudo-terminal, linked as `link`, sending `lines` in turn.
class PtySensor {
  public:
    PtySensor(const std::filesystem::path& link, std::vector<std::string> lines)
        : lines_(std::move(lines)) {
        char name[256];
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            throw std::runtime_error("pty");
        termios t{};
        tcgetattr(slave_, &t);
        cfmakeraw(&t);
        tcsetattr(slave_, TCSANOW, &t);
        std::filesystem::remove(link);
        std::filesystem::create_symlink(name, link);
        writer_ = std::thread([this] {
            for (std::size_t i = 0; !stop_; ++i) {
                const std::string& line = lines_[i % lines_.size()];
                if (::write(master_, line.data(), line.size()) < 0) break;
                std::this_thread::sleep_for(150ms);
            }
        });
    }
    ~PtySensor() { unplug(); }
    /// Closes both ends, as a USB adapter pulled out.
    void unplug() {
        stop_ = true;
        if (writer_.joinable()) writer_.join();
        if (master_ >= 0) ::close(master_);
        if (slave_ >= 0) ::close(slave_);
        master_ = slave_ = -1;
    }

  private:
    std::vector<std::string> lines_;
    int master_ = -1, slave_ = -1;
    std::atomic<bool> stop_{false};
    std::thread writer_;
};

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
