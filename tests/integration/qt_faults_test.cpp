// The real main window, port and files when things go wrong: a sensor sending rubbish or pulled
// out, a port in use, spoilt day files, a web folder that comes and goes, names that cannot be
// written and a full disk.
#include <sys/mount.h>

#include <gmock/gmock.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <thread>

#include "core/qt_serial_control.h"
#include "core/sensor_link.h"
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
using namespace std::string_literals;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Matcher;
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

/// The same failure reported by each graph window, in the order they redraw.
std::vector<Matcher<std::string>> fromEachGraph(const std::string& error,
                                                const std::string& procedure) {
    std::vector<Matcher<std::string>> m;
    for (const char* form : {"frmHistory", "frmMonth", "frmYear"}) {
        m.push_back(::testing::MatchesRegex("Error " + error + " at line [0-9]+ in procedure " +
                                            procedure + " of Form " + form));
    }
    return m;
}

TEST(Faults, RubbishOnThePortFailsSoftlyAndGoodLinesReadAgain) {
    Program p;
    p.start();
    p.cycle(false);
    ASSERT_EQ(p.window->skyTemp(), "-20.5");
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"binary", {"\0\0\xff\xfe\x80\r\n"s, "\xb0S\0\x01:\xe9:\x7f"s, "S-\xb0\xb1.5C:A5C:\r\n"s}},
        {"NUL inside a number", {"S-1\0002C:A5C:\r\n"s}},  // not -1
        {"1 MB without a line end", {std::string(1 << 20, 'x')}},
        {"long lines",
         {std::string(200000, '7') + "\r\n", "S" + std::string(100000, '9') + "C:A5C:\r\n"}},
    };
    float sky = -20.5f;
    for (const auto& [what, lines] : cases) {
        SCOPED_TRACE(what);
        const std::string status = p.read("status.txt"), log = TempDir::read(p.today());
        p.sensor->send(lines);
        p.cycle(true);
        EXPECT_EQ(p.bar(), "Failed to get readings");
        EXPECT_EQ(p.window->skyTemp(), singleText(sky));
        EXPECT_TRUE(p.window->monitor().linkOpen());
        EXPECT_EQ(p.read("status.txt"), status);
        EXPECT_EQ(TempDir::read(p.today()), log);

        p.sensor->send(sensorSays(sky += 1));
        p.cycle(false);
        EXPECT_EQ(p.bar(), "");
        EXPECT_EQ(p.window->skyTemp(), singleText(sky));
    }
    EXPECT_TRUE(p.messages().empty());
}

TEST(Faults, UnpluggedSensorIsLostAndANewOneReopened) {
    Program p;
    p.start();
    p.sensor.reset();
    p.cycle(false);
    EXPECT_EQ(p.bar(), "Failed to get readings");
    EXPECT_FALSE(p.window->monitor().linkOpen());
    p.cycle(false);  // the link is dead: ERROR and a failed reopen
    EXPECT_EQ(p.window->statusCaption(), "ERROR");
    EXPECT_THAT(p.messages(), ElementsAre("Error opening comm port 1, click the 'Setup' button "
                                          "and verify the com port selection"));
    p.sensor.emplace(p.folder / "com1", sensorSays(-5.55f));
    p.cycle(false);  // reopens
    EXPECT_TRUE(p.window->monitor().linkOpen());
    p.cycle(false);
    EXPECT_EQ(p.window->skyTemp(), "-5.6");
    EXPECT_EQ(p.window->statusCaption(), "CLOUDY");  // -5.55 - 10
    EXPECT_TRUE(p.messages().empty());
}

TEST(Faults, APortInUseIsRefusedUntilItsHolderLetsGo) {
    Program p;
    p.start();
    const QString folder = QString::fromStdString(p.folder.str());
    EXPECT_TRUE(QtSerialControl::portPath(folder, 1).startsWith("/dev/pts/"));
    EXPECT_EQ(QtSerialControl::portPath(folder, 4), "/dev/ttyS3");  // no link: the standard port
    QtDesktopServices services(folder);
    std::unique_ptr<SerialControl> second;
    std::int16_t port = 1;
    const auto factory = [&] { return std::make_unique<QtSerialControl>(folder); };
    EXPECT_FALSE(getComms(port, kLineSettings, second, factory, services));
    EXPECT_THAT(p.messages(), ElementsAre(::testing::StartsWith("Error opening comm port 1,")));
    p.window.reset();  // and with it the monitor's control
    ASSERT_TRUE(getComms(port, kLineSettings, second, factory, services));
    float ambient = 0, sky = 0;
    EXPECT_TRUE(getReadings(*second, services, ambient, sky));
    EXPECT_FLOAT_EQ(sky, -20.5f);
}

