#pragma once

#include <string>

#include "store/settings.h"

namespace skarvel {

/// The four texts of the setup dialog.
struct SetupFields {
    std::string comPort;
    std::string webPath;
    std::string cloudyThreshold;
    std::string vCloudyThreshold;
};

/// The fields as the dialog shows them when it opens.
SetupFields setupFields(const Settings& settings);

struct SetupOutcome {
    bool close = false;   ///< the dialog may close
    std::string message;  ///< shown to the user when not empty
};

/// Takes the fields over into the settings as the OK button does. An entry the program cannot
/// use is refused with a message naming the field and changes nothing; thresholds in the wrong
/// order are refused after the port and the web path were taken over.
SetupOutcome applySetupFields(const SetupFields& fields, Settings& settings);

}  // namespace skarvel
