// Redraw cost of the three history graphs over a full history: 325 day files of 96 lines.
//   graphs_bench [--keep-folder=DIR] [benchmark flags]
// --keep-folder writes the history and the images into DIR and leaves them there to look at.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QGuiApplication>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fakes/fake_desktop_services.h"
#include "graphs/graph_plot.h"
#include "qt/qt_drawing_surface.h"
#include "store/file_io.h"
#include "store/readings_log.h"

namespace {

using namespace skarvel;
namespace fs = std::filesystem;

const LocalTime kNow = makeTime(2009, 6, 20, 14, 7, 30);
constexpr int kDays = 325;

std::string g_folder;

// A year of plausible nights and days: seasonal and daily ambient swing, and cloud cover that
// drifts through all three states.
void writeHistory(const std::string& folder) {
    fs::create_directories(folder + "/web");
    const LocalTime firstDay = addDays(makeTime(2009, 6, 20), -(kDays - 1));
    for (int d = 0; d < kDays; ++d) {
        const LocalTime day = addDays(firstDay, d);
        std::string text;
        for (int q = 0; q < 96; ++q) {
            const LocalTime t = addMinutes(day, q * 15 + (q % 3));
            if (t > kNow) break;
            const double season = 12 - 10 * std::cos(2 * M_PI * (d + 170) / 365.0);
            const double ambient = season + 6 * std::sin(2 * M_PI * (q - 36) / 96.0);
            const double s = d * 96 + q;
            const double cloud = 0.5 + 0.5 * std::sin(s / 40.0) * std::cos(s / 900.0);
            const double sky = ambient - 35 + 30 * cloud;
            text += logLine(t, float(std::floor(ambient * 10) / 10), float(sky));
        }
        if (!text.empty()) writeFileAtomic(folder + "/" + dayFileName(day), text);
    }
}

struct Window {
    Window(GraphKind kind, const Settings& settings, DesktopServices& services)
        : surface(GraphPlot::surfaceWidth(kind), GraphPlot::surfaceHeight(kind)),
          plot(kind, surface, settings, services) {}
    QtDrawingSurface surface;
    GraphPlot plot;
};

// Draws nothing and saves nothing: what is left is the log scan and the arithmetic.
class NullSurface final : public DrawingSurface {
  public:
    int width() const override { return 1001; }
    int height() const override { return 537; }
    void setBackColor(Color) override {}
    void line(float, float, float, float) override { ++lines; }
    void print(const std::string&) override {}
    void savePicture(const std::string&) override {}
    long lines = 0;
};

struct Program {
    Program() : services(g_folder, kNow) { settings.webPath = g_folder + "/web/"; }
    Settings settings;
    testing::FakeDesktopServices services;
};

void requireQuiet(benchmark::State& state, const testing::FakeDesktopServices& services) {
    if (!services.messages.empty()) state.SkipWithError(services.messages.front().c_str());
}

void BM_PlotGraph(benchmark::State& state, GraphKind kind) {
    Program p;
    Window w(kind, p.settings, p.services);
    for (auto _ : state) w.plot.PlotGraph();
    requireQuiet(state, p.services);
}
BENCHMARK_CAPTURE(BM_PlotGraph, history, GraphKind::History)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlotGraph, month, GraphKind::Month)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PlotGraph, year, GraphKind::Year)->Unit(benchmark::kMillisecond);

// What the log writer does every quarter hour.
void BM_ThreeRedraws(benchmark::State& state) {
    Program p;
    Window h(GraphKind::History, p.settings, p.services);
    Window m(GraphKind::Month, p.settings, p.services);
    Window y(GraphKind::Year, p.settings, p.services);
    for (auto _ : state) {
        h.plot.PlotGraph();
        m.plot.PlotGraph();
        y.plot.PlotGraph();
    }
    requireQuiet(state, p.services);
}
BENCHMARK(BM_ThreeRedraws)->Unit(benchmark::kMillisecond);

void BM_YearLogScan(benchmark::State& state) {
    Program p;
    NullSurface surface;
    GraphPlot plot(GraphKind::Year, surface, p.settings, p.services);
    for (auto _ : state) plot.PlotGraph();
    requireQuiet(state, p.services);
}
BENCHMARK(BM_YearLogScan)->Unit(benchmark::kMillisecond);

void BM_EncodeBmp(benchmark::State& state) {
    QtDrawingSurface surface(1001, 537);
    for (auto _ : state) benchmark::DoNotOptimize(surface.bmpBytes());
}
BENCHMARK(BM_EncodeBmp)->Unit(benchmark::kMillisecond);

long statusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::string(key).size()));
    }
    return -1;
}

// Resident memory must not grow with the number of redraws.
void reportMemory() {
    Program p;
    Window h(GraphKind::History, p.settings, p.services);
    Window m(GraphKind::Month, p.settings, p.services);
    Window y(GraphKind::Year, p.settings, p.services);
    auto redraw = [&](int n) {
        for (int i = 0; i < n; ++i) {
            h.plot.PlotGraph();
            m.plot.PlotGraph();
            y.plot.PlotGraph();
        }
    };
    redraw(5);
    const long rss0 = statusKb("VmRSS:"), hwm0 = statusKb("VmHWM:");
    redraw(200);
    const long rss1 = statusKb("VmRSS:"), hwm1 = statusKb("VmHWM:");
    std::printf("memory after 5 redraws of all three: VmRSS %ld kB, VmHWM %ld kB\n", rss0, hwm0);
    std::printf("memory after 205 redraws:            VmRSS %ld kB, VmHWM %ld kB\n", rss1, hwm1);
    std::printf("messages shown: %zu\n", p.services.messages.size());
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);  // fonts need a GUI application

    std::string keep;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--keep-folder=", 0) == 0) {
            keep = arg.substr(14);
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;

    g_folder =
        keep.empty()
            ? (fs::temp_directory_path() / ("skarvel-bench-" + std::to_string(::getpid()))).string()
            : fs::absolute(keep).string();
    fs::create_directories(g_folder);
    writeHistory(g_folder);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    reportMemory();

    if (keep.empty()) fs::remove_all(g_folder);
    return 0;
}