TEST(Faults, SpoiltDayFilesCostTheirRedrawOnly) {
    struct Case {
        const char* what;
        std::string record, error, procedure;
        bool imagesWritten;
    };
    const Case cases[] = {
        {"a field that is no number", ",warm,-20.5\r\n", "13 \\(Type mismatch\\)", "plotEntry",
         true},
        {"a date that is no date", "13/45/2026 10:00:05 AM,3,-20\r\n", "13 \\(Type mismatch\\)",
         "PlotGraph", false},
        {"a truncated last record", ",3.2", "62 \\(Input past end of file\\)", "PlotGraph", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Program p;
        const LocalTime now = QtDesktopServices().now();
        const std::string earlier = dateTimeText(addHours(now, -30));
        const std::string good = earlier + ",3.5,-20\r\n";
        const std::string spoilt = good + (c.record[0] == ',' ? earlier : "") + c.record;
        const std::string yesterday = dayFileName(addDays(now, -1));
        TempDir::write(p.folder / yesterday, spoilt);
        TempDir::write(p.today(), good);
        p.start();
        p.cycle(true);
        EXPECT_THAT(p.messages(), ElementsAreArray(fromEachGraph(c.error, c.procedure)));
        EXPECT_EQ(p.bar(), "");
        EXPECT_EQ(p.read(yesterday), spoilt);
        const std::string log = TempDir::read(p.today());  // the old line and one whole new one
        EXPECT_TRUE(log.starts_with(good) && log.ends_with("\r\n") &&
                    std::count(log.begin(), log.end(), '\n') == 2)
            << log;
        EXPECT_NE(p.read("status.txt").find(",CLEAR\r\n"), std::string::npos);
        EXPECT_NE(p.read("CloudStatus.html").find(">CLEAR<"), std::string::npos);
        for (const char* image : {"history.bmp", "month.bmp", "year.bmp"})
            EXPECT_EQ(fs::exists(p.folder / image), c.imagesWritten) << image;
    }
}

TEST(Faults, VanishedWebFolderIsReportedEachCycleAndUsedAgainOnceBack) {
    Program p;
    p.start();
    const fs::path web = p.folder / "web";
    fs::create_directory(web);
    p.window->settings().webPath = web.string() + "/";
    p.cycle(false);
    ASSERT_TRUE(fs::exists(web / "CloudStatus.html"));

    fs::remove_all(web);
    fs::remove(p.folder / "status.txt");
    const std::string pageMessage =
        "Error 76 (Path not found) at line 20 in procedure CreateWebPage of Form frmMain";
    p.cycle(true);  // the graphs cannot copy their images there either
    auto expected = fromEachGraph("76 \\(Path not found\\)", "PlotGraph");
    expected.push_back(pageMessage);
    EXPECT_THAT(p.messages(), ElementsAreArray(expected));
    EXPECT_TRUE(fs::exists(p.folder / "status.txt"));
    EXPECT_TRUE(fs::exists(p.folder / "history.bmp"));
    EXPECT_NE(TempDir::read(p.today()).find(",10,-20.5\r\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(web));
    p.cycle(false);
    EXPECT_THAT(p.messages(), ElementsAre(pageMessage));

    fs::create_directory(web);
    p.cycle(false);
    EXPECT_TRUE(p.messages().empty());
    EXPECT_NE(TempDir::read(web / "CloudStatus.html").find("Sky temp = -20.5C"), std::string::npos);
}

TEST(Faults, NamesThatCannotBeWrittenAreReportedOrSkippedAsTheirOwnersSay) {
    struct Case {
        std::string blocked;  // made a folder, which even root cannot write as a file
        std::vector<std::string> atStart, inCycle;
    };
    const std::string access = "Error 75 (Path/File access error) at line ";
    const Case cases[] = {
        {"status.txt", {}, {}},
        {"today", {}, {access + "110 in procedure LogReadings of Form frmMain"}},
        {"CloudStatus.html", {}, {access + "20 in procedure CreateWebPage of Form frmMain"}},
        {"config.ini", {access + "70 in procedure Form_Load of Form frmMain"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blocked);
        Program p;
        const bool logged = c.blocked != "today";
        fs::create_directory(logged ? p.folder / c.blocked : p.today());
        p.start();
        EXPECT_EQ(p.messages(), c.atStart);
        p.cycle(true);
        EXPECT_EQ(p.messages(), c.inCycle);
        EXPECT_EQ(p.bar(), "");
        EXPECT_EQ(fs::is_regular_file(p.today()), logged);
        // A failed line keeps the averaging for the next cycle and skips the page.
        EXPECT_EQ(p.window->monitor().logState().readingCount, logged ? 0 : 1);
        EXPECT_EQ(fs::is_regular_file(p.folder / "CloudStatus.html"),
                  logged && c.blocked != "CloudStatus.html");
        EXPECT_EQ(fs::is_regular_file(p.folder / "status.txt"), c.blocked != "status.txt");
        for (const auto& e : fs::directory_iterator(p.folder.str()))
            EXPECT_NE(e.path().filename().string()[0], '.') << e.path();  // no temporary left
    }
}

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
    EXPECT_TRUE(grown.ends_with(",10,-20.5\r\n")) << grown.substr(log.size());
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
