// Cost of learning the clear sky from a full log, 365 day files of 96 lines, and of the
// dashboard's answers from it: a year of /history.json, and /nights.json.
//   sky_model_bench [benchmark flags]
// The learning runs on the cycle's path, and the answers on the server's, only while each
// stays under 50 ms.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "automation/sky_model.h"
#include "store/file_io.h"
#include "store/readings_log.h"
#include "web/history.h"

namespace {

using namespace skarvel;
namespace fs = std::filesystem;

const LocalTime kNow = makeTime(2026, 12, 7, 23, 50);
constexpr int kDays = 365;

std::string g_folder;

// Seasons, days and nights, and clouds drifting across a clear sky that warms with the air.
void writeHistory(const std::string& folder) {
    const LocalTime firstDay = addDays(makeTime(2026, 12, 7), -(kDays - 1));
    for (int d = 0; d < kDays; ++d) {
        const LocalTime day = addDays(firstDay, d);
        std::string text;
        for (int q = 0; q < 96; ++q) {
            const double season = 9 - 10 * std::cos(2 * M_PI * (d + 20) / 365.0);
            const double ambient = season + 6 * std::sin(2 * M_PI * (q - 36) / 96.0);
            const double clear = -22 + 1.2 * ambient + 0.3 * std::exp(ambient / 10);
            const double s = d * 96 + q;
            const double cloud = std::max(0.0, std::sin(s / 40.0) * std::cos(s / 900.0));
            text += logLine(addMinutes(day, q * 15 + 3), float(std::floor(ambient * 10) / 10),
                            float(clear + (ambient - clear) * cloud));
        }
        writeFileAtomic(folder + dayFileName(day), text);
    }
}

void BM_LearnFromLog(benchmark::State& state) {
    SkyModel model;
    for (auto _ : state) model = fitClearSky(readSkyLines(g_folder, kNow));
    if (!model.learned) state.SkipWithError(model.why.c_str());
    state.counters["lines"] = model.lines;
}
BENCHMARK(BM_LearnFromLog)->Unit(benchmark::kMillisecond);

void BM_ReadLog(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(readSkyLines(g_folder, kNow));
}
BENCHMARK(BM_ReadLog)->Unit(benchmark::kMillisecond);

void BM_Fit(benchmark::State& state) {
    const std::vector<SkyLine> lines = readSkyLines(g_folder, kNow);
    for (auto _ : state) benchmark::DoNotOptimize(fitClearSky(lines));
}
BENCHMARK(BM_Fit)->Unit(benchmark::kMillisecond);

void BM_HistoryOfAYear(benchmark::State& state) {
    using namespace std::chrono;
    const local_days today = floor<days>(kNow);
    const DayRange year{today - days(kMaxHistoryDays - 1), today};
    const HistoryRules rules{-25, -15, {}, fitClearSky(readSkyLines(g_folder, kNow))};
    std::size_t bytes = 0;
    for (auto _ : state) bytes = historyJson(readHistory(g_folder, year, rules), year).size();
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_HistoryOfAYear)->Unit(benchmark::kMillisecond);

void BM_Nights(benchmark::State& state) {
    using namespace std::chrono;
    const local_days today = floor<days>(kNow);
    const DayRange nights{today - days(kNights), today - days(1)};
    const HistoryRules rules{-25, -15, {}, fitClearSky(readSkyLines(g_folder, kNow))};
    for (auto _ : state)
        benchmark::DoNotOptimize(nightsJson(
            summarizeNights(readHistory(g_folder, {nights.from, today}, rules), nights)));
}
BENCHMARK(BM_Nights)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    g_folder =
        (fs::temp_directory_path() / ("skarvel-sky-bench-" + std::to_string(::getpid()))).string() +
        kPathSeparator;
    fs::create_directories(g_folder);
    writeHistory(g_folder);
    const SkyModel model = fitClearSky(readSkyLines(g_folder, kNow));
    std::printf("learned %d: c %.2f k1 %.3f k3 %.3f over %.1f..%.1f °C, %d lines, residual %.2f\n",
                int(model.learned), model.c, model.k1, model.k3, model.lowAmbient,
                model.highAmbient, model.lines, model.residual);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(g_folder);
    return 0;
}
