// The real main window, port and files when things go wrong: a sensor sending rubbish, spoilt
// day files, a web folder that comes and goes, names that cannot be written and a full disk.
#include <sys/mount.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QLineEdit>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "graphs/graph_window.h"
#include "integration/pty_sensor.h"
#include "store/file_io.h"
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
using ::testing::MatchesRegex;
using testing::MessageBoxAnswerer;
using testing::PtySensor;

std::vector<std::string> sensorSays(float sky) {
    const std::string s = singleText(sky);
    return {"S" + s + "C:A10C:\r\n", "S" + s + "C:A10.5C:\r\n", "S" + s + "C:A10C:\r\n"};
}

std::string contentOf(const fs::path& p) {
    return fs::exists(p) ? readWholeFile(p.string()) : std::string("(missing)");
}

/// Waits until the next quarter-hour mark is some seconds off, so that the cycles of the next
/// few seconds neither write an unplanned line nor move on to a new day file.
void clearOfQuarterMark() {
    const CivilTime c = toCivil(QtDesktopServices().now());
    const int left = 900 - (c.minute % 15 * 60 + c.second);
    if (left < 10) std::this_thread::sleep_for(std::chrono::seconds(left + 1));
}

/// A fresh folder, on /dev/shm where there is one so that the many fsyncs stay cheap.
struct Scratch {
    Scratch() {
        static int n = 0;
        path = fs::path(fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path()) /
               ("skarvel-faults-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
        fs::create_directories(path);
    }
    ~Scratch() {
        if (mounted) ::umount2(path.c_str(), MNT_DETACH);
        fs::remove_all(path);
    }
    fs::path operator/(const std::string& name) const { return path / name; }
    fs::path path;
    bool mounted = false;
};

/// The program in `folder`, a sensor on com1, message boxes answered; the test runs the cycles.
struct Program {
    explicit Program(const fs::path& folder)
        : folder(folder),
          sensor(folder / "com1", sensorSays(-20.5f)),
          window({}, QString::fromStdString(folder.string())) {
        window.Form_Load();
        window.Timer1.stop();
    }
    /// One cycle, with a log line due or not.
    void cycle(bool lineDue) {
        const int slot = quarterSlot(toCivil(window.services().now()).minute);
        window.monitor().logState().lastLogSlot = lineDue ? -1.0f : float(slot);
        window.Timer1_Timer();
    }
    std::vector<std::string> messages() {
        std::vector<std::string> texts;
        for (const auto& s : answerer.seen) texts.push_back(s.text);
        answerer.seen.clear();
        return texts;
    }
    fs::path today() { return folder / dayFileName(window.services().now()); }
    std::string bar() const { return window.statusBarText(); }
    std::string sky() const { return window.SkyTemp->text().toStdString(); }

    fs::path folder;
    MessageBoxAnswerer answerer;  // before the window: start-up may show messages
    PtySensor sensor;
    frmMain window;
};

/// The same failure reported by each graph window, in the order they redraw.
std::vector<Matcher<std::string>> fromEachGraph(const std::string& error,
                                                const std::string& procedure) {
    std::vector<Matcher<std::string>> m;
    for (const char* form : {"frmHistory", "frmMonth", "frmYear"}) {
        m.push_back(MatchesRegex("Error " + error + " at line [0-9]+ in procedure " + procedure +
                                 " of Form " + form));
    }
    return m;
}

TEST(Faults, RubbishOnThePortFailsSoftlyAndGoodLinesReadAgain) {
    Scratch folder;
    Program p(folder.path);
    p.cycle(false);
    ASSERT_EQ(p.sky(), "-20.5");
    struct Case {
        const char* what;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"binary", {"\0\0\xff\xfe\x80\r\n"s, "\xb0S\0\x01:\xe9:\x7f"s, "S-\xb0\xb1.5C:A5C:\r\n"s}},
        {"NUL inside a number", {"S-1\0002C:A5C:\r\n"s}},  // not -1
        {"1 MB without a line end", {std::string(1 << 20, 'x')}},
        {"long lines",
         {std::string(200000, '7') + "\r\n", "S" + std::string(100000, '9') + "C:A5C:\r\n"}},
    };
    float sky = -20.5f;
    for (const Case& c : cases) {
        const std::string status = contentOf(folder / "status.txt"), log = contentOf(p.today());
        p.sensor.send(c.lines);
        p.cycle(true);
        EXPECT_EQ(p.bar(), "Failed to get readings") << c.what;
        EXPECT_EQ(p.sky(), singleText(sky)) << c.what;
        EXPECT_TRUE(p.window.monitor().linkOpen()) << c.what;
        EXPECT_EQ(contentOf(folder / "status.txt"), status) << c.what;
        EXPECT_EQ(contentOf(p.today()), log) << c.what;

        sky += 1;
        p.sensor.send(sensorSays(sky));
        p.cycle(false);
        EXPECT_EQ(p.bar(), "") << c.what;
        EXPECT_EQ(p.sky(), singleText(sky)) << c.what;
    }
    EXPECT_TRUE(p.messages().empty());
}

