// The real monitor and the real simulator on a pseudo-terminal, on a fast fake clock, checked
// through the files they leave behind.
#include <gtest/gtest.h>
#include <QImage>
#include <QSerialPort>

#include <algorithm>
#include <cstdio>

#include "integration/whole_program.h"
#include "store/readings_log.h"
#include "store/status_page.h"

namespace skarvel {
namespace {

using namespace std::chrono_literals;
using testing::Child;
using testing::TempDir;
using testing::WholeProgram;
namespace fs = std::filesystem;

std::string defaultConfig(const std::string& webFolder) {
    return "webPath," + webFolder +
           "/\r\ncommportid,1\r\ncloudyThreshold,-25\r\nvCloudyThreshold,-15\r\n";
}

/// The time a line of the program's starts with, which must be in the program's fixed form.
LocalTime stampOf(const std::string& line) {
    const std::string text = line.substr(0, line.find(','));
    const LocalTime t = parseDateTime(text);
    EXPECT_EQ(dateTimeText(t), text);
    return t;
}

/// The three graphs in their own sizes, 24-bit, saved alike in both folders.
void expectImages(const fs::path& folder, const fs::path& web) {
    const std::pair<const char*, QSize> images[] = {
        {"history.bmp", {1000, 534}}, {"month.bmp", {1001, 529}}, {"year.bmp", {1001, 537}}};
    for (const auto& [name, size] : images) {
        SCOPED_TRACE(name);
        const std::string bytes = TempDir::read(folder / name);
        ASSERT_GT(bytes.size(), 54u);
        EXPECT_EQ(std::uint8_t(bytes[28]) | std::uint8_t(bytes[29]) << 8, 24) << "bits per pixel";
        const QImage image = QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()),
                                              int(bytes.size()), "BMP");
        EXPECT_EQ(image.size(), size);
        EXPECT_EQ(image.pixel(60, 105), qRgb(255, 255, 255));  // the frame's left edge
        EXPECT_EQ(image.pixel(460, 300), qRgb(255, 128, 0));   // -25, the cloudy threshold
        EXPECT_EQ(image.pixel(460, 200), qRgb(255, 0, 0));     // -15, the very cloudy one
        EXPECT_EQ(image.pixel(460, 400), qRgb(0, 0, 0));
        EXPECT_TRUE(TempDir::read(web / name) == bytes) << "the web copy differs";
    }
}

TEST(WholeProgram, FirstQuarterAfterStartLogsOneLinePublishesAndDraws) {
    struct Case {
        const char *start, *sky, *ambient;
        bool ownWebFolder;
        LocalTime quarter;
        const char *skyText, *ambientText, *delta, *state;
    };
    // Each start leaves the monitor 30 fake seconds (3 real ones) to come up before the quarter.
    const Case cases[] = {
        {"2026-12-07 10:14:30", "-8.46", "12.34", true, makeTime(2026, 12, 7, 10, 15), "-8.5",
         "12.3", "-20.8", "CLOUDY"},
        // Past midnight the line goes into the new day's file; no config.ini to begin with.
        {"2026-12-07 23:59:30", "-10", "-4", false, makeTime(2026, 12, 8), "-10", "-4", "-6",
         "V.CLOUDY"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        TempDir webFolder;
        WholeProgram run(c.start, c.sky, c.ambient,
                         c.ownWebFolder ? defaultConfig(webFolder.str()) : "");
        const std::string status = run.statusFrom(c.quarter);
        const fs::path folder = fs::canonical(run.folder.str());
        const fs::path web = c.ownWebFolder ? fs::path(webFolder.str()) : folder;
        EXPECT_EQ(run.read("config.ini"), defaultConfig(web.string()));

        int dayFiles = 0;
        for (const auto& e : fs::directory_iterator(folder))
            dayFiles += e.path().extension() == ".csv";
        EXPECT_EQ(dayFiles, 1);
        // Written by the first cycle of the new quarter, and only then.
        const std::string log = run.read(dayFileName(c.quarter));
        const LocalTime stamp = stampOf(log);
        EXPECT_EQ(log, dateTimeText(stamp) + "," + c.ambientText + "," + c.skyText + "\r\n");
        EXPECT_TRUE(stamp >= c.quarter && stamp < c.quarter + 30s) << log;

        EXPECT_EQ(run.read("status.txt"), status + "\r\n");
        EXPECT_EQ(status, dateTimeText(stampOf(status)) + "," + c.state);
        EXPECT_LT(stampOf(status), c.quarter + 40s) << status;

        EXPECT_EQ(TempDir::read(web / "CloudStatus.html"),
                  webPageText(c.state, c.ambientText, c.skyText, c.delta));
        EXPECT_EQ(fs::exists(folder / "CloudStatus.html"), !c.ownWebFolder);
        expectImages(folder, web);
    }
}

}  // namespace
}  // namespace skarvel

