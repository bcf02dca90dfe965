#include "graph_fixture.h"

namespace skarvel::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

const LocalTime kNoon = makeTime(2008, 12, 10, 12, 0);

TEST(SelectColor, ComparesGreaterOrEqualAndReadsThresholdsAtEveryCall) {
    Settings s;
    EXPECT_EQ(selectColor(-25.01, s), palette::kGreen);
    EXPECT_EQ(selectColor(-25, s), palette::kOrange);
    EXPECT_EQ(selectColor(-15.01, s), palette::kOrange);
    EXPECT_EQ(selectColor(-15, s), palette::kRed);
    EXPECT_EQ(selectColor(0, s), palette::kRed);

    s.cloudyThreshold = -10;  // inverted: orange can never win
    s.vCloudyThreshold = -20;
    EXPECT_EQ(selectColor(-30, s), palette::kGreen);
    EXPECT_EQ(selectColor(-20, s), palette::kRed);
    EXPECT_EQ(selectColor(-10, s), palette::kRed);
}

TEST(HistoryPlotEntry, PlacesRecordsOnTheScalesWithClampsAndPileUp) {
    GraphFixture f(GraphKind::History);
    bool first = true;
    // 30 minutes ahead of the present: right of the frame; first record, zero-length segments.
    f.plot.plotEntry(kNoon, addMinutes(kNoon, 30), num(10), num(-20), first);
    EXPECT_THAT(f.surface.lines, ElementsAre(LineIs(865, 350, 865, 350), LineIs(865, 350, 865, 350),
                                             LineIs(865, 450, 865, 450)));
    EXPECT_EQ(f.surface.lines[0].color, palette::kCyan);
    EXPECT_EQ(f.surface.lines[1].color, palette::kGreen);
    EXPECT_EQ(f.surface.lines[2].color, palette::kGreen);

    first = false;
    f.surface.lines.clear();
    // 100 hours old, sky warmer than ambient, ambient below zero.
    f.plot.plotEntry(kNoon, addHours(kNoon, -100), num(-5), num(5), first);
    // 90 hours old, difference below -40, ambient above 40: piles up on the left edge.
    f.plot.plotEntry(kNoon, addHours(kNoon, -90), num(45), num(-10), first);
    EXPECT_THAT(f.surface.lines, ElementsAre(LineIs(865, 350, 60, 500), LineIs(865, 350, 60, 50),
                                             LineIs(865, 450, 60, 450), LineIs(60, 500, 60, 0),
                                             LineIs(60, 50, 60, 450), LineIs(60, 450, 60, 450)));
    EXPECT_EQ(f.surface.lines[1].color, palette::kRed);  // a difference of 0 is very cloudy
    EXPECT_EQ(f.surface.lines[4].color, palette::kGreen);

    // Whole minute boundaries count, not elapsed seconds.
    f.surface.lines.clear();
    f.plot.plotEntry(kNoon, makeTime(2008, 12, 10, 11, 59, 59), num(0), num(-25), first);
    EXPECT_FLOAT_EQ(f.surface.lines[0].x2, float(860 - 10.0 / 60));
    EXPECT_EQ(f.surface.lines[1].color, palette::kOrange);
    f.surface.lines.clear();
    f.plot.plotEntry(makeTime(2008, 12, 10, 12, 0, 59), kNoon, num(0), num(-25), first);
    EXPECT_FLOAT_EQ(f.surface.lines[0].x2, 860);
}

