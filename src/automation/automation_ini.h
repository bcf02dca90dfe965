#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/automation_state.h"

namespace skarvel {

class DesktopServices;

/// automation.ini read: the settings in force, what was wrong with the file, and the text to
/// write back when a key had to be added (empty when the file stays as it is).
struct AutomationIni {
    AutomationSettings settings;
    /// One line per problem, each naming its key.
    std::vector<std::string> problems;
    std::string rewrite;
};

/// Reads the text of automation.ini. A missing key takes its default and is added to the
/// rewrite, a bad value is a problem and takes its default; other lines are kept as they are.
/// `newId` makes the uniqueId when there is none to keep.
AutomationIni parseAutomationIni(std::string_view text, const std::function<std::string()>& newId);

/// `text` is a whole number from `low` to `high`, taken into `out`; nothing else in it.
bool isWhole(std::string_view text, int low, int high, int& out);

/// A new random GUID, "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx" (122 random bits).
std::string newGuid();

/// Reads `folder` + "automation.ini" once at start-up, writes it when missing or incomplete, and
/// reports every problem in one message. Never throws: the defaults stand in for what cannot be
/// read.
AutomationSettings loadAutomationSettings(const std::string& folder, DesktopServices& services);

}  // namespace skarvel
