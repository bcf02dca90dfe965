#pragma once

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>

#include "fakes/fake_desktop_services.h"
#include "fakes/recording_surface.h"
#include "graphs/graph_plot.h"
#include "graphs/palette.h"
#include "store/readings_log.h"
#include "store/temp_dir.h"

namespace skarvel::testing {

inline FieldValue num(double v) {
    return FieldValue{true, v, ""};
}

/// A program folder with a web folder inside, the fake clock and a recording surface.
struct GraphFixture {
    explicit GraphFixture(GraphKind kind, LocalTime now = makeTime(2008, 12, 10, 12, 0))
        : services(dir.str(), now),
          surface(GraphPlot::surfaceWidth(kind), GraphPlot::surfaceHeight(kind)),
          plot(kind, surface, settings, services) {
        std::filesystem::create_directory(dir.file("web"));
        settings.webPath = dir.file("web") + "/";
    }

    /// Writes the day file of `day` from whole log lines.
    void writeDay(LocalTime day, const std::string& content) const {
        TempDir::write(dir.file(dayFileName(day)), content);
    }
    /// Appends one regular log line to its day file.
    void addRecord(LocalTime t, float ambient, float sky) const {
        const std::string path = dir.file(dayFileName(t));
        TempDir::write(path, TempDir::read(path) + logLine(t, ambient, sky));
    }

    bool programImage() const { return FileExists(dir.file(plot.imageName())); }
    bool webImage() const { return FileExists(settings.webPath + plot.imageName()); }

    std::vector<RecordingSurface::Line> linesOf(Color color) const {
        std::vector<RecordingSurface::Line> out;
        std::copy_if(surface.lines.begin(), surface.lines.end(), std::back_inserter(out),
                     [&](const auto& l) { return l.color == color; });
        return out;
    }
    /// Index of the first line matching, or -1.
    template <class Pred>
    int firstLine(Pred pred) const {
        for (std::size_t i = 0; i < surface.lines.size(); ++i) {
            if (pred(surface.lines[i])) return int(i);
        }
        return -1;
    }

    TempDir dir;
    Settings settings;
    FakeDesktopServices services;
    RecordingSurface surface;
    GraphPlot plot;
};

/// Redraws with one day file per day from `fromDay` to `toDay` (offsets from the date of `now`),
/// each with records at `times` whose ambient temperature tells the day apart, and returns the
/// day offsets whose records reached the ambient curve.
inline std::set<float> daysRead(GraphKind kind, LocalTime now, int fromDay, int toDay,
                                std::vector<std::pair<int, int>> times = {{5, 5}}) {
    GraphFixture f(kind, now);
    const CivilTime c = toCivil(now);
    for (int k = fromDay; k <= toDay; ++k) {
        for (auto [hour, minute] : times) {
            const LocalTime t = addDays(makeTime(c.year, c.month, c.day, hour, minute), k);
            f.addRecord(t, float(k - fromDay), -30);
        }
    }
    f.plot.PlotGraph();
    std::set<float> out;
    for (const auto& l : f.linesOf(palette::kCyan)) {
        // The scale ticks are cyan too but lie left of the frame.
        if (l.x1 >= 60) out.insert((450 - l.y2) / 10 + float(fromDay));
    }
    return out;
}

MATCHER_P4(LineIs, x1, y1, x2, y2, "") {
    return arg.x1 == float(x1) && arg.y1 == float(y1) && arg.x2 == float(x2) && arg.y2 == float(y2);
}

}  // namespace skarvel::testing