namespace skarvel {
namespace {

/// The serial port's lock file, which QSerialPort takes in the system's lock folder.
fs::path lockFileOf(const fs::path& link) {
    std::string device = fs::read_symlink(link).string();
    device = device.substr(device.find("/dev/") + 5);
    std::replace(device.begin(), device.end(), '/', '_');
    return fs::path("/run/lock") / ("LCK.." + device);
}

TEST(WholeProgram, NightFaultsPassWithNobodyThereAndSigtermEndsCleanly) {
    struct Case {
        const char* what;
        std::function<void(WholeProgram&)> prepare, fault, mend;
        std::string journal;  // the message and the start of what it concerns
        bool readingsStop;
    };
    const std::string port =
        "Error opening comm port 1, click the 'Setup' button and verify the com port selection [";
    TempDir web;
    std::optional<QSerialPort> holder;
    const auto folderAt = [](const char* name) {
        return [name](WholeProgram& r) {
            fs::remove(r.folder / name);
            fs::create_directory(r.folder / name);
        };
    };
    const auto removed = [](const char* name) {
        return [name](WholeProgram& r) { fs::remove(r.folder / name); };
    };
    const auto hold = [&](WholeProgram& r) {
        holder.emplace(QString::fromStdString(fs::canonical(r.folder / "com1").string()));
        ASSERT_TRUE(holder->open(QIODevice::ReadOnly));
    };
    const auto spoil = [](WholeProgram& r) {
        TempDir::write(r.folder / "2026_12_6.csv", "12/6/2026 3:00:00 AM,warm,-20\r\n");
    };
    const std::string access = "Error 75 (Path/File access error) at line ";
    // clang-format off
    const Case cases[] = {
        {"sensor unplugged for three cycles", {}, [](WholeProgram& r) { r.unplug(); },
         [](WholeProgram& r) { r.plugIn(); }, port, true},
        {"port held by another program", hold, {}, [&](WholeProgram&) { holder.reset(); },
         port + "/dev/pts/", true},
        {"web folder gone", {}, [&](WholeProgram&) { fs::remove_all(web.str()); },
         [&](WholeProgram&) { fs::create_directory(web.str()); },
         "Error 76 (Path not found) at line 20 in procedure CreateWebPage of Form frmMain [" +
             web.file("CloudStatus.html") + "]", false},
        {"config.ini a folder", folderAt("config.ini"), {}, {},
         access + "70 in procedure Form_Load", false},
        {"today's log file a folder", folderAt("2026_12_7.csv"), {}, removed("2026_12_7.csv"),
         access + "110 in procedure LogReadings of Form frmMain", false},
        {"a spoilt day file", spoil, {}, {},
         "Error 13 (Type mismatch) at line 50 in procedure plotEntry of Form frmMonth", false},
        {"bad lines", [](WholeProgram& r) { r.plugIn({"--bad-every", "2"}); }, {}, {}, "", false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::create_directories(web.str());
        WholeProgram run("2026-12-07 02:14:45", "-30", "5", defaultConfig(web.str()), c.prepare);
        const auto status = [&] { return run.read("status.txt"); };
        if (c.fault) {
            ASSERT_TRUE(testing::waitFor([&] { return !status().empty(); }, 10s));
            c.fault(run);
        }
        // Three cycles of the fault, the first of which may have begun before it.
        std::this_thread::sleep_for(1500ms);
        const std::string during = status();
        std::this_thread::sleep_for(2s);
        EXPECT_EQ(status() == during, c.readingsStop) << during;
        const auto start = std::chrono::steady_clock::now();
        if (c.mend) c.mend(run);
        const fs::path folder = fs::canonical(run.folder.str());
        const auto page = [&] {  // in the program folder while config.ini cannot be read
            return fs::exists(folder / "CloudStatus.html") ? folder : fs::path(web.str());
        };
        // Readings, the page, and the quarter's log line with its redraw.
        EXPECT_TRUE(testing::waitFor(
            [&] {
                return status() != during && fs::exists(page() / "CloudStatus.html") &&
                       fs::exists(run.folder / "history.bmp") &&
                       run.read("2026_12_7.csv").find(",5,-30\r\n") != std::string::npos;
            },
            10s));
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, 4s) << "two cycles are two seconds here";
        std::printf("%s: readings back after %lld ms (x10 clock)\n", c.what,
                    static_cast<long long>(took / 1ms));
        const std::string journal = run.read("monitor.out");
        EXPECT_NE(journal.find(c.journal.empty() ? "\n" : c.journal), std::string::npos) << journal;
        if (c.journal.empty()) {
            EXPECT_EQ(journal.find("Error"), std::string::npos) << journal;
        }

        const fs::path lock = lockFileOf(run.folder / "com1");
        EXPECT_TRUE(fs::exists(lock)) << lock;
        fs::remove(run.folder / "config.ini");  // a file again, or never one
        EXPECT_EQ(run.terminate(), 0);
        EXPECT_FALSE(fs::exists(lock));
        EXPECT_EQ(run.read("config.ini"), defaultConfig(page().string()));
    }
}

}  // namespace
}  // namespace skarvel
