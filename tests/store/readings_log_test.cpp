#include "store/readings_log.h"

#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/fake_controls.h"
#include "fakes/fake_desktop_services.h"
#include "store/temp_dir.h"
#include "store/value_text.h"

namespace skarvel {
namespace {

using namespace std::chrono_literals;
using testing::FakeControls;
using testing::FakeDesktopServices;
using testing::TempDir;

class RecordingGraph : public GraphRedraw {
  public:
    RecordingGraph(std::vector<std::string>& calls, std::string name, std::string logFile)
        : calls_(calls), name_(std::move(name)), logFile_(std::move(logFile)) {}
    void PlotGraph() override {
        // The new line must already be in the file when a graph redraws.
        calls_.push_back(name_ + ":" + std::to_string(TempDir::read(logFile_).size()));
    }
    void setLogFile(std::string f) { logFile_ = std::move(f); }

  private:
    std::vector<std::string>& calls_;
    std::string name_;
    std::string logFile_;
};

TEST(ReadingsLog, NamesAndLines) {
    EXPECT_EQ(quarterSlot(0), 0);
    EXPECT_EQ(quarterSlot(14), 0);
    EXPECT_EQ(quarterSlot(15), 15);
    EXPECT_EQ(quarterSlot(44), 30);
    EXPECT_EQ(quarterSlot(59), 45);
    EXPECT_EQ(dateLabel(makeTime(2008, 12, 1, 21, 39, 5)), "2008_12_1");
    EXPECT_EQ(dayFileName(makeTime(2008, 3, 5, 23, 59, 59)), "2008_3_5.csv");
    EXPECT_EQ(logLine(makeTime(2008, 12, 1, 21, 39, 5), 3.2f, -28.4666667f),
              "12/1/2008 9:39:05 PM,3.2,-28.46667\r\n");
    EXPECT_EQ(logLine(makeTime(2008, 12, 2), -4.0f, -30.0f), "12/2/2008,-4,-30\r\n");
    EXPECT_EQ(logLine(makeTime(2008, 12, 2, 12, 0, 8), 0.5f, -0.0f),
              "12/2/2008 12:00:08 PM,0.5,0\r\n");
}

class LogCycle : public ::testing::Test {
  protected:
    void SetUp() override {
        settings.webPath = web.folder();
        services.setAppPath(program.str());
        controls.caption = "CLEAR";
        controls.ambient = "3.2";
        controls.sky = "-28.5";
        controls.diff = "-31.7";
    }

    /// One successful cycle as the monitor runs it: add the reading, hand over the mean.
    void cycle(float ambient, float sky) {
        state.skySum += sky;
        state.readingCount = std::int16_t(state.readingCount + 1);
        LogReadings(state, ambient, state.skySum / float(state.readingCount), context);
    }
    void startAt(LocalTime t) {
        services.setNow(t);
        state.lastLogSlot = float(quarterSlot(toCivil(t).minute));
    }
    std::string dayFile(int y, int m, int d) const {
        return program.file(dayFileName(makeTime(y, m, d)));
    }