TEST(HistoryPlotGraph, DrawsFrameScalesLegendAxisAndThresholdsInOrder) {
    GraphFixture f(GraphKind::History, makeTime(2008, 12, 10, 12, 20));
    f.plot.PlotGraph();
    ASSERT_THAT(f.services.messages, IsEmpty());
    EXPECT_EQ(f.surface.clears, 1);
    EXPECT_EQ(f.surface.back, palette::kBlack);

    const auto& lines = f.surface.lines;
    ASSERT_THAT(lines, SizeIs(::testing::Gt(5)));
    EXPECT_THAT(
        std::vector(lines.begin(), lines.begin() + 3),
        ElementsAre(LineIs(60, 50, 60, 450), LineIs(860, 50, 860, 450), LineIs(60, 450, 860, 450)));
    EXPECT_EQ(lines[0].color, palette::kWhite);
    // No data: the threshold lines come last.
    EXPECT_THAT(std::vector(lines.end() - 2, lines.end()),
                ElementsAre(LineIs(60, 300, 860, 300), LineIs(60, 200, 860, 200)));
    EXPECT_EQ(lines.end()[-2].color, palette::kOrange);
    EXPECT_EQ(lines.end()[-1].color, palette::kRed);

    struct Label {
        const char* text;
        float x, y;
        Color color;
    };
    const Label labels[] = {
        {" 40 ", 30, 44, palette::kCyan},        {" 0 ", 30, 444, palette::kCyan},
        {"-40 ", 880, 444, palette::kGreen},     {"-30 ", 880, 344, palette::kGreen},
        {"-25 ", 880, 294, palette::kOrange},    {"-20 ", 880, 244, palette::kOrange},
        {"-15 ", 880, 194, palette::kRed},       {"Legend:", 60, 500, palette::kWhite},
        {"Ambient", 120, 500, palette::kCyan},   {"V.Cloudy", 180, 500, palette::kRed},
        {"Cloudy", 240, 500, palette::kOrange},  {"Clear", 300, 500, palette::kGreen},
        {" 12 ", 844, 465, palette::kWhite},     {"2008_12_10", 724, 480, palette::kWhite},
        {"2008_12_8", 244, 480, palette::kWhite}};
    for (const Label& l : labels) {
        const auto* t = f.surface.findText(l.text);
        ASSERT_NE(t, nullptr) << l.text;
        EXPECT_EQ(t->x, l.x) << l.text;
        EXPECT_EQ(t->y, l.y) << l.text;
        EXPECT_EQ(t->color, l.color) << l.text;
    }
    // The anchor is 13:05: the right-hand tick is hour 13 and carries no label; the midnight
    // ticks carry the hour 0 above the date and a grid line.
    int hourZero = 0;
    for (const auto& t : f.surface.texts) {
        EXPECT_FALSE(t.y == 465 && t.x == 854) << t.text;
        hourZero += t.text == " 0 " && t.y == 465;
    }
    EXPECT_EQ(hourZero, 3);
    EXPECT_THAT(f.linesOf(palette::kDarkGrey),
                ElementsAre(LineIs(730, 449, 730, 50), LineIs(490, 449, 490, 50),
                            LineIs(250, 449, 250, 50)));
    EXPECT_TRUE(f.programImage());
    EXPECT_TRUE(f.webImage());
}

TEST(HistoryPlotGraph, ReadsFiveDayFilesEndingTomorrowFrom0415) {
    EXPECT_EQ(daysRead(GraphKind::History, makeTime(2008, 12, 10, 10, 0), -8, 3),
              (std::set<float>{-3, -2, -1, 0, 1}));
    EXPECT_EQ(daysRead(GraphKind::History, makeTime(2008, 12, 10, 4, 14), -8, 3),
              (std::set<float>{-4, -3, -2, -1, 0}));
    // Across a month end.
    EXPECT_EQ(daysRead(GraphKind::History, makeTime(2009, 3, 1, 23, 0), -8, 3),
              (std::set<float>{-3, -2, -1, 0, 1}));
}

TEST(HistoryPlotGraph, ChangedThresholdsRecolourAtTheNextRedraw) {
    GraphFixture f(GraphKind::History);
    f.addRecord(makeTime(2008, 12, 10, 10, 0), 10, -20);
    f.addRecord(makeTime(2008, 12, 10, 11, 0), 10, -20);
    auto diffColour = [&] {
        f.plot.PlotGraph();
        return f.surface.lines.end()[-2].color;  // difference segment of the last record
    };
    EXPECT_EQ(diffColour(), palette::kGreen);
    f.settings.cloudyThreshold = -35;
    EXPECT_EQ(diffColour(), palette::kOrange);
    EXPECT_THAT(f.linesOf(palette::kOrange), Contains(LineIs(60, 400, 860, 400)));
}

