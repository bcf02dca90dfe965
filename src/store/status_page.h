#pragma once

#include <string>

#include "store/settings.h"

namespace skarvel {

class DesktopServices;
class MainWindowControls;

/// Rewrites status.txt in the program folder: "<date-time>,<state>\r\n". Failures after the
/// path is formed are silent and keep the old file.
void SaveStatus(const std::string& state, DesktopServices& services);

/// Rewrites webPath + "CloudStatus.html" from the window's current texts. Reports its own
/// failures (procedure CreateWebPage, form frmMain).
void CreateWebPage(const Settings& settings, const MainWindowControls& controls,
                   DesktopServices& services);

/// The page's bytes for a caption and the three box texts.
std::string webPageText(const std::string& caption, const std::string& ambient,
                        const std::string& sky, const std::string& diff);

}  // namespace skarvel
