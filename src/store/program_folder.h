#pragma once

#include <functional>
#include <string>

namespace skarvel {

/// Where the program keeps its files, given the folder of its executable (no final separator):
/// that folder, unless it is a system folder (under /usr or /opt) or `writable` says the user
/// cannot write there; then `$XDG_DATA_HOME/skarvel`, or `~/.local/share/skarvel` when that
/// variable is unset or not absolute. Nothing is ever written beside an installed executable.
/// The caller creates the folder.
std::string programFolder(const std::string& exeFolder, const std::string& xdgDataHome,
                          const std::string& home,
                          const std::function<bool(const std::string&)>& writable);

}  // namespace skarvel
