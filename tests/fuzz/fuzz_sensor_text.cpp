// Received text from the port: the parser must never crash, and what it accepts must be a line
// the format allows.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "core/sensor_link.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = skarvel::OctetToCharStr(std::span<const std::uint8_t>(data, size));
    if (text.size() != size) std::abort();
    float sky = 1234.5f, ambient = 1234.5f;
    const auto verdict = skarvel::parseSensorText(text, sky, ambient);
    if (verdict == skarvel::LineVerdict::Accepted) {
        const bool framed = size >= 2 && text.front() != '$' && text.ends_with("\r\n") &&
                            text.find(':') != std::string::npos;
        if (!framed || !std::isfinite(sky) || !std::isfinite(ambient)) std::abort();
    } else if (sky != 1234.5f || ambient != 1234.5f) {
        std::abort();  // a rejected line must leave the outputs alone
    }
    return 0;
}
