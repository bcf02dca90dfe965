#include "graph_fixture.h"

namespace skarvel::testing {
namespace {

using namespace palette;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

const LocalTime kNow = makeTime(2008, 12, 10, 12, 0);

struct YearFixture : GraphFixture {
    YearFixture() : GraphFixture(GraphKind::Year, kNow) {}
    void record(LocalTime t, double ambient, double sky) {
        plot.plotEntry(kNow, t, num(ambient), num(sky), first);
        first = false;
    }
    bool first = true;
};

TEST(YearPlotEntry, MidnightRecordsDrawTheBarOfTheDaysBefore) {
    YearFixture f;
    f.record(makeTime(2008, 12, 8, 0, 0, 8), 3, -30);  // nothing counted yet: no bar
    f.record(makeTime(2008, 12, 8, 6, 0), 10, -10);    // difference -20: y 250
    f.record(makeTime(2008, 12, 8, 18, 0), 10, -70);   // below -40: y 450
    EXPECT_THAT(f.surface.lines, IsEmpty());

    // Midnight runs to 00:14:59; this one is 2146 minutes old. Mean y 350: difference -30.
    const double x9 = 860 - (2146.0 * 10 / 60) / 96;
    f.record(makeTime(2008, 12, 9, 0, 14, 59), 5, -30);
    EXPECT_THAT(
        f.surface.lines,
        ElementsAre(Seg(x9, 449, x9, 350, kGreen), Seg(x9 + 1, 449, x9 + 1, 350, kGreen),
                    Seg(x9 + 2, 449, x9 + 2, 350, kGreen), Seg(853.75, 420, x9, 400, kCyan)));

    SCOPED_TRACE("a day without a midnight record is pooled with the next");
    f.surface.lines.clear();
    f.record(makeTime(2008, 12, 9, 0, 15), 0, 0);      // y 50
    f.record(makeTime(2008, 12, 9, 23, 45), 10, -10);  // y 250
    f.record(makeTime(2008, 12, 10, 6, 0), 10, -10);   // y 250
    f.record(makeTime(2008, 12, 11, 0, 5), 20, -20);   // mean 550 / 3: difference -13.33
    const double x11 = 860 - (-725.0 * 10 / 60) / 96;
    ASSERT_THAT(f.surface.lines, SizeIs(4));
    EXPECT_THAT(f.surface.lines[0], Seg(x11, 449, x11, 550.0 / 3, kRed));
    EXPECT_THAT(f.surface.lines[3], LineIs(x9, 400, x11, 250));
}

TEST(YearPlotEntry, DayCountOverflowsAbove32767) {
    YearFixture f;
    for (int i = 0; i < 32767; ++i) f.record(makeTime(2008, 12, 9, 12, 0), 10, -10);
    EXPECT_THAT(f.services.messages, IsEmpty());
    f.record(makeTime(2008, 12, 9, 13, 0), 10, -70);  // would pull the mean down
    EXPECT_THAT(
        f.services.messages,
        ElementsAre("Error 6 (Overflow) at line 160 in procedure plotEntry of Form frmYear"));
    f.record(makeTime(2008, 12, 10, 0, 0), 10, -10);
    ASSERT_THAT(f.surface.lines, SizeIs(4));
    EXPECT_EQ(f.surface.lines[0].y2, 250);
    EXPECT_EQ(f.surface.lines[0].color, kOrange);
}

TEST(YearPlotGraph, StartsEachRedrawWithAnEmptyDay) {
    YearFixture f;
    f.record(makeTime(2008, 12, 9, 12, 0), 10, -10);
    f.record(makeTime(2008, 12, 9, 13, 0), 10, -10);
    f.addRecord(makeTime(2008, 12, 10, 0, 0), 5, -30);
    f.plot.PlotGraph();
    ASSERT_THAT(f.services.messages, IsEmpty());
    for (const auto& l : f.surface.lines) EXPECT_NE(l.y1, 449) << "no bar";

    std::vector<std::string> dates;
    for (const auto& t : f.surface.texts) {
        if (t.y == 465) dates.push_back(t.text);
    }
    ASSERT_THAT(dates, SizeIs(11));
    EXPECT_EQ(dates[0], "2008_12_10");
    EXPECT_EQ(dates[1], "2008_11_8");  // 768 hours back from 12:45
}

TEST(YearPlotGraph, ReadsThreeHundredTwentyFiveDayFiles) {
    // A day's midnight point needs the day before to have been read as well.
    const std::vector<std::pair<int, int>> times = {{0, 5}, {12, 0}};
    EXPECT_EQ(daysRead(GraphKind::Year, makeTime(2008, 12, 10, 10, 0), -330, 2, times),
              std::pair(-323, 0));
    EXPECT_EQ(daysRead(GraphKind::Year, makeTime(2008, 12, 10, 20, 0), -330, 2, times),
              std::pair(-322, 1));
}

}  // namespace
}  // namespace skarvel::testing
