#include "graph_fixture.h"

namespace skarvel::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const LocalTime kNoon = makeTime(2008, 12, 10, 12, 0);

TEST(SelectColor, ComparesGreaterOrEqualWithTheCurrentThresholds) {
    Settings s;
    EXPECT_EQ(selectColor(-25.01, s), palette::kGreen);
    EXPECT_EQ(selectColor(-25, s), palette::kOrange);
    EXPECT_EQ(selectColor(-15, s), palette::kRed);
    s.cloudyThreshold = -10;  // inverted: orange can never win
    s.vCloudyThreshold = -20;
    EXPECT_EQ(selectColor(-30, s), palette::kGreen);
    EXPECT_EQ(selectColor(-15, s), palette::kRed);
}

TEST(HistoryPlotEntry, PlacesRecordsWithClampsAndLeftEdgePileUp) {
    GraphFixture f(GraphKind::History);
    bool first = true;
    // Half an hour ahead of the present, first of the redraw: zero-length segments at x 865.
    f.plot.plotEntry(kNoon, addMinutes(kNoon, 30), num(10), num(-20), first);
    first = false;
    // 100 and 90 hours old (left edge); sky warmer than ambient; difference below -40;
    // ambient outside 0..40.
    f.plot.plotEntry(kNoon, addHours(kNoon, -100), num(-5), num(5), first);
    f.plot.plotEntry(kNoon, addHours(kNoon, -90), num(45), num(-10), first);
    EXPECT_THAT(f.surface.lines, ElementsAre(LineIs(865, 350, 865, 350), LineIs(865, 350, 865, 350),
                                             LineIs(865, 450, 865, 450), LineIs(865, 350, 60, 500),
                                             LineIs(865, 350, 60, 50), LineIs(865, 450, 60, 450),
                                             LineIs(60, 500, 60, 0), LineIs(60, 50, 60, 450),
                                             LineIs(60, 450, 60, 450)));
    const Color expected[] = {palette::kCyan, palette::kGreen, palette::kGreen,
                              palette::kCyan, palette::kRed,   palette::kRed,
                              palette::kCyan, palette::kGreen, palette::kGreen};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(f.surface.lines[i].color, expected[i]) << i;

    // Minute boundaries count, not elapsed seconds.
    f.plot.plotEntry(kNoon, makeTime(2008, 12, 10, 11, 59, 59), num(0), num(-25), first);
    EXPECT_FLOAT_EQ(f.surface.lines.back().x2, float(860 - 10.0 / 60));
}

TEST(HistoryPlotGraph, DrawsFrameScalesLegendAxisThenThresholds) {
    GraphFixture f(GraphKind::History, makeTime(2008, 12, 10, 12, 20));
    f.plot.PlotGraph();
    ASSERT_THAT(f.services.messages, IsEmpty());
    EXPECT_EQ(f.surface.back, palette::kBlack);
    const auto& lines = f.surface.lines;
    EXPECT_THAT(
        std::vector(lines.begin(), lines.begin() + 3),
        ElementsAre(LineIs(60, 50, 60, 450), LineIs(860, 50, 860, 450), LineIs(60, 450, 860, 450)));
    // Without data the threshold lines are drawn last.
    EXPECT_THAT(std::vector(lines.end() - 2, lines.end()),
                ElementsAre(LineIs(60, 300, 860, 300), LineIs(60, 200, 860, 200)));
    EXPECT_EQ(lines.end()[-2].color, palette::kOrange);

    std::vector<std::tuple<std::string, float, float, Color>> texts;
    for (const auto& t : f.surface.texts) texts.emplace_back(t.text, t.x, t.y, t.color);
    EXPECT_THAT(texts, Contains(std::tuple(" 40 ", 30, 44, palette::kCyan)));
    EXPECT_THAT(texts, Contains(std::tuple("-30 ", 880, 344, palette::kGreen)));
    EXPECT_THAT(texts, Contains(std::tuple("-25 ", 880, 294, palette::kOrange)));
    EXPECT_THAT(texts, Contains(std::tuple("-15 ", 880, 194, palette::kRed)));
    EXPECT_THAT(texts, Contains(std::tuple("V.Cloudy", 180, 500, palette::kRed)));
    // Anchor 13:05: the tick at 860 is hour 13, unlabelled; 850 is labelled 12.
    EXPECT_THAT(texts, Contains(std::tuple(" 12 ", 844, 465, palette::kWhite)));
    EXPECT_THAT(texts, ::testing::Not(
                           Contains(::testing::FieldsAre(::testing::_, 854, 465, ::testing::_))));
    EXPECT_THAT(texts, Contains(std::tuple(" 0 ", 724, 465, palette::kWhite)));
    EXPECT_THAT(texts, Contains(std::tuple("2008_12_10", 724, 480, palette::kWhite)));
    EXPECT_THAT(f.linesOf(palette::kDarkGrey),
                ElementsAre(LineIs(730, 449, 730, 50), LineIs(490, 449, 490, 50),
                            LineIs(250, 449, 250, 50)));
    EXPECT_TRUE(f.programImage());
    EXPECT_TRUE(f.webImage());
}

