#pragma once

#include "graphs/drawing_surface.h"
#include "store/settings.h"

namespace skarvel::palette {
inline constexpr Color kWhite = 16777215;
inline constexpr Color kBlack = 0;
inline constexpr Color kCyan = 16776960;
inline constexpr Color kGreen = 65280;
inline constexpr Color kOrange = 33023;
inline constexpr Color kRed = 255;
inline constexpr Color kDarkGrey = 4210752;
}  // namespace skarvel::palette

namespace skarvel {
/// State colour of a difference, comparing greater-or-equal with the thresholds.
Color selectColor(double difference, const Settings& settings);
}  // namespace skarvel
