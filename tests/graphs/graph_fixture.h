#pragma once

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

using Line = RecordingSurface::Line;
// Written out as 0x00BBGGRR apart from the palette, so that a wrong palette entry shows.
constexpr Color kWhite = 0xFFFFFF, kCyan = 0xFFFF00, kGreen = 0x00FF00, kOrange = 0x0080FF,
                kRed = 0x0000FF, kGrey = 0x404040;

inline FieldValue num(double v) {
    return FieldValue{true, v, ""};
}

/// A program folder with a web folder, the fake clock and a recording surface.
struct GraphFixture {
    explicit GraphFixture(GraphKind kind, LocalTime now = makeTime(2008, 12, 10, 12, 0))
        : services(dir.str(), now), surface(1001, 537), plot(kind, surface, settings, services) {
        std::filesystem::create_directory(dir.file("web"));
        settings.webPath = dir.file("web") + "/";
    }
    void addRecord(LocalTime t, float ambient, float sky) const {
        const std::string path = dir.file(dayFileName(t));
        TempDir::write(path, TempDir::read(path) + logLine(t, ambient, sky));
    }
    /// Lines in a colour from `fromX` on; the ambient curve is the cyan right of its scale.
    std::vector<Line> linesOf(Color color, float fromX = 0) const {
        std::vector<Line> out;
        for (const Line& l : surface.lines) {
            if (l.color == color && l.x1 >= fromX) out.push_back(l);
        }
        return out;
    }
    std::vector<Line> ambientCurve() const { return linesOf(kCyan, 60); }

    TempDir dir;
    Settings settings;
    FakeDesktopServices services;
    RecordingSurface surface;
    GraphPlot plot;
};

MATCHER_P5(Seg, x1, y1, x2, y2, color, "") {
    return arg.x1 == float(x1) && arg.y1 == float(y1) && arg.x2 == float(x2) &&
           arg.y2 == float(y2) && arg.color == Color(color);
}

}  // namespace skarvel::testing
