#include "weather.h"

#include <cmath>
#include <numbers>

#include "noise.h"

namespace skarvel::sim {

namespace {

// One channel per quantity, so that changing one never shifts another.
enum Channel : std::uint64_t {
    kWeather = 3,  // the numbers a seed has always used
    kPassing,
    kClearDepth,
    kOvercastDepth,
    kSkyNoise,
    kAmbientNoise,
    kSynoptic,
};

// Sky minus ambient for a cloud cover, with the clear and overcast depths each drifting over
// their range so no two nights look alike. Warm air holds more water, so a clear sky reads
// about 25 °C under the air at -5 °C but only about 15 °C under it at 22 °C.
double skyDelta(double ambient, double cover, double clearDepth, double overcastDepth) {
    const double clear = -21.5 + 0.3 * ambient + 0.2 * std::exp(ambient / 10.0) - 4.0 * clearDepth;
    const double overcast = -5.0 - 5.0 * overcastDepth;
    return clear + (overcast - clear) * cover;
}

// How cloudy the sky is, 0 clear to 1 overcast, from a slow weather signal and a fast
// passing-cloud signal (both in [0, 1)). Passing clouds alone reach about half way.
double cloudCover(double weather, double passing) {
    const double systems = smoothStep(0.35, 0.65, weather);
    const double clouds = smoothStep(0.6, 0.9, passing);
    return systems + (1.0 - systems) * 0.5 * clouds;
}

}  // namespace

SkySample SeasonalWeather::at(double seconds) const {
    using std::numbers::pi;
    const auto tick = static_cast<std::int64_t>(std::llround(seconds * 1000.0));
    const double hours = seconds / 3600.0;
    const double days = hours / 24.0;
    const double hourOfDay = std::fmod(hours, 24.0);

    const double cover = cloudCover(valueNoise(seed_, kWeather, hours / 16.0),
                                    valueNoise(seed_, kPassing, hours / 1.2));

    // Local day 0 is the first of January, so the season can be read off the day count.
    const double season = -std::cos(2.0 * pi * (days - 20.0) / 365.2425);  // -1 winter, 1 summer
    const double synoptic = 8.0 * (valueNoise(seed_, kSynoptic, days / 3.0) - 0.5);
    const double dailyMean = 9.0 + 10.0 * season + synoptic;
    // Clouds keep nights warm and afternoons cool.
    const double swing = (5.0 + 2.0 * season) * (1.0 - 0.6 * cover);
    const double ambient = dailyMean + swing * std::cos(2.0 * pi * (hourOfDay - 15.0) / 24.0) +
                           jitter(seed_, kAmbientNoise, tick, 0.05);

    double delta = skyDelta(ambient, cover, valueNoise(seed_, kClearDepth, hours / 10.0),
                            valueNoise(seed_, kOvercastDepth, hours / 10.0));
    // Daylight scattered in the air warms a clear sky's reading a little.
    const double daylight = std::max(0.0, std::cos(2.0 * pi * (hourOfDay - 13.0) / 24.0));
    delta += 4.0 * daylight * (1.0 - cover);
    return SkySample{ambient + delta + jitter(seed_, kSkyNoise, tick, 0.1), ambient};
}

}  // namespace skarvel::sim