TEST(HistoryPlotGraph, ReadsFiveDayFilesEndingTomorrowFrom0415) {
    EXPECT_EQ(daysRead(GraphKind::History, makeTime(2008, 12, 10, 10, 0), -8, 3), range(-3, 1));
    EXPECT_EQ(daysRead(GraphKind::History, makeTime(2008, 12, 10, 4, 14), -8, 3), range(-4, 0));
}

TEST(HistoryPlotGraph, ChangedThresholdsRecolourAtTheNextRedraw) {
    GraphFixture f(GraphKind::History);
    f.addRecord(makeTime(2008, 12, 10, 10, 0), 10, -20);
    f.addRecord(makeTime(2008, 12, 10, 11, 0), 10, -20);
    f.plot.PlotGraph();
    EXPECT_EQ(f.surface.lines.end()[-2].color, palette::kGreen);
    f.settings.cloudyThreshold = -35;
    f.plot.PlotGraph();
    EXPECT_EQ(f.surface.lines.end()[-2].color, palette::kOrange);
    EXPECT_THAT(f.linesOf(palette::kOrange), Contains(LineIs(60, 400, 860, 400)));
}

TEST(HistoryPlotGraph, BadFirstRecordDoesNotJoinTheOldPreviousPoint) {
    GraphFixture f(GraphKind::History);
    bool first = true;
    f.plot.plotEntry(kNoon, kNoon, num(20), num(0), first);  // previous point at x 860
    TempDir::write(
        f.dir.file("2008_12_10.csv"),
        "12/10/2008 1:00:00 AM,,oops\r\n" + logLine(makeTime(2008, 12, 10, 1, 30), 5, -30));
    f.plot.PlotGraph();
    EXPECT_EQ(f.services.messages.size(), 1u);
    EXPECT_THAT(f.ambientCurve(), ElementsAre(LineIs(755, 400, 755, 400)));
}

// Three-day messages carry line 0, the thirty-day ones their statement numbers.
TEST(GraphFailures, EachCostsWhatItShould) {
    const std::string good = logLine(makeTime(2008, 12, 10, 1, 0), 5, -30);
    const std::string later = logLine(makeTime(2008, 12, 10, 2, 0), 8, -30);
    struct Case {
        std::string content;
        bool webMissing;
        const char* procedure;
        int number, historyLine, monthLine;
        bool programImage, webImage;
    };
    const Case cases[] = {
        {good + "12/10/2008 1:30:00 AM,warm,-30\r\n" + later, false, "plotEntry", 13, 0, 50, true,
         true},
        {good + "13/45/2008 1:30:00 AM,5,-30\r\n" + later, false, "PlotGraph", 13, 0, 720, false,
         false},
        {good + "12/10/2008 1:30:00 AM,5", false, "PlotGraph", 62, 0, 710, false, false},
        {good, true, "PlotGraph", 76, 0, 810, true, false},
    };
    for (GraphKind kind : {GraphKind::History, GraphKind::Month}) {
        for (const Case& c : cases) {
            GraphFixture f(kind);
            if (c.webMissing) f.settings.webPath = f.dir.file("gone") + "/";
            TempDir::write(f.dir.file("2008_12_10.csv"), c.content);
            f.plot.PlotGraph();
            const int line = kind == GraphKind::History ? c.historyLine : c.monthLine;
            ASSERT_EQ(f.services.messages.size(), 1u) << c.content;
            EXPECT_THAT(f.services.messages[0],
                        ::testing::StartsWith("Error " + std::to_string(c.number) + " ("));
            EXPECT_THAT(f.services.messages[0],
                        ::testing::EndsWith(") at line " + std::to_string(line) + " in procedure " +
                                            c.procedure + " of Form " + f.plot.formName()));
            EXPECT_EQ(f.programImage(), c.programImage) << c.content;
            EXPECT_EQ(f.webImage(), c.webImage) << c.content;
            // What came before a failure stays drawn; a bad number skips only its record.
            const auto curve = f.ambientCurve();
            ASSERT_FALSE(curve.empty());
            EXPECT_EQ(curve[0].y2, 400);
            if (c.procedure == std::string("plotEntry")) {
                EXPECT_EQ(curve.back().y1, 400);
            }
        }
    }
}

}  // namespace
}  // namespace skarvel::testing