TEST(Faults, SpoiltDayFilesCostTheirRedrawOnly) {
    struct Case {
        const char* what;
        std::string record;
        std::string error, procedure;
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
        clearOfQuarterMark();
        Scratch folder;
        const LocalTime now = QtDesktopServices().now();
        const std::string earlier = dateTimeText(addHours(now, -30));
        const std::string good = earlier + ",3.5,-20\r\n";
        const std::string spoilt = good + (c.record[0] == ',' ? earlier : "") + c.record;
        const fs::path yesterday = folder / dayFileName(addDays(now, -1));
        const fs::path today = folder / dayFileName(now);
        std::ofstream(yesterday, std::ios::binary) << spoilt;
        std::ofstream(today, std::ios::binary) << good;

        Program p(folder.path);
        p.cycle(true);
        EXPECT_THAT(p.messages(), ElementsAreArray(fromEachGraph(c.error, c.procedure))) << c.what;
        EXPECT_EQ(p.bar(), "") << c.what;
        EXPECT_EQ(contentOf(yesterday), spoilt) << c.what;
        const std::string log = contentOf(today);  // the old line and one whole new one
        EXPECT_TRUE(log.starts_with(good) && log.ends_with("\r\n") &&
                    std::count(log.begin(), log.end(), '\n') == 2)
            << c.what << log;
        EXPECT_NE(contentOf(folder / "status.txt").find(",CLEAR\r\n"), std::string::npos);
        EXPECT_NE(contentOf(folder / "CloudStatus.html").find(">CLEAR<"), std::string::npos);
        for (const char* image : {"history.bmp", "month.bmp", "year.bmp"})
            EXPECT_EQ(fs::exists(folder / image), c.imagesWritten) << c.what << " " << image;
    }
}