TEST(HistoryPlotGraph, FailuresCostWhatTheyShould) {
    const LocalTime day = makeTime(2008, 12, 10);
    {
        SCOPED_TRACE("unconvertible date ends the redraw before export");
        GraphFixture f(GraphKind::History);
        f.writeDay(day, logLine(makeTime(2008, 12, 10, 1, 0), 5, -30) +
                            "13/45/2008 1:15:00 AM,5,-30\r\n" +
                            logLine(makeTime(2008, 12, 10, 1, 30), 5, -30));
        f.plot.PlotGraph();
        EXPECT_THAT(f.services.messages,
                    ElementsAre("Error 13 (Type mismatch) at line 0 in procedure PlotGraph of "
                                "Form frmHistory"));
        EXPECT_FALSE(f.programImage());
        EXPECT_FALSE(f.webImage());
        EXPECT_EQ(f.linesOf(palette::kCyan).back().y2, 400) << "the first record was drawn";
    }
    {
        SCOPED_TRACE("a record cut short ends the redraw too");
        GraphFixture f(GraphKind::History);
        f.writeDay(day, logLine(makeTime(2008, 12, 10, 1, 0), 5, -30) + "12/10/2008 1:15:00 AM,5");
        f.plot.PlotGraph();
        EXPECT_THAT(f.services.messages,
                    ElementsAre("Error 62 (Input past end of file) at line 0 in procedure "
                                "PlotGraph of Form frmHistory"));
        EXPECT_FALSE(f.programImage());
    }
    {
        SCOPED_TRACE("a field that is not a number costs only its record");
        GraphFixture f(GraphKind::History);
        f.writeDay(day, logLine(makeTime(2008, 12, 10, 1, 0), 5, -30) +
                            "12/10/2008 1:15:00 AM,warm,-30\r\n" +
                            logLine(makeTime(2008, 12, 10, 1, 30), 8, -30));
        f.plot.PlotGraph();
        EXPECT_THAT(f.services.messages,
                    ElementsAre("Error 13 (Type mismatch) at line 0 in procedure plotEntry of "
                                "Form frmHistory"));
        const auto cyan = f.linesOf(palette::kCyan);
        EXPECT_THAT(std::vector(cyan.end() - 2, cyan.end()),
                    ElementsAre(LineIs(750, 400, 750, 400), LineIs(750, 400, 755, 370)));
        EXPECT_TRUE(f.programImage());
        EXPECT_TRUE(f.webImage());
    }
    {
        SCOPED_TRACE("a missing web folder costs only the web copy");
        GraphFixture f(GraphKind::History);
        f.settings.webPath = f.dir.file("gone") + "/";
        f.plot.PlotGraph();
        EXPECT_THAT(f.services.messages,
                    ElementsAre("Error 76 (Path not found) at line 0 in procedure PlotGraph of "
                                "Form frmHistory"));
        EXPECT_TRUE(f.programImage());
    }
}

TEST(HistoryPlotGraph, BadFirstRecordDoesNotJoinTheOldPreviousPoint) {
    GraphFixture f(GraphKind::History);
    bool first = true;
    f.plot.plotEntry(kNoon, kNoon, num(20), num(0), first);  // previous point (860, 50, 250)
    f.writeDay(makeTime(2008, 12, 10),
               "12/10/2008 1:00:00 AM,,oops\r\n" + logLine(makeTime(2008, 12, 10, 1, 30), 5, -30));
    f.plot.PlotGraph();
    ASSERT_THAT(f.services.messages, SizeIs(1));
    const auto cyan = f.linesOf(palette::kCyan);
    EXPECT_THAT(cyan.back(), LineIs(755, 400, 755, 400));
}

}  // namespace
}  // namespace skarvel::testing
