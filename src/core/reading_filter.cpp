#include "core/reading_filter.h"

#include <utility>

namespace skarvel {

void ShellSort(std::span<float> set) {
    const std::size_t n = set.size();
    for (std::size_t gap = n / 2; gap >= 1; gap /= 2) {
        bool clean;
        do {
            clean = true;
            for (std::size_t i = 0; i + gap < n; ++i) {
                if (set[i] > set[i + gap]) {
                    std::swap(set[i], set[i + gap]);
                    clean = false;
                }
            }
        } while (!clean);
    }
}

float Median(std::span<float> set) {
    const std::size_t n = set.size();
    if (n == 0) return 0.0f;
    ShellSort(set);
    if (n % 2 == 0) return (set[n / 2 - 1] + set[n / 2]) * 0.5f;
    return set[(n + 1) / 2 - 1];
}

}  // namespace skarvel
