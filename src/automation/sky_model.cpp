#include "automation/sky_model.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>

#include "store/field_reader.h"
#include "store/file_io.h"
#include "store/readings_log.h"

namespace skarvel {

namespace {

std::string oneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

/// The 10th percentile, interpolated between the two nearest values.
double tenthPercentile(std::vector<double>& values) {
    std::sort(values.begin(), values.end());
    const double rank = 0.1 * double(values.size() - 1);
    const auto below = std::size_t(rank);
    const double above = below + 1 < values.size() ? values[below + 1] : values[below];
    return values[below] + (rank - double(below)) * (above - values[below]);
}

/// Weighted least squares through the normal equations; false when the columns do not tell
/// the coefficients apart.
template <std::size_t N>
bool solveWeighted(const std::vector<std::array<double, N>>& rows, const std::vector<double>& y,
                   const std::vector<double>& w, std::array<double, N>& out) {
    std::array<std::array<double, N + 1>, N> m{};
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t i = 0; i < N; ++i) {
            for (std::size_t j = 0; j < N; ++j) m[i][j] += w[r] * rows[r][i] * rows[r][j];
            m[i][N] += w[r] * rows[r][i] * y[r];
        }
    }
    for (std::size_t col = 0; col < N; ++col) {
        std::size_t pivot = col;
        for (std::size_t r = col + 1; r < N; ++r)
            if (std::abs(m[r][col]) > std::abs(m[pivot][col])) pivot = r;
        if (std::abs(m[pivot][col]) < 1e-9 * std::abs(m[0][0])) return false;
        std::swap(m[col], m[pivot]);
        for (std::size_t r = 0; r < N; ++r) {
            if (r == col) continue;
            const double f = m[r][col] / m[col][col];
            for (std::size_t j = col; j <= N; ++j) m[r][j] -= f * m[col][j];
        }
    }
    for (std::size_t i = 0; i < N; ++i) out[i] = m[i][N] / m[i][i];
    return true;
}

/// The name's date when it is a day file's, the way the log names them.
std::optional<LocalTime> dayOfFile(const std::string& name) {
    int parts[3] = {};
    const char* p = name.data();
    const char* end = name.data() + name.size();
    for (int i = 0; i < 3; ++i) {
        const auto res = std::from_chars(p, end, parts[i]);
        if (res.ec != std::errc()) return std::nullopt;
        p = res.ptr + 1;
    }
    try {
        const LocalTime day = makeTime(parts[0], parts[1], parts[2]);
        if (dayFileName(day) == name) return day;
    } catch (...) {
    }
    return std::nullopt;
}

}  // namespace

double SkyModel::clearSky(double ambient) const {
    const auto curve = [this](double a) { return c + k1 * a + k3 * std::exp(a / 10); };
    const auto slope = [this](double a) { return k1 + k3 / 10 * std::exp(a / 10); };
    // The exponential runs away outside the data that shaped it.
    const double end = std::clamp(ambient, lowAmbient, highAmbient);
    return curve(end) + slope(end) * (ambient - end);
}

std::vector<ClearSkyBin> clearSkyEnvelope(std::span<const SkyLine> lines) {
    struct Bin {
        std::vector<double> skies;
        double ambientSum = 0, low = 0, high = 0;
    };
    std::map<int, Bin> bins;
    for (const SkyLine& line : lines) {
        Bin& bin = bins[int(std::floor(line.ambient / 2))];
        if (bin.skies.empty()) bin.low = bin.high = line.ambient;
        bin.skies.push_back(line.sky);
        bin.ambientSum += line.ambient;
        bin.low = std::min(bin.low, line.ambient);
        bin.high = std::max(bin.high, line.ambient);
    }
    std::vector<ClearSkyBin> out;
    for (auto& [index, bin] : bins) {
        const int n = int(bin.skies.size());
        if (n < kMinBinLines) continue;
        out.push_back({bin.ambientSum / n, tenthPercentile(bin.skies), n, bin.low, bin.high});
    }
    return out;
}

