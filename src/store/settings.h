#pragma once

#include <cstdint>
#include <string>

namespace skarvel {

/// The four program-wide settings, persisted in config.ini.
struct Settings {
    std::string webPath;  ///< ends with the path separator
    std::int16_t commportid = 1;
    float cloudyThreshold = -25.0f;
    float vCloudyThreshold = -15.0f;
};

}  // namespace skarvel
