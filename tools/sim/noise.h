#pragma once

#include <cstdint>

namespace skarvel::sim {

// Everything random in the simulator comes from these, not from <random>: the standard
// distributions differ between libraries, and a seed must give the same sky everywhere.

/// A well-mixed 64-bit hash of a seed, a channel (one per quantity) and an index.
std::uint64_t hash3(std::uint64_t seed, std::uint64_t channel, std::int64_t index);

/// hash3 as a number in [0, 1).
double hashUnit(std::uint64_t seed, std::uint64_t channel, std::int64_t index);

/// Smooth noise in [0, 1): random values at whole x, eased between them, so it lingers near
/// each value before moving on.
double valueNoise(std::uint64_t seed, std::uint64_t channel, double x);

/// Roughly normal noise with mean 0 and the given spread, fixed by its index.
double jitter(std::uint64_t seed, std::uint64_t channel, std::int64_t index, double spread);

/// 0 below `from`, 1 above `to`, an S-curve between.
double smoothStep(double from, double to, double x);

/// A plain sequential generator on the same hash.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : seed_(seed) {}
    std::uint64_t next() { return hash3(seed_, 0x5eed, counter_++); }
    /// A whole number in [0, n); n > 0.
    std::uint64_t below(std::uint64_t n) { return next() % n; }

  private:
    std::uint64_t seed_;
    std::int64_t counter_ = 0;
};

}  // namespace skarvel::sim