SkyModel fitClearSky(std::span<const SkyLine> lines) {
    SkyModel model;
    const std::vector<ClearSkyBin> bins = clearSkyEnvelope(lines);
    model.bins = int(bins.size());
    double weightedAmbient = 0;
    for (const ClearSkyBin& b : bins) {
        model.lines += b.lines;
        weightedAmbient += b.ambient * b.lines;
    }
    if (!bins.empty()) {
        model.lowAmbient = bins.front().low;
        model.highAmbient = bins.back().high;
    }
    if (model.lines < kMinModelLines) {
        model.why = "the log holds " + std::to_string(model.lines) + " of " +
                    std::to_string(kMinModelLines) + " lines";
        return model;
    }
    const double span = model.highAmbient - model.lowAmbient;
    if (span < kMinSpan) {
        model.why =
            "the log's ambient spans " + oneDecimal(span) + " of " + oneDecimal(kMinSpan) + " °C";
        return model;
    }

    // Centred on the lines' mean ambient, so the columns stay apart.
    const double mean = weightedAmbient / model.lines;
    std::vector<std::array<double, 3>> rows;
    std::vector<double> y, w;
    for (const ClearSkyBin& b : bins) {
        const double x = b.ambient - mean;
        rows.push_back({1, x, std::exp(x / 10)});
        y.push_back(b.sky);
        w.push_back(b.lines);
    }
    std::array<double, 3> curve{};
    if (span >= kCurveSpan && bins.size() >= 3 && solveWeighted(rows, y, w, curve)) {
        model.k3 = curve[2] * std::exp(-mean / 10);
    } else {
        std::vector<std::array<double, 2>> lineRows;
        for (const auto& r : rows) lineRows.push_back({r[0], r[1]});
        std::array<double, 2> line{};
        solveWeighted(lineRows, y, w, line);
        curve = {line[0], line[1], 0};
    }
    model.k1 = curve[1];
    model.c = curve[0] - curve[1] * mean;

    double squares = 0;
    for (const ClearSkyBin& b : bins) {
        const double r = b.sky - model.clearSky(b.ambient);
        squares += b.lines * r * r;
    }
    model.residual = std::sqrt(squares / model.lines);
    if (model.residual > kMaxResidual) {
        model.why = "the clear sky fits the log only within " + oneDecimal(model.residual) +
                    " °C, more than " + oneDecimal(kMaxResidual) + " °C";
        return model;
    }
    model.learned = true;
    model.why.clear();
    return model;
}

std::optional<float> cloudCover(const SkyModel& model, double ambient, double sky) {
    if (!model.learned) return std::nullopt;
    const double clear = model.clearSky(ambient);
    const double range = ambient - clear;
    if (!(range >= kMinCoverRange)) return std::nullopt;
    return float(100 * std::clamp((sky - clear) / range, 0.0, 1.0));
}

std::vector<SkyLine> readSkyLines(const std::string& folder, LocalTime today, int days) {
    std::vector<std::pair<LocalTime, std::string>> files;
    const LocalTime last = std::chrono::floor<std::chrono::days>(today);
    for (std::string& name : fileNamesIn(folder)) {
        const auto day = dayOfFile(name);
        if (day && *day <= last) files.emplace_back(*day, std::move(name));
    }
    std::sort(files.begin(), files.end(), std::greater<>());
    if (files.size() > std::size_t(std::max(days, 0))) files.resize(std::size_t(days));
    std::vector<SkyLine> lines;
    lines.reserve(files.size() * 96);
    for (const auto& [day, name] : files) {
        try {
            FieldReader reader = FieldReader::fromFile(folder + name);
            while (!reader.atEnd()) {
                reader.readText();
                const FieldValue ambient = reader.readValue();
                const FieldValue sky = reader.readValue();
                if (ambient.numeric && sky.numeric && std::isfinite(ambient.number) &&
                    std::isfinite(sky.number))
                    lines.push_back({ambient.number, sky.number});
            }
        } catch (const std::exception&) {
            // A file cut off mid-line, or gone since it was listed: what was read stands.
        }
    }
    return lines;
}

}  // namespace skarvel
