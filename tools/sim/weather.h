#pragma once

#include <cstdint>

#include "store/date_time.h"

namespace skarvel::sim {

/// What the sensor would measure at one moment, degrees Celsius.
struct SkySample {
    double sky = 0;
    double ambient = 0;
};

/// How cloudy the sky is, 0 clear to 1 overcast, from a slow weather signal and a fast
/// passing-cloud signal (both in [0, 1)). Passing clouds alone reach about half way.
double cloudCover(double weather, double passing);

/// A changing night for the live sensor, fixed by its seed: the ambient temperature drifts
/// between 5 and 15 C over tens of minutes, and the sky spends minutes at a time clear
/// (30 to 35 below ambient) or overcast (5 to 10 below), with clouds passing in a minute or so.
class NightSky {
  public:
    explicit NightSky(std::uint64_t seed) : seed_(seed) {}
    /// `seconds` since the sensor started; the same moment always gives the same sample.
    SkySample at(double seconds) const;

  private:
    std::uint64_t seed_;
};

/// Months of weather for synthetic history, fixed by its seed: a seasonal ambient
/// temperature (coldest in late January), warmer afternoons, weather systems lasting about a
/// day that bring clear or overcast nights, and passing clouds.
class HistoricWeather {
  public:
    explicit HistoricWeather(std::uint64_t seed) : seed_(seed) {}
    SkySample at(LocalTime t) const;

  private:
    std::uint64_t seed_;
};

}  // namespace skarvel::sim
