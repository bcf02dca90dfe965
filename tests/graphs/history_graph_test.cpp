#include "graph_fixture.h"

namespace skarvel::testing {
namespace {

using namespace palette;
using ::testing::_;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::FieldsAre;
using ::testing::Not;

const LocalTime kNoon = makeTime(2008, 12, 10, 12, 0);

TEST(SelectColor, ComparesGreaterOrEqualWithTheCurrentThresholds) {
    Settings s;
    EXPECT_EQ(selectColor(-25.01, s), kGreen);
    EXPECT_EQ(selectColor(-25, s), kOrange);
    EXPECT_EQ(selectColor(-15, s), kRed);
    s.cloudyThreshold = -10;  // inverted: orange can never win
    s.vCloudyThreshold = -20;
    EXPECT_EQ(selectColor(-30, s), kGreen);
    EXPECT_EQ(selectColor(-15, s), kRed);
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
    EXPECT_THAT(f.surface.lines,
                ElementsAre(Seg(865, 350, 865, 350, kCyan), Seg(865, 350, 865, 350, kGreen),
                            Seg(865, 450, 865, 450, kGreen), Seg(865, 350, 60, 500, kCyan),
                            Seg(865, 350, 60, 50, kRed), Seg(865, 450, 60, 450, kRed),
                            Seg(60, 500, 60, 0, kCyan), Seg(60, 50, 60, 450, kGreen),
                            Seg(60, 450, 60, 450, kGreen)));
    // Minute boundaries count, not elapsed seconds.
    f.plot.plotEntry(kNoon, makeTime(2008, 12, 10, 11, 59, 59), num(0), num(-25), first);
    EXPECT_FLOAT_EQ(f.surface.lines.back().x2, float(860 - 10.0 / 60));
}

TEST(HistoryPlotGraph, DrawsFrameScalesLegendAxisThenThresholds) {
    GraphFixture f(GraphKind::History, makeTime(2008, 12, 10, 12, 20));
    f.plot.PlotGraph();
    ASSERT_TRUE(f.services.messages.empty());
    EXPECT_EQ(f.surface.back, kBlack);
    const auto& lines = f.surface.lines;
    EXPECT_THAT(
        std::vector(lines.begin(), lines.begin() + 3),
        ElementsAre(LineIs(60, 50, 60, 450), LineIs(860, 50, 860, 450), LineIs(60, 450, 860, 450)));
    // Without data the threshold lines are drawn last.
    EXPECT_THAT(std::vector(lines.end() - 2, lines.end()),
                ElementsAre(Seg(60, 300, 860, 300, kOrange), Seg(60, 200, 860, 200, kRed)));
    EXPECT_THAT(f.linesOf(kDarkGrey),
                ElementsAre(LineIs(730, 449, 730, 50), LineIs(490, 449, 490, 50),
                            LineIs(250, 449, 250, 50)));

    // Anchor 13:05: the tick at 860 is hour 13, unlabelled; 850 is labelled 12.
    const RecordingSurface::Text expected[] = {
        {30, 44, " 40 ", kCyan},         {880, 344, "-30 ", kGreen}, {880, 294, "-25 ", kOrange},
        {180, 500, "V.Cloudy", kRed},    {844, 465, " 12 ", kWhite}, {724, 465, " 0 ", kWhite},
        {724, 480, "2008_12_10", kWhite}};
    for (const auto& e : expected) {
        EXPECT_THAT(f.surface.texts, Contains(FieldsAre(e.x, e.y, e.text, e.color)));
    }
    EXPECT_THAT(f.surface.texts, Not(Contains(FieldsAre(854, 465, _, _))));
}

TEST(HistoryPlotGraph, ReadsFiveDayFilesEndingTomorrowFrom0415) {
    EXPECT_EQ(daysRead(GraphKind::History, makeTime(2008, 12, 10, 10, 0), -8, 3), std::pair(-3, 1));
    EXPECT_EQ(daysRead(GraphKind::History, makeTime(2008, 12, 10, 4, 14), -8, 3), std::pair(-4, 0));
}

// A bad first record must not join the next one to the point of an earlier redraw; changed
// thresholds colour the next redraw.
TEST(HistoryPlotGraph, EachRedrawStartsAfresh) {
    GraphFixture f(GraphKind::History);
    bool first = true;
    f.plot.plotEntry(kNoon, kNoon, num(20), num(0), first);  // previous point at x 860
    TempDir::write(
        f.dir.file("2008_12_10.csv"),
        "12/10/2008 1:00:00 AM,,oops\r\n" + logLine(makeTime(2008, 12, 10, 1, 30), 5, -30));
    f.plot.PlotGraph();
    EXPECT_EQ(f.services.messages.size(), 1u);
    EXPECT_THAT(f.ambientCurve(), ElementsAre(LineIs(755, 400, 755, 400)));
    EXPECT_EQ(f.surface.lines.end()[-2].color, kGreen);
    f.settings.cloudyThreshold = -35;
    f.plot.PlotGraph();
    EXPECT_EQ(f.surface.lines.end()[-2].color, kOrange);
    EXPECT_THAT(f.linesOf(kOrange), Contains(LineIs(60, 400, 860, 400)));
}

// Three-day messages carry line 0, the thirty-day ones their statement numbers. What came
// before a failure stays drawn; a bad number skips only its record.
TEST(GraphFailures, EachCostsWhatItShould) {
    const std::string good = logLine(makeTime(2008, 12, 10, 1, 0), 5, -30);
    const std::string later = logLine(makeTime(2008, 12, 10, 2, 0), 8, -30);
    struct Case {
        std::string content;
        bool webMissing;
        std::string procedure;
        int number, monthLine;
        bool saved;
    };
    const Case cases[] = {
        {good + "12/10/2008 1:30:00 AM,warm,-30\r\n" + later, false, "plotEntry", 13, 50, true},
        {good + "13/45/2008 1:30:00 AM,5,-30\r\n" + later, false, "PlotGraph", 13, 720, false},
        {good + "12/10/2008 1:30:00 AM,5", false, "PlotGraph", 62, 710, false},
        {good, true, "PlotGraph", 76, 810, true},
    };
    for (GraphKind kind : {GraphKind::History, GraphKind::Month}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.content);
            GraphFixture f(kind);
            if (c.webMissing) f.settings.webPath = f.dir.file("gone") + "/";
            TempDir::write(f.dir / "2008_12_10.csv", c.content);
            f.plot.PlotGraph();
            const int line = kind == GraphKind::History ? 0 : c.monthLine;
            EXPECT_THAT(f.services.messages,
                        ElementsAre(::testing::MatchesRegex(
                            "Error " + std::to_string(c.number) + " \\(.*\\) at line " +
                            std::to_string(line) + " in procedure " + c.procedure + " of Form " +
                            f.plot.formName())));
            EXPECT_EQ(FileExists(f.dir.file(f.plot.imageName())), c.saved);
            EXPECT_EQ(FileExists(f.settings.webPath + f.plot.imageName()),
                      c.saved && !c.webMissing);
            const auto curve = f.ambientCurve();
            ASSERT_FALSE(curve.empty());
            EXPECT_EQ(curve[0].y2, 400);
            if (c.procedure == "plotEntry") {
                EXPECT_EQ(curve.back().y1, 400);
            }
        }
    }
}

}  // namespace
}  // namespace skarvel::testing
