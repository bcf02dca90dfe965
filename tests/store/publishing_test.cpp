#include <filesystem>

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
using ::testing::ElementsAre, testing::TempDir;
namespace fs = std::filesystem;

// The CLEAR page is kept byte for byte in the data folder; the other states change its
// state line, and any other caption (case counts) has none.
TEST(StatusPage, PageForEachState) {
    const std::string clear = TempDir::read(SKARVEL_TEST_DATA_DIR "/CloudStatus-CLEAR.html");
    const auto line = [](const std::string& colour, const std::string& caption) {
        return "<big style=\"color: " + colour + ";\"><big><big>" + caption +
               "</big></big></big><br>\r\n";
    };
    const std::string clearLine = line("green", "CLEAR");
    const auto at = clear.find(clearLine);
    ASSERT_NE(at, std::string::npos);
    // clang-format off
    const std::pair<const char*, const char*> states[] = {
        {"CLEAR", "green"}, {"Clear", ""}, {"CLOUDY", "rgb(255, 128, 0)"}, {"V.CLOUDY", "red"}};
    // clang-format on
    for (auto [caption, colour] : states) {
        const std::string stateLine = *colour ? line(colour, caption) : "";
        EXPECT_EQ(webPageText(caption, "3.2", "-18.5", "-21.7"),
                  std::string(clear).replace(at, clearLine.size(), stateLine));
    }
}

// A line comes with the first cycle in a new quarter hour and carries the mean since the last
// line; the graphs redraw after it is in the file, and the page is rebuilt on every cycle. A
// failed append keeps the averaging and the old page, so the next cycle writes the line. The
// web path is used as it stands: without a final separator the page lands beside the folder.
TEST(LogReadings, QuarterHourLinesAndAFailedAppend) {
    TempDir program, web;
    testing::FakeDesktopServices services(program.str(), makeTime(2008, 12, 1, 10, 14, 45));
    testing::FakeControls controls;
    controls.caption = "CLEAR", controls.ambient = "3.2", controls.sky = "-18.5";
    controls.diff = "-1";
    Settings settings{web.file("site")};
    LogState state;
    struct Graph : GraphRedraw {
        std::string day, seen;  // the day file as each redraw found it
        void PlotGraph() override { seen += TempDir::read(day) + "|"; }
    } graph;
    graph.day = program.file("2008_12_1.csv");
    GraphRedraw* const graphs[] = {&graph, &graph, &graph};
    const auto cycle = [&](float sky) {
        state.skySum += sky;
        state.readingCount = std::int16_t(state.readingCount + 1);
        LogReadings(state, 2, state.skySum / float(state.readingCount),
                    {services, settings, controls, graphs});
        services.now_ += 10s;
        return TempDir::read(web.file("siteCloudStatus.html"));
    };
    // A folder in the day file's place: the append cannot open it.
    fs::create_directory(graph.day);
    EXPECT_EQ(cycle(-20), webPageText("CLEAR", "3.2", "-18.5", "-1"));  // 10:14:45, no line due
    cycle(-21);
    controls.caption = "CLOUDY";
    EXPECT_EQ(cycle(-22), webPageText("CLEAR", "3.2", "-18.5", "-1"));  // 10:15:05
    EXPECT_THAT(services.messages, ElementsAre("Error 75 (Path/File access error) at line 110 in "
                                               "procedure LogReadings of Form frmMain"));
    fs::remove(graph.day);
    EXPECT_EQ(cycle(-23), webPageText("CLOUDY", "3.2", "-18.5", "-1"));  // 10:15:15
    cycle(-30);
    EXPECT_EQ(state.readingCount, 1) << "the next quarter's mean starts afresh";
    const std::string log = "12/1/2008 10:15:15 AM,2,-21.5\r\n";
    EXPECT_EQ(TempDir::read(graph.day), log);
    EXPECT_EQ(graph.seen, log + "|" + log + "|" + log + "|");
    SaveStatus("CLOUDY", services);
    EXPECT_EQ(TempDir::read(program.file("status.txt")), "12/1/2008 10:15:35 AM,CLOUDY\r\n");
    // An hour without a cycle lands on the same quarter: no line for it, the next as usual.
    services.now_ += 1h, cycle(-40);
    services.now_ += 15min, cycle(-50);
    EXPECT_EQ(TempDir::read(graph.day), log + "12/1/2008 11:30:45 AM,2,-40\r\n");
    EXPECT_EQ(services.messages.size(), 1u);
}

}  // namespace
}  // namespace skarvel
