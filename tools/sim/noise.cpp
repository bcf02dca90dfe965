#include "noise.h"

#include <cmath>

namespace skarvel::sim {

namespace {

std::uint64_t mix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

}  // namespace

std::uint64_t hash3(std::uint64_t seed, std::uint64_t channel, std::int64_t index) {
    return mix(mix(mix(seed) ^ channel) ^ static_cast<std::uint64_t>(index));
}

double hashUnit(std::uint64_t seed, std::uint64_t channel, std::int64_t index) {
    return double(hash3(seed, channel, index) >> 11) * 0x1.0p-53;
}

double valueNoise(std::uint64_t seed, std::uint64_t channel, double x) {
    const double cell = std::floor(x);
    const auto i = static_cast<std::int64_t>(cell);
    const double a = hashUnit(seed, channel, i);
    const double b = hashUnit(seed, channel, i + 1);
    return a + (b - a) * smoothStep(0.0, 1.0, x - cell);
}

double jitter(std::uint64_t seed, std::uint64_t channel, std::int64_t index, double spread) {
    // Sum of four uniforms: close enough to normal, and bounded, so no wild outliers.
    double sum = 0;
    for (int k = 0; k < 4; ++k) sum += hashUnit(seed, channel * 4 + k, index);
    return (sum - 2.0) * std::sqrt(3.0) * spread;
}

double smoothStep(double from, double to, double x) {
    if (x <= from) return 0.0;
    if (x >= to) return 1.0;
    const double f = (x - from) / (to - from);
    return f * f * (3.0 - 2.0 * f);
}

}  // namespace skarvel::sim
