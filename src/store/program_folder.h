#pragma once

#include <functional>
#include <string>
#include <vector>

namespace skarvel {

/// Where the program keeps its files, given the folder of its executable (no final separator):
/// that folder, unless it is a system folder (under /usr or /opt) or `writable` says the user
/// cannot write there; then `$XDG_DATA_HOME/skarvel`, or `~/.local/share/skarvel` when that
/// variable is unset or not absolute. Nothing is ever written beside an installed executable.
/// The caller creates the folder.
std::string programFolder(const std::string& exeFolder, const std::string& xdgDataHome,
                          const std::string& home,
                          const std::function<bool(const std::string&)>& writable);

/// The same rule on Windows: the executable's folder, unless it lies under one of
/// `programFiles` (compared without regard to case) or `writable` says it cannot be written;
/// then `localAppData\Skarvel`.
std::string windowsProgramFolder(const std::string& exeFolder,
                                 const std::vector<std::string>& programFiles,
                                 const std::string& localAppData,
                                 const std::function<bool(const std::string&)>& writable);

}  // namespace skarvel
