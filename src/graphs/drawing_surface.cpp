#include "graphs/drawing_surface.h"

#include <cmath>

#include "store/value_text.h"

namespace skarvel {

int nearestPixel(float v) {
    constexpr double kFar = 1e6;
    const double p = std::floor(double(v) + 0.5);
    if (!(p > -kFar)) return int(-kFar);
    return p < kFar ? int(p) : int(kFar);
}

void DrawingSurface::printNumber(double value) {
    const std::string digits = singleText(float(std::fabs(value)));
    print((value < 0 ? "-" : " ") + digits + " ");
}

}  // namespace skarvel
