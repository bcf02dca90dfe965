#include "history.h"

#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "noise.h"
#include "store/file_io.h"
#include "store/readings_log.h"
#include "weather.h"

namespace skarvel::sim {

namespace {

constexpr std::uint64_t kStampChannel = 0x57a4;
constexpr int kReadingSeconds = 10;
constexpr int kReadingsPerQuarter = 15 * 60 / kReadingSeconds;

// The monitor cuts every reading to one decimal before using it.
float cut(double value) {
    return std::floor(float(value) * 10.0f) / 10.0f;
}

// The monitor's first cycle in a quarter comes a few seconds after the mark.
LocalTime stampFor(LocalTime mark, std::uint64_t seed) {
    const auto jitter = hash3(seed, kStampChannel, mark.time_since_epoch().count()) % 10;
    return mark + std::chrono::seconds(3 + jitter);
}

std::string quarterLine(const SeasonalWeather& weather, LocalTime stamp) {
    // The logged sky is the mean of the quarter's readings, summed in single precision.
    float skySum = 0;
    for (int k = 0; k < kReadingsPerQuarter; ++k) {
        skySum += cut(weather.at(stamp - std::chrono::seconds(k * kReadingSeconds)).sky);
    }
    const float ambient = cut(weather.at(stamp).ambient);
    return logLine(stamp, ambient, skySum / float(kReadingsPerQuarter));
}

}  // namespace

std::vector<DayFile> makeHistory(int days, LocalTime now, std::uint64_t seed) {
    const SeasonalWeather weather(seed);
    const LocalTime today = std::chrono::floor<std::chrono::days>(now);
    std::vector<DayFile> files;
    for (int d = days; d >= 0; --d) {
        const LocalTime day = addDays(today, -d);
        DayFile file{dayFileName(day), {}};
        for (int quarter = 0; quarter < 96; ++quarter) {
            const LocalTime stamp = stampFor(addMinutes(day, 15 * quarter), seed);
            if (stamp > now) break;
            file.text += quarterLine(weather, stamp);
        }
        if (!file.text.empty()) files.push_back(std::move(file));
    }
    return files;
}

int writeHistory(const std::string& folder, int days, LocalTime now, std::uint64_t seed,
                 bool replace) {
    namespace fs = std::filesystem;
    const auto files = makeHistory(days, now, seed);
    for (const DayFile& file : files) {
        const fs::path path = fs::path(folder) / file.name;
        if (!replace && fs::symlink_status(path).type() != fs::file_type::not_found) {
            throw std::runtime_error(path.string() +
                                     " is already there; --force replaces existing day files");
        }
    }
    fs::create_directories(folder);
    for (const DayFile& file : files) {
        writeFileAtomic((fs::path(folder) / file.name).string(), file.text);
    }
    return int(files.size());
}

}  // namespace skarvel::sim
