#pragma once

#include <span>

namespace skarvel {

/// Sorts ascending with a gap sort whose passes at each gap repeat until nothing moves; equal
/// values are never exchanged.
void ShellSort(std::span<float> set);

/// Sorts the set in place and returns its median; for an even count the mean of the two middle
/// values in single precision. An empty set gives 0.
float Median(std::span<float> set);

}  // namespace skarvel
