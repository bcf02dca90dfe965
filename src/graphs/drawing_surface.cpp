#include "graphs/drawing_surface.h"

#include <cmath>

#include "store/value_text.h"

namespace skarvel {

void DrawingSurface::printNumber(double value) {
    const std::string digits = singleText(float(std::fabs(value)));
    print((value < 0 ? "-" : " ") + digits + " ");
}

}  // namespace skarvel
