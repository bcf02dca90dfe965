#include <filesystem>
#include <functional>
#include <vector>

#include <gmock/gmock.h>

#include "fakes/fake_controls.h"
#include "fakes/fake_desktop_services.h"
#include "fakes/temp_dir.h"
#include "store/readings_log.h"
#include "store/status_page.h"
#include "store/value_text.h"

namespace skarvel {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using testing::TempDir;
namespace fs = std::filesystem;

TEST(StatusPage, PageForEachState) {
    const std::string head =
        "<html>\r\n"
        "<head>\r\n"
        "<meta http-equiv=\"refresh\" content=\"60\">\r\n"
        "<title>Skarvel Status</title>\r\n"
        "</head>\r\n"
        "<body Style = \"color: white; background-color: black;\">\r\n"
        "<big><big>Skarvel Status<br></big></big><br>Current status = \r\n";
    const std::string rest =
        "<br>Ambient temp = 3.2C\r\n<br>Sky temp = -18.5C\r\n<br>Delta temp = -21.7C\r\n"
        "<br><br>3 Day History Plot:<br><img alt=\"3 Day History graph\" src=\"history.bmp\">\r\n"
        "<br><br>30 Day History Plot:<br><img alt=\"30 Day History graph\" src=\"month.bmp\">\r\n"
        "<br><br>Year History Plot:<br><img alt=\"Year History graph\" src=\"year.bmp\">\r\n"
        "</body>\r\n"
        "</html>\r\n";
    const std::pair<const char*, std::string> states[] = {
        {"CLOUDY",
         "<big style=\"color: rgb(255, 128, 0);\"><big><big>CLOUDY</big></big></big><br>\r\n"},
        {"V.CLOUDY", "<big style=\"color: red;\"><big><big>V.CLOUDY</big></big></big><br>\r\n"},
        {"CLEAR", "<big style=\"color: green;\"><big><big>CLEAR</big></big></big><br>\r\n"},
        {"Clear", ""},  // any other caption (case counts) has no state line
    };
    for (const auto& [caption, stateLine] : states) {
        EXPECT_EQ(webPageText(caption, "3.2", "-18.5", "-21.7"), head + stateLine + rest);
    }
}

struct RecordingGraph : GraphRedraw {
    std::function<void()> redraw;
    void PlotGraph() override { redraw(); }
};

/// A program folder and a web folder, with the monitor's cycle around the log.
class Publishing : public ::testing::Test {
  protected:
    void SetUp() override {
        settings.webPath = web.folder();
        services.setAppPath(program.str());
        controls.caption = "CLEAR";
        controls.ambient = "3.2";
        controls.sky = "-28.5";
        controls.diff = "-31.7";
        for (int i = 0; i < 3; ++i) {
            // The new line must already be in the file when a graph redraws.
            graphs[i].redraw = [this, i] {
                const std::string log = TempDir::read(program.file(dayFileName(services.now())));
                calls.push_back(std::to_string(i) + ":" + std::to_string(log.size()));
            };
        }
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
    std::string file(const char* name) const { return program.file(name); }
    std::string page() const { return TempDir::read(web.file("CloudStatus.html")); }

    TempDir program, web;
    testing::FakeDesktopServices services;
    testing::FakeControls controls;
    Settings settings;
    LogState state;
    std::vector<std::string> calls;
    RecordingGraph graphs[3];
    GraphRedraw* const order[3] = {&graphs[0], &graphs[1], &graphs[2]};
    LogContext context{services, settings, controls, order};
};

TEST_F(Publishing, SaveStatusLine) {
    services.setNow(makeTime(2008, 12, 1, 21, 39, 5));
    SaveStatus("CLOUDY", services);
    EXPECT_EQ(TempDir::read(file("status.txt")), "12/1/2008 9:39:05 PM,CLOUDY\r\n");
}

// A line comes with the first cycle in a new quarter hour and carries the mean since the last
// line; the page is rebuilt on every cycle.
TEST_F(Publishing, LinesComeWhenTheQuarterChanges) {
    const std::string old = "12/1/2008 9:45:02 AM,2,-22\r\n";
    TempDir::write(file("2008_12_1.csv"), old);
    startAt(makeTime(2008, 12, 1, 10, 7, 3));
    float sum = 0;
    int n = 0;
    for (; services.now() < makeTime(2008, 12, 1, 10, 15); services.advance(10s), ++n) {
        const float sky = -20.0f - float(n % 7) / 10.0f;
        cycle(2.0f, sky);
        sum += sky;
        ASSERT_EQ(page(), webPageText("CLEAR", "3.2", "-28.5", "-31.7"));
    }
    cycle(3.2f, -21.0f);  // 10:15:03
    const std::string line =
        "12/1/2008 10:15:03 AM,3.2," + singleText((sum - 21.0f) / float(n + 1)) + "\r\n";
    EXPECT_EQ(TempDir::read(file("2008_12_1.csv")), old + line);
    const std::string size = std::to_string(old.size() + line.size());
    EXPECT_THAT(calls, ElementsAre("0:" + size, "1:" + size, "2:" + size));
    EXPECT_TRUE(services.messages.empty());
}

TEST_F(Publishing, MidnightStartsTheNewDayFile) {
    EXPECT_EQ(dayFileName(makeTime(2008, 3, 5, 23, 59, 59)), "2008_3_5.csv");
    startAt(makeTime(2008, 12, 1, 23, 59, 58));
    cycle(1.0f, -30.0f);
    services.advance(10s);
    cycle(1.0f, -31.0f);
    EXPECT_EQ(TempDir::read(file("2008_12_2.csv")), "12/2/2008 12:00:08 AM,1,-30.5\r\n");
    EXPECT_FALSE(fs::exists(file("2008_12_1.csv")));

    // A line at exactly midnight holds the date alone.
    startAt(makeTime(2008, 12, 2, 23, 59, 50));
    services.advance(10s);
    cycle(-4.0f, -25.0f);
    EXPECT_EQ(TempDir::read(file("2008_12_3.csv")), "12/3/2008,-4,-25\r\n");
}

TEST_F(Publishing, FailedAppendKeepsTheStateAndTheOldPage) {
    startAt(makeTime(2008, 12, 1, 10, 14, 55));
    cycle(2.0f, -20.0f);
    const std::string oldPage = page();
    controls.caption = "CLOUDY";
    // The day file's name is taken by a folder: the append cannot open it.
    fs::create_directory(file("2008_12_1.csv"));
    services.advance(10s);
    cycle(2.0f, -21.0f);
    EXPECT_THAT(services.messages, ElementsAre("Error 75 (Path/File access error) at line 110 in "
                                               "procedure LogReadings of Form frmMain"));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(page(), oldPage);

    // The next cycle writes the same line with a mean over all three readings.
    fs::remove(file("2008_12_1.csv"));
    services.advance(10s);
    cycle(2.0f, -22.0f);
    EXPECT_EQ(TempDir::read(file("2008_12_1.csv")), "12/1/2008 10:15:15 AM,2,-21\r\n");
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_NE(page(), oldPage);
    EXPECT_EQ(services.messages.size(), 1u);
}

// The web path is used as it stands: without a final separator the page lands beside the folder.
TEST_F(Publishing, WebPathAsItStands) {
    settings.webPath = web.file("site");
    startAt(makeTime(2008, 12, 1, 10, 14, 55));
    cycle(2.0f, -20.0f);
    EXPECT_TRUE(fs::exists(web / "siteCloudStatus.html"));
}

}  // namespace
}  // namespace skarvel
