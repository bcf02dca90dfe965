#include "sensor_line.h"

#include <cmath>
#include <cstdlib>

namespace skarvel::sim {

std::string temperatureText(double celsius) {
    // Integer arithmetic only: printf would follow the C locale's decimal separator.
    const long long hundredths = std::llround(celsius * 100.0);
    const long long magnitude = std::llabs(hundredths);
    std::string fraction = std::to_string(magnitude % 100);
    if (fraction.size() < 2) fraction.insert(0, "0");
    return (hundredths < 0 ? "-" : "+") + std::to_string(magnitude / 100) + "." + fraction;
}

namespace {

std::string fields(const SkySample& s, char skyLead, char ambientLead) {
    return skyLead + temperatureText(s.sky) + "C:" + ambientLead + temperatureText(s.ambient) +
           "C:";
}

}  // namespace

std::string sensorLine(const SkySample& sample) {
    return fields(sample, 'S', 'A') + "\r\n";
}

std::string badLine(BadKind kind, const SkySample& sample, Rng& rng) {
    switch (kind) {
        case BadKind::kDollar:
            return "$" + sensorLine(sample);
        case BadKind::kSkyError:
            return "SE" + sensorLine(sample).substr(1);
        case BadKind::kAmbientError:
            return fields(sample, 'S', 'E') + "\r\n";
        case BadKind::kNoLineEnd:
            return fields(sample, 'S', 'A');
        case BadKind::kGarbage: {
            std::string bytes;
            const auto length = 6 + rng.below(12);
            for (std::uint64_t i = 0; i < length; ++i) {
                char c;
                do {
                    c = static_cast<char>(rng.below(256));
                } while (c == '\r' || c == '\n');
                bytes += c;
            }
            bytes[rng.below(length)] = static_cast<char>(0x80 + rng.below(128));
            return bytes + "\r\n";
        }
    }
    return {};
}

std::string LineSequence::next(const SkySample& sample) {
    ++made_;
    if (badEvery_ <= 0 || made_ % badEvery_ != 0) return sensorLine(sample);
    const auto kind = static_cast<BadKind>(badMade_++ % kBadKinds);
    return badLine(kind, sample, rng_);
}

}  // namespace skarvel::sim
