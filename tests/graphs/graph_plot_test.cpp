#include <algorithm>
#include <filesystem>
#include <set>
#include <vector>

#include <gmock/gmock.h>

#include "fakes/fake_desktop_services.h"
#include "fakes/recording_surface.h"
#include "fakes/temp_dir.h"
#include "graphs/graph_plot.h"
#include "store/file_io.h"
#include "store/readings_log.h"

namespace skarvel::testing {
namespace {

using ::testing::Contains, ::testing::ElementsAre, ::testing::SizeIs, ::testing::_;
using Line = RecordingSurface::Line;
using Text = RecordingSurface::Text;

// Written out as 0x00BBGGRR apart from the palette, so that a wrong palette entry shows.
constexpr Color kWhite = 0xFFFFFF, kCyan = 0xFFFF00, kGreen = 0x00FF00, kOrange = 0x0080FF,
                kRed = 0x0000FF, kGrey = 0x404040;
const LocalTime kNoon = makeTime(2008, 12, 10, 12, 0);

const auto num = [](double v) { return FieldValue{true, v, ""}; };

/// The ambient curve is the cyan right of its scale.
std::vector<Line> ambientCurve(std::vector<Line> lines) {
    std::erase_if(lines, [](const Line& l) { return l.color != kCyan || l.x1 < 60; });
    return lines;
}

/// A program folder with a web folder, the fake clock and a recording surface.
struct GraphFixture {
    explicit GraphFixture(GraphKind kind, LocalTime now = kNoon)
        : services(dir.str(), now), surface(1001, 537), plot(kind, surface, settings, services) {
        std::filesystem::create_directory(dir.file("web"));
        settings.webPath = dir.file("web") + "/";
    }

