#pragma once

#include <cstdint>

#include "store/date_time.h"

namespace skarvel::sim {

/// What the sensor would measure at one moment, degrees Celsius.
struct SkySample {
    double sky = 0;
    double ambient = 0;
};

/// The weather that both the history and the live sensor play, fixed by its seed: a seasonal
/// ambient temperature (coldest in late January), warmer afternoons, a clear sky that warms with
/// the air, weather systems lasting about a day that bring clear or overcast nights, and passing
/// clouds. So the live sensor carries on where the history ends.
class SeasonalWeather {
  public:
    explicit SeasonalWeather(std::uint64_t seed) : seed_(seed) {}
    SkySample at(LocalTime t) const { return at(double(t.time_since_epoch().count())); }
    /// `seconds`: local time in seconds since 1970-01-01 00:00, fractions allowed.
    SkySample at(double seconds) const;

  private:
    std::uint64_t seed_;
};

}  // namespace skarvel::sim
