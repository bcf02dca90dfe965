#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>

#include "fakes/fake_desktop_services.h"
#include "fakes/recording_surface.h"
#include "fakes/temp_dir.h"
#include "graphs/graph_plot.h"
#include "graphs/palette.h"
#include "store/file_io.h"
#include "store/readings_log.h"

namespace skarvel::testing {

using Line = RecordingSurface::Line;

inline FieldValue num(double v) {
    return FieldValue{true, v, ""};
}

/// A program folder with a web folder, the fake clock and a recording surface.
struct GraphFixture {
    explicit GraphFixture(GraphKind kind, LocalTime now = makeTime(2008, 12, 10, 12, 0))
        : services(dir.str(), now),
          surface(GraphPlot::surfaceWidth(kind), GraphPlot::surfaceHeight(kind)),
          plot(kind, surface, settings, services) {
        std::filesystem::create_directory(dir.file("web"));
        settings.webPath = dir.file("web") + "/";
    }
    void addRecord(LocalTime t, float ambient, float sky) const {
        const std::string path = dir.file(dayFileName(t));
        TempDir::write(path, TempDir::read(path) + logLine(t, ambient, sky));
    }
    /// Lines in a colour from `fromX` rightwards; the ambient curve is the cyan inside the frame,
    /// whose scale ticks lie left of it.
    std::vector<Line> linesOf(Color color, float fromX = -1e9f) const {
        std::vector<Line> out;
        for (const Line& l : surface.lines) {
            if (l.color == color && l.x1 >= fromX) out.push_back(l);
        }
        return out;
    }
    std::vector<Line> ambientCurve() const { return linesOf(palette::kCyan, 60); }

    TempDir dir;
    Settings settings;
    FakeDesktopServices services;
    RecordingSurface surface;
    GraphPlot plot;
};

/// Redraws with day files for the day offsets fromDay..toDay around `now`, each with records at
/// `times` whose ambient temperature names the day; returns the first and the last day that
/// reached the curve, which must be all the days between.
inline std::pair<int, int> daysRead(GraphKind kind, LocalTime now, int fromDay, int toDay,
                                    std::vector<std::pair<int, int>> times = {{5, 5}}) {
    GraphFixture f(kind, now);
    const CivilTime c = toCivil(now);
    for (int k = fromDay; k <= toDay; ++k) {
        for (auto [hour, minute] : times) {
            f.addRecord(addDays(makeTime(c.year, c.month, c.day, hour, minute), k),
                        float(k - fromDay), -30);
        }
    }
    f.plot.PlotGraph();
    std::set<int> days;
    for (const Line& l : f.ambientCurve()) days.insert(int(450 - l.y2) / 10 + fromDay);
    if (days.empty()) return {0, -1};
    EXPECT_EQ(int(days.size()), *days.rbegin() - *days.begin() + 1) << "a day left out";
    return {*days.begin(), *days.rbegin()};
}

MATCHER_P4(LineIs, x1, y1, x2, y2, "") {
    return arg.x1 == float(x1) && arg.y1 == float(y1) && arg.x2 == float(x2) && arg.y2 == float(y2);
}
/// A line drawn in a given colour.
MATCHER_P5(Seg, x1, y1, x2, y2, color, "") {
    return ::testing::Matches(LineIs(x1, y1, x2, y2))(arg) && arg.color == color;
}

}  // namespace skarvel::testing