    TempDir dir;
    Settings settings;
    FakeDesktopServices services;
    RecordingSurface surface;
    GraphPlot plot;
};

struct Window {
    GraphKind kind;
    std::string names;  // form, caption, image, its size
    bool thresholdsFirst;
    // Labels along the time axis at 12:15, so anchored at 13:00, and how many at y 465.
    std::vector<Text> labels;
    long labelCount;
    std::vector<float> midnights;
    std::tuple<int, int, int> readAt[2];  // at hour:14, the first and the last day file read
    int failureLines[4];  // for a bad number, a bad date, a short record, no web folder
};

TEST(GraphWindows, EachMatchesItsDescription) {
    // clang-format off
    const Window windows[] = {
        {GraphKind::History, "frmHistory 3 Day History Graph history.bmp 1000x534", false,
         {{844, 465, " 12 "}, {804, 465, " 8 "}, {724, 480, "2008_12_10"}}, 20, {730, 490, 250},
         {{10, -3, 1}, {4, -4, 0}}, {0, 0, 0, 0}},
        {GraphKind::Month, "frmMonth 30 Day History Graph month.bmp 1001x529", true,
         {{854, 465, "2008_12_10"}, {774, 465, "2008_12_7"}}, 11, {},
         {{10, -27, 0}, {20, -26, 1}}, {50, 720, 710, 810}},
        {GraphKind::Year, "frmYear Year History Graph year.bmp 1001x537", true,
         {{854, 465, "2008_12_10"}, {774, 465, "2008_11_8"}}, 11, {},
         {{10, -323, 0}, {20, -322, 1}}, {50, 740, 730, 830}}};
    // clang-format on
    for (const Window& w : windows) {
        SCOPED_TRACE(w.names);
        GraphFixture f(w.kind, makeTime(2008, 12, 10, 12, 15));
        EXPECT_EQ(std::string(f.plot.formName()) + " " + f.plot.caption() + " " +
                      f.plot.imageName() + " " + std::to_string(GraphPlot::surfaceWidth(w.kind)) +
                      "x" + std::to_string(GraphPlot::surfaceHeight(w.kind)),
                  w.names);
        f.plot.PlotGraph();
        ASSERT_TRUE(f.services.messages.empty() && f.surface.back == 0u);  // on black
        const auto& lines = f.surface.lines;
        // Axes, thresholds, and the scales: ambient 0..40 left, the difference -40..0 right in
        // its state colours.
        // clang-format off
        for (Line l : {Line{60, 50, 60, 450, kWhite}, {860, 50, 860, 450, kWhite},
                       {60, 450, 860, 450, kWhite}, {60, 300, 860, 300, kOrange},
                       {60, 200, 860, 200, kRed}, {58, 440, 60, 440, kCyan},
                       {55, 400, 60, 400, kCyan}, {862, 190, 860, 190, kRed},
                       {865, 300, 860, 300, kOrange}, {862, 210, 860, 210, kOrange}})
            EXPECT_THAT(lines, Contains(l));
        // clang-format on
        EXPECT_EQ(lines.at(w.thresholdsFirst ? 3 : lines.size() - 2),
                  (Line{60, 300, 860, 300, kOrange}));
        // clang-format off
        std::vector<Text> texts = {{30, 44, " 40 ", kCyan}, {880, 344, "-30 ", kGreen},
            {60, 500, "Legend:", kWhite}, {120, 500, "Ambient", kCyan}, {180, 500, "V.Cloudy", kRed},
            {240, 500, "Cloudy", kOrange}, {300, 500, "Clear", kGreen}};
        // clang-format on
        for (Text t : w.labels) texts.push_back({t.x, t.y, t.text, kWhite});
        for (const Text& t : texts) EXPECT_THAT(f.surface.texts, Contains(t));
        EXPECT_EQ(std::ranges::count(f.surface.texts, 465.0f, &Text::y), w.labelCount);
        // The time axis's ticks, a longer one under each label.
        EXPECT_EQ(std::ranges::count_if(lines, [](Line l) { return l.y1 - l.y2 == 2; }), 81);
        EXPECT_EQ(std::ranges::count(lines, 5.0f, [](Line l) { return l.y1 - l.y2; }),
                  w.labelCount);
        std::vector<float> grid;
        for (const Line& l : lines)
            if (l.color == kGrey) grid.push_back(l.y1 == 449 && l.y2 == 50 ? l.x1 : -1);
        EXPECT_EQ(grid, w.midnights);

        // A day file for each of the days -330..2, its ambient naming the day: the curve must
        // hold exactly the days of the window's span, which ends tomorrow.
        for (auto [hour, from, to] : w.readAt) {
            GraphFixture g(w.kind, makeTime(2008, 12, 10, hour, 14));
            const auto frame = (g.plot.PlotGraph(), std::ssize(g.surface.lines));  // no record yet
            for (int k = -330; k <= 2; ++k) {
                const LocalTime day = addDays(makeTime(2008, 12, 10), k);
                const float ambient = float(k + 330) / 10;
                // A year point at midnight needs the day before read.
                TempDir::write(g.dir / dayFileName(day),
                               logLine(addMinutes(day, 5), ambient, 0) +
                                   logLine(addMinutes(day, 725), ambient, 0));
            }
            g.plot.PlotGraph();
            // The ambient curve names the days; each record's curves go on from the last one's.
            const std::vector<Line> data(g.surface.lines.begin() + frame, g.surface.lines.end());
            const auto curve = ambientCurve(data);
            std::set<int> days;
            for (Line l : curve) days.insert(int(std::lround(120 - l.y2)));
            const size_t step = w.kind == GraphKind::Year ? 1 : 3;
            const auto& joined = step == 1 ? curve : data;
            for (size_t i = step; i < joined.size(); ++i)
                EXPECT_EQ(std::pair(joined[i].x1, joined[i].y1),
                          std::pair(joined[i - step].x2, joined[i - step].y2));
            EXPECT_THAT(days, SizeIs(to - from + 1)) << hour;
            EXPECT_EQ(std::pair(*days.begin(), *days.rbegin()), std::pair(from, to)) << hour;
        }

        // What came before a failure stays drawn; a bad number skips only its record, and a bad
        // first record does not join the next one to the point of an earlier redraw.
        const std::string good = logLine(makeTime(2008, 12, 10, 1, 0), 5, -30);
        const std::string later = logLine(makeTime(2008, 12, 10, 2, 0), 8, -30);
        // clang-format off
        const std::tuple<std::string, std::string, int> failures[] = {
            {"12/10/2008 12:30:00 AM,warm,-30\r\n" + good + later, "plotEntry", 13},
            {good + "13/45/2008 1:30:00 AM,5,-30\r\n" + later, "PlotGraph", 13},
            {good + "12/10/2008 1:30:00 AM,5", "PlotGraph", 62}, {good, "PlotGraph", 76}};  // the last: no web folder
        // clang-format on
        for (int i = 0; i < 4; ++i) {
            const auto& [content, procedure, number] = failures[i];
            GraphFixture g(w.kind);
            g.plot.plotEntry(kNoon, kNoon, num(20), num(0), true);  // an earlier point
            if (number == 76) g.settings.webPath = g.dir.file("gone") + "/";
            TempDir::write(g.dir / "2008_12_10.csv", content);
            g.plot.PlotGraph();
            const std::string where = " at line " + std::to_string(w.failureLines[i]) +
                                      " in procedure " + procedure + " of Form ";
            EXPECT_THAT(g.services.messages,
                        ElementsAre(::testing::MatchesRegex("Error " + std::to_string(number) +
                                                            " \\(.*\\)" + where + ".*")))
                << content;
            const bool saved = i == 0 || i == 3;
            EXPECT_EQ(FileExists(g.dir.file(g.plot.imageName())), saved);
            EXPECT_EQ(FileExists(g.settings.webPath + g.plot.imageName()), saved && i < 3);
            if (w.kind == GraphKind::Year) continue;
            const auto curve = ambientCurve(g.surface.lines);
            ASSERT_THAT(curve, SizeIs(i == 0 ? 2 : 1)) << content;
            EXPECT_EQ(curve[0].y1 + curve[0].y2 + curve.back().y1, 1200);  // from the good one
        }
    }
}

// One record as the first of a redraw: x by its age (10 px per 1 or 8 hours, minute boundaries
// counting), ambient up from the bottom, the difference down from the top, both clamped.
TEST(GraphPlotEntry, PlacesARecordByItsAgeAndValues) {
    constexpr auto H = GraphKind::History, M = GraphKind::Month;
    // clang-format off
    const std::tuple<GraphKind, int, double, double, double, double, double, Color> cases[] = {
        {H, 1800, 10, -20, 865, 350, 350, kGreen}, {H, -7200, 20, 5, 840, 250, 200, kRed},
        {H, -1, 0, -25, 860 - 1 / 6.0, 450, 300, kOrange}, {H, -360000, -5, 5, 60, 500, 50, kRed},
        {H, -284400, 45, -10, 70, 0, 450, kGreen}, {M, -28800, 1, -16, 850, 440, 220, kOrange},
        {M, -2760, 0, -50, 860 - 46 / 48.0, 450, 450, kGreen},
        {M, -2340000, 0, -50, 60, 450, 450, kGreen},
        {M, -2700, 0, -50, -1, 0, 0, 0}, {M, -60, 0, -50, -1, 0, 0, 0}};  // quarters past: none
    // clang-format on
    for (auto [kind, s, ambient, sky, dx, dya, dyd, color] : cases) {
        GraphFixture f(kind);
        f.plot.plotEntry(kNoon, kNoon + std::chrono::seconds(s), num(ambient), num(sky), true);
        const float x = float(dx), ya = float(dya), yd = float(dyd);
        const std::vector<Line> dots = {
            {x, ya, x, ya, kCyan}, {x, yd, x, yd, color}, {x, 450, x, 450, color}};
        EXPECT_EQ(f.surface.lines, x < 0 ? std::vector<Line>() : dots) << s;
    }
}

// A record from midnight to 00:14:59 draws a 3 px bar of the mean difference of the records
// since the last bar and joins the ambient curve; the others only count, up to 32767 of them.
TEST(YearPlotEntry, MidnightRecordsDrawTheBarOfTheDaysBefore) {
    GraphFixture f(GraphKind::Year);
    const auto record = [&](int day, int h, int m, int s, double ambient, double sky) {
        f.plot.plotEntry(kNoon, makeTime(2008, 12, day, h, m, s), num(ambient), num(sky), day == 8);
    };
    record(8, 0, 0, 8, 3, -30);  // nothing counted yet: no bar
    record(9, 0, 15, 0, 0, 0);   // y 50; there is no midnight record on the 10th
    for (int i = 0; i < 32766; ++i) record(10, 6, 0, 0, 10, -14);  // y 290, just cloudy
    record(10, 13, 0, 0, 10, -70);                                 // one too many: not counted
    EXPECT_THAT(f.services.messages, ElementsAre("Error 6 (Overflow) at line 160 in procedure "
                                                 "plotEntry of Form frmYear"));
    record(11, 0, 14, 59, 20, -20);
    const float x = float(860 + 734 / 576.0), y = float((50 + 290 * 32766.0) / 32767);
    EXPECT_EQ(f.surface.lines, (std::vector<Line>{{x, 449, x, y, kOrange},
                                                  {x + 1, 449, x + 1, y, kOrange},
                                                  {x + 2, 449, x + 2, y, kOrange},
                                                  {853.75f, 420, x, 250, kCyan}}));
    record(11, 12, 0, 0, 10, -16);  // the next bar counts from nothing: y 310, clear
    record(12, 0, 5, 0, 10, -10);
    EXPECT_THAT(f.surface.lines.at(4), ::testing::FieldsAre(_, 449, _, 310, kGreen));
    record(12, 12, 0, 0, 10, -10);  // a redraw starts with an empty day: the bar is of 6:00 alone
    TempDir::write(f.dir / "2008_12_9.csv", logLine(makeTime(2008, 12, 9, 6), 10, -16));
    TempDir::write(f.dir / "2008_12_10.csv", logLine(makeTime(2008, 12, 10), 5, -30));
    f.plot.PlotGraph();
    EXPECT_EQ(std::ranges::count(f.surface.lines, 449.0f, &Line::y1), 3);
    EXPECT_THAT(f.surface.lines, Contains(::testing::FieldsAre(_, 449, _, 310, kGreen)).Times(3));
}

}  // namespace
}  // namespace skarvel::testing
