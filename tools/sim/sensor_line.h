#pragma once

#include <cstdint>
#include <string>

#include "noise.h"
#include "weather.h"

namespace skarvel::sim {

/// "-12.34" / "+21.56": always signed, two decimals, rounded half away from zero.
std::string temperatureText(double celsius);

/// "S-12.34C:A+21.56C:\r\n".
std::string sensorLine(const SkySample& sample);

/// The ways the sensor's output goes wrong, in the order --bad-every cycles through them.
enum class BadKind {
    kDollar,        ///< a status line that starts with "$"
    kSkyError,      ///< "E" straight after the sky field's lead character
    kAmbientError,  ///< "E" as the ambient field's lead character
    kNoLineEnd,     ///< a good line without its CR LF
    kGarbage,       ///< line noise, bytes of 128 and above among them, ended by CR LF
};
inline constexpr int kBadKinds = 5;

std::string badLine(BadKind kind, const SkySample& sample, Rng& rng);

/// The lines the sensor sends, in order: every `badEvery`-th one malformed (0: none), the
/// kinds taken in turn.
class LineSequence {
  public:
    LineSequence(int badEvery, std::uint64_t seed) : badEvery_(badEvery), rng_(seed) {}
    std::string next(const SkySample& sample);

  private:
    int badEvery_;
    std::int64_t made_ = 0;
    int badMade_ = 0;
    Rng rng_;
};

}  // namespace skarvel::sim
