#pragma once

#include <string>

#include "store/settings.h"

namespace skarvel {

class DesktopServices;

/// The program folder with a final separator. Reports its own failure (procedure GetEXEPath,
/// form frmMain) and then yields "".
std::string GetEXEPath(DesktopServices& services);

/// Fills `settings` from exePath + "config.ini" by position, eight fields. A missing file
/// changes nothing. Throws VbError (62 for a short file; the settings read so far keep their
/// new values).
void LoadConfig(Settings& settings, const std::string& exePath);

/// Writes the four lines of config.ini atomically. Throws VbError.
void SaveConfig(const Settings& settings, const std::string& exePath);

/// The bytes SaveConfig writes.
std::string configText(const Settings& settings);

}  // namespace skarvel