    TempDir program;
    TempDir web;
    FakeDesktopServices services;
    FakeControls controls;
    Settings settings;
    LogState state;
    std::vector<std::string> calls;
    RecordingGraph history{calls, "history", ""}, month{calls, "month", ""},
        year{calls, "year", ""};
    GraphRedraw* const graphs[3] = {&history, &month, &year};
    LogContext context{services, settings, controls, graphs};
};

TEST_F(LogCycle, FirstLineInTheNextQuarterCarriesTheMean) {
    startAt(makeTime(2008, 12, 1, 10, 7, 3));
    for (auto* g : {&history, &month, &year}) g->setLogFile(dayFile(2008, 12, 1));
    float expectedSum = 0;
    int n = 0;
    while (services.now() < makeTime(2008, 12, 1, 10, 15, 0)) {
        const float sky = -20.0f - float(n % 7) / 10.0f;
        cycle(2.0f, sky);
        expectedSum += sky;
        ++n;
        // The page is rebuilt on every cycle, the log and the graphs are left alone.
        ASSERT_TRUE(std::filesystem::exists(web.file("CloudStatus.html")));
        ASSERT_FALSE(std::filesystem::exists(dayFile(2008, 12, 1)));
        ASSERT_TRUE(calls.empty());
        services.advance(10s);
    }
    EXPECT_EQ(services.now(), makeTime(2008, 12, 1, 10, 15, 3));
    cycle(3.2f, -21.0f);
    expectedSum += -21.0f;
    ++n;
    const std::string line =
        "12/1/2008 10:15:03 AM,3.2," + singleText(expectedSum / float(n)) + "\r\n";
    EXPECT_EQ(TempDir::read(dayFile(2008, 12, 1)), line);
    const std::string size = std::to_string(line.size());
    EXPECT_EQ(calls,
              (std::vector<std::string>{"history:" + size, "month:" + size, "year:" + size}));
    EXPECT_EQ(state.lastLogSlot, 15.0f);
    EXPECT_EQ(state.skySum, 0.0f);
    EXPECT_EQ(state.readingCount, 0);
    EXPECT_TRUE(services.messages.empty());

    // The rest of the quarter adds nothing.
    services.advance(10s);
    cycle(3.2f, -21.0f);
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_EQ(TempDir::read(dayFile(2008, 12, 1)), line);
}

TEST_F(LogCycle, MidnightStartsTheNewDayFile) {
    startAt(makeTime(2008, 12, 1, 23, 59, 58));
    cycle(1.0f, -30.0f);
    EXPECT_FALSE(std::filesystem::exists(dayFile(2008, 12, 1)));
    services.advance(10s);
    cycle(1.0f, -31.0f);
    EXPECT_EQ(TempDir::read(dayFile(2008, 12, 2)), "12/2/2008 12:00:08 AM,1,-30.5\r\n");
    EXPECT_FALSE(std::filesystem::exists(dayFile(2008, 12, 1)));

    // A line at exactly midnight holds the date alone.
    startAt(makeTime(2008, 12, 2, 23, 59, 50));
    services.advance(10s);
    cycle(-4.0f, -25.0f);
    EXPECT_EQ(TempDir::read(dayFile(2008, 12, 3)), "12/3/2008,-4,-25\r\n");
}

TEST_F(LogCycle, OutageOnTheSameSlotWaitsForTheNextQuarter) {
    TempDir::write(dayFile(2008, 12, 1), "12/1/2008 9:45:02 AM,2,-22\r\n");
    startAt(makeTime(2008, 12, 1, 10, 14, 55));
    cycle(2.0f, -20.0f);
    services.advance(10s);
    cycle(2.0f, -21.0f);  // 10:15:05 writes the line
    services.setNow(makeTime(2008, 12, 1, 11, 20, 1));
    cycle(2.0f, -22.0f);  // slot 15 again: nothing
    services.setNow(makeTime(2008, 12, 1, 11, 29, 51));
    cycle(2.0f, -23.0f);
    services.setNow(makeTime(2008, 12, 1, 11, 30, 1));
    cycle(2.5f, -24.0f);
    EXPECT_EQ(TempDir::read(dayFile(2008, 12, 1)),
              "12/1/2008 9:45:02 AM,2,-22\r\n"
              "12/1/2008 10:15:05 AM,2,-20.5\r\n"
              "12/1/2008 11:30:01 AM,2.5,-23\r\n");
    EXPECT_EQ(calls.size(), 6u);
}

TEST_F(LogCycle, FailedAppendKeepsTheStateAndTheOldPage) {
    startAt(makeTime(2008, 12, 1, 10, 14, 55));
    cycle(2.0f, -20.0f);
    const std::string oldPage = TempDir::read(web.file("CloudStatus.html"));
    controls.caption = "CLOUDY";

    // The day file's name is taken by a folder: the append cannot open it.
    std::filesystem::create_directory(dayFile(2008, 12, 1));
    services.advance(10s);
    cycle(2.0f, -21.0f);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0],
              "Error 75 (Path/File access error) at line 110 in procedure LogReadings of Form "
              "frmMain");
    EXPECT_EQ(state.lastLogSlot, 0.0f);
    EXPECT_EQ(state.readingCount, 2);
    EXPECT_EQ(state.skySum, -41.0f);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(TempDir::read(web.file("CloudStatus.html")), oldPage);

    // The next cycle writes the same line with a mean over all three readings.
    std::filesystem::remove(dayFile(2008, 12, 1));
    services.advance(10s);
    cycle(2.0f, -22.0f);
    EXPECT_EQ(TempDir::read(dayFile(2008, 12, 1)), "12/1/2008 10:15:15 AM,2,-21\r\n");
    EXPECT_EQ(state.readingCount, 0);
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_NE(TempDir::read(web.file("CloudStatus.html")), oldPage);
    EXPECT_EQ(services.messages.size(), 1u);
}

TEST_F(LogCycle, FailedWriteNamesItsStatement) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    startAt(makeTime(2008, 12, 1, 10, 14, 55));
    std::filesystem::create_symlink("/dev/full", dayFile(2008, 12, 1));
    services.advance(10s);
    cycle(2.0f, -21.0f);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages[0],
              "Error 61 (Disk full) at line 120 in procedure LogReadings of Form frmMain");
    EXPECT_EQ(state.readingCount, 1);
}

TEST_F(LogCycle, MissingWebFolderStillLogs) {
    settings.webPath = web.folder() + "gone/";
    startAt(makeTime(2008, 12, 1, 10, 14, 55));
    cycle(2.0f, -20.0f);
    services.advance(10s);
    cycle(2.0f, -22.0f);
    EXPECT_EQ(TempDir::read(dayFile(2008, 12, 1)), "12/1/2008 10:15:05 AM,2,-21\r\n");
    EXPECT_EQ(calls.size(), 3u);
    ASSERT_EQ(services.messages.size(), 2u);
    for (const auto& m : services.messages) {
        EXPECT_EQ(
            m, "Error 76 (Path not found) at line 20 in procedure CreateWebPage of Form frmMain");
    }
}

}  // namespace
}  // namespace skarvel
