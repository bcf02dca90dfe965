#include "graphs/palette.h"

namespace skarvel {

Color selectColor(double difference, const Settings& settings) {
    // Both tests run in turn, so with the thresholds inverted orange is never the answer.
    Color color = palette::kGreen;
    if (difference >= double(settings.cloudyThreshold)) color = palette::kOrange;
    if (difference >= double(settings.vCloudyThreshold)) color = palette::kRed;
    return color;
}

}  // namespace skarvel
