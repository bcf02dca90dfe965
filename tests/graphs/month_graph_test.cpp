#include "graph_fixture.h"

namespace skarvel::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

// Data segments only: the scale ticks lie left of the frame.
std::vector<RecordingSurface::Line> ambientCurve(const GraphFixture& f) {
    std::vector<RecordingSurface::Line> out;
    for (const auto& l : f.linesOf(palette::kCyan)) {
        if (l.x1 >= 60) out.push_back(l);
    }
    return out;
}

TEST(MonthPlotGraph, DrawsOnlyTheFirstQuarterOfEachHour) {
    {
        GraphFixture f(GraphKind::Month);
        for (int q = 0; q <= 4; ++q) {
            f.addRecord(makeTime(2008, 12, 10, 10 + q / 4, q % 4 * 15), float(10 + q), -30);
        }
        f.plot.PlotGraph();
        ASSERT_THAT(f.services.messages, IsEmpty());
        // 10:00 is 120 minutes old (x 857.5), 11:00 60 minutes (x 858.75).
        EXPECT_THAT(ambientCurve(f),
                    ElementsAre(LineIs(857.5, 350, 857.5, 350), LineIs(857.5, 350, 858.75, 310)));
        EXPECT_THAT(f.linesOf(palette::kGreen).back(), LineIs(857.5, 450, 858.75, 450));
    }
    {
        SCOPED_TRACE("a first record that is not drawn still sets the previous point");
        GraphFixture f(GraphKind::Month);
        f.addRecord(makeTime(2008, 12, 10, 10, 30), 12, -30);
        f.addRecord(makeTime(2008, 12, 10, 11, 0, 7), 14, -30);
        f.plot.PlotGraph();
        EXPECT_THAT(ambientCurve(f), ElementsAre(LineIs(858.125, 330, 858.75, 310)));
    }
    {
        SCOPED_TRACE("time scale and left edge");
        GraphFixture f(GraphKind::Month);
        const LocalTime now = makeTime(2008, 12, 10, 12, 0);
        bool first = true;
        f.plot.plotEntry(now, addHours(now, -650), num(0), num(-50), first);
        first = false;
        f.plot.plotEntry(now, addHours(now, -8), num(0), num(-50), first);
        EXPECT_THAT(ambientCurve(f),
                    ElementsAre(LineIs(60, 450, 60, 450), LineIs(60, 450, 850, 450)));
    }
}

TEST(MonthPlotGraph, ThresholdsComeBeforeTheScalesAndTheAxisShowsElevenDates) {
    GraphFixture f(GraphKind::Month, makeTime(2008, 12, 10, 12, 20));
    f.plot.PlotGraph();
    const auto& lines = f.surface.lines;
    ASSERT_THAT(lines, SizeIs(::testing::Gt(6)));
    EXPECT_THAT(lines[3], LineIs(60, 300, 860, 300));
    EXPECT_EQ(lines[3].color, palette::kOrange);
    EXPECT_THAT(lines[4], LineIs(60, 200, 860, 200));
    EXPECT_EQ(lines[5].color, palette::kCyan);
    EXPECT_THAT(f.linesOf(palette::kDarkGrey), IsEmpty());

    int shortTicks = 0;
    for (const auto& l : lines) {
        if (l.y1 == 452 && l.y2 == 450) {
            ++shortTicks;
            EXPECT_EQ(l.color, palette::kWhite);
        }
    }
    EXPECT_EQ(shortTicks, 81);

    std::vector<std::pair<float, std::string>> dates;
    for (const auto& t : f.surface.texts) {
        if (t.y == 465) dates.emplace_back(t.x, t.text);
    }
    ASSERT_THAT(dates, SizeIs(11));
    // The anchor is 13:05 on the 10th; each long tick is 64 hours further back.
    EXPECT_EQ(dates[0], (std::pair<float, std::string>{854, "2008_12_10"}));
    EXPECT_EQ(dates[1], (std::pair<float, std::string>{774, "2008_12_7"}));
    EXPECT_EQ(dates[10], (std::pair<float, std::string>{54, "2008_11_13"}));
    EXPECT_TRUE(f.programImage());
}

TEST(MonthPlotGraph, ReadsTwentyEightDayFiles) {
    std::set<float> at10, at20;
    for (int k = -27; k <= 0; ++k) at10.insert(float(k));
    for (int k = -26; k <= 1; ++k) at20.insert(float(k));
    EXPECT_EQ(daysRead(GraphKind::Month, makeTime(2008, 12, 30, 10, 0), -30, 2), at10);
    EXPECT_EQ(daysRead(GraphKind::Month, makeTime(2008, 12, 30, 20, 0), -30, 2), at20);
}

TEST(MonthPlotGraph, MessagesCarryStatementNumbers) {
    const LocalTime day = makeTime(2008, 12, 10);
    const std::string good = logLine(makeTime(2008, 12, 10, 1, 0), 5, -30);
    struct Case {
        std::string content;
        bool webMissing;
        std::string message;
    };
    const Case cases[] = {
        {good + "12/10/2008 2:00:00 AM,5,cold\r\n", false,
         "Error 13 (Type mismatch) at line 50 in procedure plotEntry of Form frmMonth"},
        {good + "12/10/2008 25:00:00,5,-30\r\n", false,
         "Error 13 (Type mismatch) at line 720 in procedure PlotGraph of Form frmMonth"},
        {good + "12/10/2008 2:00:00 AM\r\n", false,
         "Error 62 (Input past end of file) at line 710 in procedure PlotGraph of Form frmMonth"},
        {good, true,
         "Error 76 (Path not found) at line 810 in procedure PlotGraph of Form frmMonth"},
    };
    for (const Case& c : cases) {
        GraphFixture f(GraphKind::Month);
        if (c.webMissing) f.settings.webPath = f.dir.file("gone") + "/";
        f.writeDay(day, c.content);
        f.plot.PlotGraph();
        EXPECT_THAT(f.services.messages, ElementsAre(c.message));
    }
}

}  // namespace
}  // namespace skarvel::testing
