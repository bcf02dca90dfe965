#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "store/date_time.h"

namespace skarvel {

/// One line of the log: its ambient and sky temperatures, °C.
struct SkyLine {
    double ambient = 0;
    double sky = 0;
};

/// One 2 °C ambient bin of the clear-sky envelope.
struct ClearSkyBin {
    /// The mean ambient of the bin's lines.
    double ambient = 0;
    /// The 10th percentile of their sky: clouds only ever make the sky warmer.
    double sky = 0;
    int lines = 0;
    /// The ambient range of its lines.
    double low = 0, high = 0;
};

/// The learning's rules.
inline constexpr int kMinBinLines = 16;
inline constexpr int kMinModelLines = 2000;
inline constexpr double kMinSpan = 10;
inline constexpr double kCurveSpan = 20;
inline constexpr double kMaxResidual = 2;
/// Below this gap between air and clear sky a cover means nothing.
inline constexpr double kMinCoverRange = 5;

/// The clear sky the log taught: S_clear(A) = c + k1·A + k3·exp(A/10).
struct SkyModel {
    bool learned = false;
    /// Why it is not learned, e.g. "the log holds 312 of 2000 lines".
    std::string why = "not learned yet";
    double c = 0, k1 = 0, k3 = 0;
    /// The ambient range of the lines the fit rests on.
    double lowAmbient = 0, highAmbient = 0;
    int lines = 0;
    int bins = 0;
    /// The fit's RMS residual over the bins, weighted by their lines, °C.
    double residual = 0;
    /// When it was learned (local time); set by whoever learns it.
    LocalTime learnedAt{};

    /// The clear sky at `ambient`; beyond the learned range, the curve's tangent at its end.
    double clearSky(double ambient) const;
};

/// The envelope of every bin with at least kMinBinLines lines, coldest bin first.
std::vector<ClearSkyBin> clearSkyEnvelope(std::span<const SkyLine> lines);

/// Fits the envelope of `lines`: learned when its bins hold kMinModelLines lines over kMinSpan °C
/// of ambient and the fit stays within kMaxResidual; a straight line under kCurveSpan °C.
SkyModel fitClearSky(std::span<const SkyLine> lines);

/// Per cent: 0 on the clear sky, 100 as warm as the air. None before the model is learned or
/// where the air is within kMinCoverRange of the clear sky.
std::optional<float> cloudCover(const SkyModel& model, double ambient, double sky);

/// Every line of the newest `days` day files in `folder` (ending with the separator) dated no
/// later than `today`, read as the graphs read them. A file that cannot be read or breaks off
/// gives what it held up to there.
std::vector<SkyLine> readSkyLines(const std::string& folder, LocalTime today, int days = 365);

}  // namespace skarvel
