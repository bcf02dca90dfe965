#include "graph_fixture.h"

namespace skarvel::testing {
namespace {

using namespace palette;
using ::testing::ElementsAre;

TEST(MonthPlotGraph, DrawsOnlyTheFirstQuarterOfEachHour) {
    {
        GraphFixture f(GraphKind::Month);
        for (int q = 0; q <= 4; ++q) {
            f.addRecord(makeTime(2008, 12, 10, 10 + q / 4, q % 4 * 15), float(10 + q), -30);
        }
        f.plot.PlotGraph();
        // 10:00 is 120 minutes old (x 857.5), 11:00 60 minutes (x 858.75).
        EXPECT_THAT(f.ambientCurve(),
                    ElementsAre(LineIs(857.5, 350, 857.5, 350), LineIs(857.5, 350, 858.75, 310)));
        EXPECT_THAT(f.linesOf(kGreen).back(), LineIs(857.5, 450, 858.75, 450));
    }
    {
        SCOPED_TRACE("a first record that is not drawn still sets the previous point");
        GraphFixture f(GraphKind::Month);
        f.addRecord(makeTime(2008, 12, 10, 10, 30), 12, -30);
        f.addRecord(makeTime(2008, 12, 10, 11, 0, 7), 14, -30);
        f.plot.PlotGraph();
        EXPECT_THAT(f.ambientCurve(), ElementsAre(LineIs(858.125, 330, 858.75, 310)));
    }
    GraphFixture f(GraphKind::Month);
    const LocalTime now = makeTime(2008, 12, 10, 12, 0);
    bool first = true;
    f.plot.plotEntry(now, addHours(now, -650), num(0), num(-50), first);
    first = false;
    f.plot.plotEntry(now, addHours(now, -8), num(0), num(-50), first);
    EXPECT_THAT(f.ambientCurve(), ElementsAre(LineIs(60, 450, 60, 450), LineIs(60, 450, 850, 450)));
}

TEST(MonthPlotGraph, ThresholdsComeBeforeTheScalesAndTheAxisShowsElevenDates) {
    GraphFixture f(GraphKind::Month, makeTime(2008, 12, 10, 12, 20));
    f.plot.PlotGraph();
    const auto& lines = f.surface.lines;
    ASSERT_GT(lines.size(), 5u);
    EXPECT_THAT(std::vector(lines.begin() + 3, lines.begin() + 6),
                ElementsAre(LineIs(60, 300, 860, 300), LineIs(60, 200, 860, 200),
                            ::testing::Field(&Line::color, kCyan)));
    EXPECT_TRUE(f.linesOf(kDarkGrey).empty());
    int ticks = 0;
    for (const Line& l : lines) ticks += l.y1 == 452 && l.y2 == 450 && l.color == kWhite;
    EXPECT_EQ(ticks, 81);

    // Anchor 13:05 on the 10th; each long tick is 64 hours further back.
    std::vector<std::pair<float, std::string>> dates;
    for (const auto& t : f.surface.texts) {
        if (t.y == 465) dates.emplace_back(t.x, t.text);
    }
    ASSERT_EQ(dates.size(), 11u);
    EXPECT_EQ(dates[0], std::pair(854.0f, std::string("2008_12_10")));
    EXPECT_EQ(dates[1], std::pair(774.0f, std::string("2008_12_7")));
    EXPECT_EQ(dates[10], std::pair(54.0f, std::string("2008_11_13")));
}

TEST(MonthPlotGraph, ReadsTwentyEightDayFiles) {
    EXPECT_EQ(daysRead(GraphKind::Month, makeTime(2008, 12, 30, 10, 0), -30, 2), std::pair(-27, 0));
    EXPECT_EQ(daysRead(GraphKind::Month, makeTime(2008, 12, 30, 20, 0), -30, 2), std::pair(-26, 1));
}

}  // namespace
}  // namespace skarvel::testing