TEST(Faults, VanishedWebFolderIsReportedEachCycleAndUsedAgainOnceBack) {
    clearOfQuarterMark();
    Scratch folder;
    Program p(folder.path);
    const fs::path web = folder / "web";
    fs::create_directory(web);
    p.window.settings().webPath = web.string() + "/";
    p.cycle(false);
    ASSERT_TRUE(fs::exists(web / "CloudStatus.html"));

    fs::remove_all(web);
    const std::string pageMessage =
        "Error 76 (Path not found) at line 20 in procedure CreateWebPage of Form frmMain";
    fs::remove(folder / "status.txt");
    p.cycle(false);
    EXPECT_THAT(p.messages(), ElementsAre(pageMessage));
    EXPECT_TRUE(fs::exists(folder / "status.txt"));

    fs::remove(folder / "status.txt");
    p.cycle(true);  // the graphs cannot copy their images there either
    auto expected = fromEachGraph("76 \\(Path not found\\)", "PlotGraph");
    expected.push_back(pageMessage);
    EXPECT_THAT(p.messages(), ElementsAreArray(expected));
    EXPECT_TRUE(fs::exists(folder / "status.txt"));
    EXPECT_TRUE(fs::exists(folder / "history.bmp"));
    EXPECT_NE(contentOf(p.today()).find(",10,-20.5\r\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(web));

    fs::create_directory(web);
    p.cycle(false);
    EXPECT_TRUE(p.messages().empty());
    EXPECT_NE(contentOf(web / "CloudStatus.html").find("Sky temp = -20.5C"), std::string::npos);
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
        clearOfQuarterMark();
        Scratch folder;
        const std::string name =
            c.blocked == "today" ? dayFileName(QtDesktopServices().now()) : c.blocked;
        fs::create_directory(folder / name);
        Program p(folder.path);
        EXPECT_EQ(p.messages(), c.atStart) << name;
        p.cycle(true);
        EXPECT_EQ(p.messages(), c.inCycle) << name;
        EXPECT_EQ(p.bar(), "") << name;
        const bool logged = name != dayFileName(p.window.services().now());
        EXPECT_EQ(fs::is_regular_file(p.today()), logged) << name;
        // A failed line keeps the averaging for the next cycle and skips the page.
        EXPECT_EQ(p.window.monitor().logState().readingCount, logged ? 0 : 1) << name;
        EXPECT_EQ(fs::is_regular_file(folder / "CloudStatus.html"),
                  logged && name != "CloudStatus.html")
            << name;
        EXPECT_EQ(fs::is_regular_file(folder / "status.txt"), name != "status.txt") << name;
        for (const auto& e : fs::directory_iterator(folder.path))
            EXPECT_NE(e.path().filename().string()[0], '.') << e.path();  // no temporary left
    }
}

TEST(Faults, FullDiskKeepsEveryFileWholeAndTheMonitorGoing) {
    clearOfQuarterMark();
    Scratch folder;
    if (::mount("tmpfs", folder.path.c_str(), "tmpfs", 0, "size=16m") != 0)
        GTEST_SKIP() << "mounting a small tmpfs is not permitted here";
    folder.mounted = true;
    // Today's file stops 10 bytes short of a page, so the next line fits only in part.
    const LocalTime now = QtDesktopServices().now();
    const std::string record =
        dateTimeText(std::chrono::floor<std::chrono::days>(now)) + ",0,-30\r\n";
    std::string log(4086 % record.size(), ' ');
    while (log.size() < 4086) log += record;
    std::ofstream(folder / dayFileName(now), std::ios::binary) << log;

    Program p(folder.path);
    p.cycle(false);
    for (int i = 0; i < 3; ++i) p.window.graphWindow(i)->PlotGraph();
    ASSERT_TRUE(p.messages().empty());
    const char* names[] = {"config.ini",  "status.txt", "CloudStatus.html",
                           "history.bmp", "month.bmp",  "year.bmp"};
    std::map<std::string, std::string> kept;
    for (const char* n : names) kept[n] = contentOf(folder / n);
    kept[dayFileName(now)] = log;
    auto unchanged = [&] {
        for (const auto& [n, bytes] : kept) EXPECT_EQ(contentOf(folder / n), bytes) << n;
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder.path)) ++entries;
        EXPECT_EQ(entries, kept.size() + 2);  // and com1 and the filler: no temporaries
    };
    auto fill = [&] {
        std::ofstream filler(folder / "filler", std::ios::binary);
        const std::string block(65536, 'f');
        while (filler.write(block.data(), block.size())) {
        }
    };

    fill();
    p.cycle(false);
    EXPECT_THAT(p.messages(),
                ElementsAre("Error 61 (Disk full) at line 20 in procedure CreateWebPage of Form "
                            "frmMain"));  // status.txt fails silently
    EXPECT_EQ(p.bar(), "");
    unchanged();

    p.cycle(true);
    EXPECT_THAT(p.messages(),
                ElementsAre("Error 61 (Disk full) at line 120 in procedure LogReadings of Form "
                            "frmMain"));
    EXPECT_EQ(p.bar(), "");
    EXPECT_EQ(p.window.monitor().logState().lastLogSlot, -1.0f);  // the line is tried again
    unchanged();

    fs::remove(folder / "filler");
    p.window.Timer1_Timer();
    EXPECT_TRUE(p.messages().empty());
    const std::string grown = contentOf(folder / dayFileName(now));
    EXPECT_EQ(grown.substr(0, log.size()), log);
    EXPECT_EQ(std::count(grown.begin() + log.size(), grown.end(), '\n'), 1);
    EXPECT_TRUE(grown.ends_with(",10,-20.5\r\n")) << grown.substr(log.size());
    EXPECT_EQ(p.window.monitor().logState().readingCount, 0);

    fill();
    const std::string config = contentOf(folder / "config.ini");
    p.window.close();
    EXPECT_THAT(p.messages(), ElementsAre("Error 61 (Disk full) at line 0 in procedure "
                                          "Form_Unload of Form frmMain"));
    EXPECT_EQ(contentOf(folder / "config.ini"), config);
}

}  // namespace
}  // namespace skarvel
