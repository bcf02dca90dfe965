// The real main window, port and files on a full disk.
#include <sys/mount.h>

#include <gmock/gmock.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <thread>

#include "fakes/temp_dir.h"
#include "graphs/graph_window.h"
#include "integration/pty_sensor.h"
#include "store/readings_log.h"
#include "store/value_text.h"
#include "ui/frm_main.h"
#include "ui/qt_ui_helpers.h"

namespace skarvel {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::TempDir;

std::vector<std::string> sensorSays(float sky) {
    const std::string s = singleText(sky);
    return {"S" + s + "C:A10C:\r\n", "S" + s + "C:A10.5C:\r\n", "S" + s + "C:A10C:\r\n"};
}

/// The program in a fresh folder in memory, where the many fsyncs stay cheap: the test lays the
/// folder out, starts the window with a sensor on com1 and runs the cycles itself.
struct Program {
    /// Waits until the next quarter-hour mark is some seconds off, so that the cycles of the next
    /// few seconds neither write an unplanned line nor move on to a new day file.
    Program() {
        const CivilTime c = toCivil(QtDesktopServices().now());
        const int left = 900 - (c.minute % 15 * 60 + c.second);
        if (left < 10) std::this_thread::sleep_for(std::chrono::seconds(left + 1));
    }
    ~Program() {
        window.reset();
        sensor.reset();
        if (mounted) ::umount2(folder.str().c_str(), MNT_DETACH);
    }
    void start() {
        sensor.emplace(folder / "com1", sensorSays(-20.5f));
        window.emplace(SerialFactory{}, QString::fromStdString(folder.str()));
        window->Form_Load();
        window->Timer1.stop();
    }
    /// One cycle, with a log line due or not.
    void cycle(bool lineDue) {
        const int slot = quarterSlot(toCivil(window->services().now()).minute);
        window->monitor().logState().lastLogSlot = lineDue ? -1.0f : float(slot);
        window->Timer1_Timer();
    }
    std::vector<std::string> messages() {
        std::vector<std::string> texts;
        answerer.collect();
        for (const auto& s : answerer.seen) texts.push_back(s.text);
        answerer.seen.clear();
        return texts;
    }
    fs::path today() const { return folder / dayFileName(QtDesktopServices().now()); }
    std::string read(const std::string& name) const { return TempDir::read(folder / name); }
    std::string bar() const { return window->statusBarText(); }

    TempDir folder{true};
    bool mounted = false;
    testing::MessageBoxAnswerer answerer;  // before the window: start-up may show messages
    std::optional<testing::PtySensor> sensor;
    std::optional<frmMain> window;
};

TEST(Faults, FullDiskKeepsEveryFileWholeAndTheMonitorGoing) {
    Program p;
    if (::mount("tmpfs", p.folder.str().c_str(), "tmpfs", 0, "size=16m") != 0)
        GTEST_SKIP() << "mounting a small tmpfs is not permitted here";
    p.mounted = true;
    // Today's file stops 10 bytes short of a page, so the next line fits only in part.
    const fs::path today = p.today();
    const std::string record =
        dateTimeText(std::chrono::floor<std::chrono::days>(QtDesktopServices().now())) +
        ",0,-30\r\n";
    std::string log(4086 % record.size(), ' ');
    while (log.size() < 4086) log += record;
    TempDir::write(today, log);

    p.start();
    p.cycle(false);
    for (int i = 0; i < 3; ++i) p.window->graphWindow(i)->PlotGraph();
    ASSERT_TRUE(p.messages().empty());
    std::map<std::string, std::string> kept;
    for (const std::string n :
         {"config.ini", "status.txt", "CloudStatus.html", "history.bmp", "month.bmp", "year.bmp",
          "automation.ini", "safety.json", "boltwood.txt"})
        kept[n] = p.read(n);
    kept[today.filename()] = log;
    const auto unchanged = [&] {
        for (const auto& [n, bytes] : kept) EXPECT_EQ(p.read(n), bytes) << n;
        EXPECT_EQ(p.folder.entryCount(), kept.size() + 2);  // and com1 and the filler
    };
    const auto fill = [&] {
        std::ofstream filler(p.folder / "filler", std::ios::binary);
        const std::string block(65536, 'f');
        while (filler.write(block.data(), block.size())) {
        }
    };

    fill();
    p.cycle(false);  // status.txt fails silently
    EXPECT_THAT(p.messages(), ElementsAre("Error 61 (Disk full) at line 20 in procedure "
                                          "CreateWebPage of Form frmMain",
                                          "Error 61 (Disk full) at line 0 in procedure "
                                          "publishSafety of Form frmMain"));
    EXPECT_EQ(p.bar(), "");
    unchanged();

    p.cycle(true);
    EXPECT_THAT(p.messages(), ElementsAre("Error 61 (Disk full) at line 120 in procedure "
                                          "LogReadings of Form frmMain"));
    EXPECT_EQ(p.bar(), "");
    EXPECT_EQ(p.window->monitor().logState().lastLogSlot, -1.0f);  // the line is tried again
    unchanged();

    fs::remove(p.folder / "filler");
    p.window->Timer1_Timer();
    EXPECT_TRUE(p.messages().empty());
    const std::string grown = TempDir::read(today);
    ASSERT_TRUE(grown.starts_with(log));
    EXPECT_EQ(std::count(grown.begin() + log.size(), grown.end(), '\n'), 1);
    EXPECT_TRUE(grown.ends_with(",-20.5\r\n")) << grown.substr(log.size());
    EXPECT_EQ(p.window->monitor().logState().readingCount, 0);

    fill();
    const std::string config = p.read("config.ini");
    p.window->close();
    EXPECT_THAT(p.messages(), ElementsAre("Error 61 (Disk full) at line 0 in procedure "
                                          "Form_Unload of Form frmMain"));
    EXPECT_EQ(p.read("config.ini"), config);
}

}  // namespace
}  // namespace skarvel
