#include "core/sensor_link.h"

#include <array>

#include "core/reading_filter.h"
#include "platform/desktop_services.h"
#include "store/value_text.h"
#include "store/vb_error.h"

namespace skarvel {

bool getComms(std::int16_t& port, const std::string& settings, std::unique_ptr<SerialControl>& link,
              const SerialFactory& factory, DesktopServices& services) {
    try {
        link = factory ? factory() : nullptr;
        if (!link) {
            services.messageBox("Undefined/null comms object returned");
            return false;
        }
        link->setCommPort(port);
        link->setInputLen(0);
        link->setInputMode(1);
        link->setRThreshold(0);
        link->setPortOpen(true);
        link->setSettings(settings);
        return true;
    } catch (const std::exception& e) {
        services.messageBox("Error opening comm port " + integerText(port) +
                                ", click the 'Setup' button and verify the com port selection",
                            asVbError(e).concerning());
        return false;
    }
}

std::string OctetToCharStr(std::span<const std::uint8_t> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

LineVerdict parseSensorText(std::string_view text, float& sky, float& ambient) {
    if (text.empty() || text.front() == '$') return LineVerdict::Skipped;
    if (text.size() < 2 || text.substr(text.size() - 2) != "\r\n") return LineVerdict::Skipped;
    const std::size_t p1 = text.find(':');
    if (p1 == std::string_view::npos) return LineVerdict::Skipped;
    // Field 1 runs up to two before the first ':', field 2 from after it to two before the
    // second; a cut that is not possible ends the read.
    if (p1 == 0) return LineVerdict::Failed;
    const std::size_t p2 = text.find(':', p1 + 1);
    if (p2 == std::string_view::npos || p2 == p1 + 1) return LineVerdict::Failed;
    const std::string_view field1 = text.substr(0, p1 - 1);
    const std::string_view field2 = text.substr(p1 + 1, p2 - p1 - 2);
    if ((field1.size() > 0 && field1[0] == 'E') || (field1.size() > 1 && field1[1] == 'E') ||
        (field2.size() > 0 && field2[0] == 'E')) {
        return LineVerdict::Skipped;
    }
    if (field1.size() < 2 || field2.size() < 2) return LineVerdict::Failed;
    try {
        const float s = parseSingle(field1.substr(1));
        const float a = parseSingle(field2.substr(1));
        sky = s;
        ambient = a;
        return LineVerdict::Accepted;
    } catch (const VbError&) {
        return LineVerdict::Failed;
    }
}

namespace {

// Up to 20 polls of 100 ms, then 200 ms more.
void waitForData(SerialControl& link, DesktopServices& services) {
    for (int polls = 0; polls < 20 && link.inBufferCount() == 0; ++polls) {
        services.sleep(100);
        services.doEvents();
    }
    services.sleep(200);
}

}  // namespace

bool getReadings(SerialControl& link, DesktopServices& services, float& ambient, float& sky) {
    constexpr int n = 3;
    try {
        link.setInBufferCount(0);
        waitForData(link, services);
        // The first burst may be a partial line; it is thrown away.
        link.setInBufferCount(0);
        std::array<float, n> skySamples{};
        std::array<float, n> ambientSamples{};
        int accepted = 0;
        for (int attempts = 1; accepted < n; ++attempts) {
            if (attempts > 2 * n) return false;
            waitForData(link, services);
            if (link.inBufferCount() == 0) continue;
            const std::string text = OctetToCharStr(link.input());
            float s = 0, a = 0;
            switch (parseSensorText(text, s, a)) {
                case LineVerdict::Skipped:
                    continue;
                case LineVerdict::Failed:
                    return false;
                case LineVerdict::Accepted:
                    skySamples[accepted] = s;
                    ambientSamples[accepted] = a;
                    ++accepted;
                    break;
            }
        }
        sky = Median(skySamples);
        ambient = Median(ambientSamples);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace skarvel
