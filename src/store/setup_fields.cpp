#include "store/setup_fields.h"

#include <cmath>

#include "store/file_io.h"
#include "store/value_text.h"

namespace skarvel {

SetupFields setupFields(const Settings& settings) {
    return SetupFields{integerText(settings.commportid), settings.webPath,
                       singleText(settings.cloudyThreshold), singleText(settings.vCloudyThreshold)};
}

namespace {

bool readPort(const std::string& text, std::int16_t& port) {
    if (!isNumber(text)) return false;
    // A fractional entry rounds half to even, as the dialog's integer rule does: 2.5 gives 2.
    const double value = std::nearbyint(parseDouble(text));
    if (value < 1 || value > 32767) return false;
    port = std::int16_t(value);
    return true;
}

bool readThreshold(const std::string& text, float& value) {
    if (!isNumber(text)) return false;
    const double v = parseDouble(text);
    if (std::fabs(v) > 1e6) return false;
    value = float(v);
    return true;
}

}  // namespace

SetupOutcome applySetupFields(const SetupFields& fields, Settings& settings) {
    std::int16_t port = 0;
    if (!readPort(fields.comPort, port)) {
        return {false, "Com port must be a number from 1 to 32767"};
    }
    if (fields.webPath.empty()) return {false, "Web path must not be empty"};
    if (fields.webPath.find_first_of(",\"") != std::string::npos) {
        return {false, "Web path must not contain a comma or a double quote"};
    }
    float cloudy = 0, vCloudy = 0;
    if (!readThreshold(fields.cloudyThreshold, cloudy)) {
        return {false, "Cloudy threshold must be a number"};
    }
    if (!readThreshold(fields.vCloudyThreshold, vCloudy)) {
        return {false, "Very Cloudy threshold must be a number"};
    }

    settings.commportid = port;
    settings.webPath = fields.webPath;
    if (settings.webPath.back() != kPathSeparator) settings.webPath += kPathSeparator;
    if (cloudy > vCloudy) {
        return {false, "Error: V.Cloudy threshold lower than Cloudy threshold"};
    }
    settings.cloudyThreshold = cloudy;
    settings.vCloudyThreshold = vCloudy;
    return {true, {}};
}

}  // namespace skarvel
